// vorn-wine-device: the native half of vorn-wine (tests/wine/vorn-wine).
//
//   vorn-wine-device prepare DEVICE_DIR WORK
//       Reads the device folder the way vorn-sim does and writes what the
//       runner seeds into a Wine prefix: WORK/seed.reg (the device's
//       registry and the stand-ins' control key), WORK/export-keys.txt (the
//       keys read back), WORK/plan.env (host name and adapters, shell
//       variables) and WORK/run.json (how VORN.EXE is started). Exit 77
//       with "unsupported: <field>" lines for device fields Wine cannot
//       realise.
//   vorn-wine-device finish DEVICE_DIR WORK
//       Writes back what the Wine run in WORK/prefix showed: the files of
//       c/, registry.reg (the device's keys and every key VORN may touch,
//       from WORK/export-N.reg and the raw values of system.reg),
//       device.json (host name in effect, restart requested) and the
//       journal records (from Wine's debug log, the stand-ins' call log, the
//       service states polled and the exit code).
//   vorn-wine-device run DEVICE_DIR WORK TEMPLATE
//       The run after "prepare", inside the namespaces: seeds WORK/prefix
//       (as "seed" and "seed-raw"), starts VORN.EXE by hand (the command
//       line is imagePath and the lines of WORK/args) or as the service
//       (WORK/scm exists or "startedBy": "scm"), then reads back (as
//       "finish"). Exit: the program's, or the runner's error.
//   vorn-wine-device seed DEVICE_DIR WORK TEMPLATE
//       WORK/prefix made from the template prefix, with the device's files
//       (c/, read-only ones without write permission), the stand-ins
//       ($VORN_WINE_STANDINS) and VORN.EXE ($VORN_WINE_EXE) at the device's
//       imagePath, its folders also under the device's spelling.
//   vorn-wine-device sc-state <"sc query" output
//       The state and exit code it shows, one line ("RUNNING 0"); nothing
//       when it shows none.
//   vorn-wine-device seed-raw WORK PREFIX
//       After regedit imported WORK/seed.reg: the values the import altered
//       (a DWORD of another size, a string without its terminator) written
//       into PREFIX/system.reg as the device has them.
//   vorn-wine-device template
//       The template prefix the runs are made from, made once per Wine
//       version in $VORN_WINE_CACHE for $VORN_WINE_ARCH; its path printed.
//   vorn-wine-device compare SIM_DIR WINE_DIR
//       Compares a device run through vorn-sim with the same device run
//       through vorn-wine; prints every difference, exit 1 when there is one.
#include <iostream>
#include <istream>
#include <string>

#include "tests/wine/wine_device.h"

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (argc == 4 && verb == "prepare") return wine::Prepare(argv[2], argv[3]);
  if (argc == 4 && verb == "finish") return wine::Finish(argv[2], argv[3]);
  if (argc == 4 && verb == "compare") return wine::Compare(argv[2], argv[3]);
  if (argc == 5 && verb == "run") return wine::RunWine(argv[2], argv[3], argv[4]);
  if (argc == 5 && verb == "seed") return wine::SeedFiles(argv[2], argv[3], argv[4]);
  if (argc == 2 && verb == "sc-state") return wine::ServiceState(std::cin, std::cout);
  if (argc == 2 && verb == "template") return wine::Template();
  if (argc == 4 && verb == "seed-raw") return wine::SeedRaw(argv[2], argv[3]);
  std::cerr << "usage: vorn-wine-device prepare|finish DEVICE_DIR WORK\n"
               "       vorn-wine-device run|seed DEVICE_DIR WORK TEMPLATE\n"
               "       vorn-wine-device seed-raw WORK PREFIX\n"
               "       vorn-wine-device sc-state <SC_QUERY_OUTPUT\n"
               "       vorn-wine-device template\n"
               "       vorn-wine-device compare SIM_DIR WINE_DIR\n";
  return 64;
}
