// vorn-wine-device: the native half of vorn-wine (tests/wine/vorn-wine).
//
//   vorn-wine-device prepare DEVICE_DIR WORK
//       Reads the device folder the way vorn-sim does and writes what the
//       runner seeds into a Wine prefix: WORK/seed.reg (the device's
//       registry), WORK/control.reg (the stand-ins' control key) and
//       WORK/plan.env (shell variables). Exit 77 with "unsupported: <field>"
//       lines for device fields Wine cannot realise.
//   vorn-wine-device finish DEVICE_DIR WORK
//       Writes back what the Wine run showed: registry.reg (the device's
//       keys and every key VORN may touch, from WORK/export.reg),
//       device.json (host name in effect, restart requested) and the
//       journal records (from Wine's debug log, the stand-ins' call log, the
//       service states polled and the exit code).
//   vorn-wine-device compare SIM_DIR WINE_DIR
//       Compares a device run through vorn-sim with the same device run
//       through vorn-wine; prints every difference, exit 1 when there is one.
#include <iostream>
#include <string>

#include "tests/wine/wine_device.h"

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (argc == 4 && verb == "prepare") return wine::Prepare(argv[2], argv[3]);
  if (argc == 4 && verb == "finish") return wine::Finish(argv[2], argv[3]);
  if (argc == 4 && verb == "compare") return wine::Compare(argv[2], argv[3]);
  std::cerr << "usage: vorn-wine-device prepare|finish DEVICE_DIR WORK\n"
               "       vorn-wine-device compare SIM_DIR WINE_DIR\n";
  return 64;
}
