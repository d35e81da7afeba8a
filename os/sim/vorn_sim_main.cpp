// vorn-sim DEVICE_DIR [ARGS...]: runs VORN on a simulated device held in a
// folder. vorn-sim --version: prints VORN's version, the one of VORN.EXE's
// version resource. vorn-sim --scm DEVICE_DIR: starts the installed service
// as the service control manager does (its ImagePath as the command line, the
// dispatcher connects). The exit code is the program's exit code, standard
// output the device's standard output, and a readable echo of the journal
// goes to standard error.
#include <cstdio>
#include <iostream>
#include <string>

#include "host/process.h"
#include "os/sim/device.h"
#include "os/sim/sim_platform.h"
#include "vorn_version.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "vorn-sim " VORN_VERSION_STRING "\n";
    return 0;
  }
  // --scm: the run is the service control manager's start of the service.
  const bool scm = argc >= 2 && std::string(argv[1]) == "--scm";
  if (scm) {
    --argc;
    ++argv;
  }
  if (argc < 2 || std::string(argv[1]) == "--help") {
    std::cerr << "usage: vorn-sim DEVICE_DIR [ARGS...]\n"
                 "       vorn-sim --scm DEVICE_DIR\n"
                 "       vorn-sim --version\n"
                 "Runs VORN on the device folder DEVICE_DIR (registry.reg, "
                 "device.json, c/, journal.jsonl)\nwith the command line "
                 "\"<imagePath> ARGS...\".\n";
    return argc < 2 ? 64 : 0;
  }
  sim::Device device;
  std::string error;
  if (!device.Load(argv[1], &error)) {
    std::cerr << "vorn-sim: " << error << "\n";
    return 65;
  }
  device.set_echo(true);
  device.ApplyRestartBetweenRuns();

  std::string commandLine = device.state().imagePath;
  for (int i = 2; i < argc; ++i) commandLine += std::string(" ") + argv[i];
  if (scm) {
    if (argc > 2 || !sim::ServiceStartCommand(device, device.state().strings[100],
                                              &commandLine, &device.state().imagePath,
                                              &error)) {
      std::cerr << "vorn-sim: " << (argc > 2 ? "--scm takes no arguments" : error) << "\n";
      return 69;
    }
    device.state().startedBy = "scm";  // for this run only: not saved
  }
  device.Journal({{"kind", "run"}, {"commandLine", commandLine},
                  {"startedBy", device.state().startedBy}});

  int code;
  {
    sim::SimPlatform sim(device, commandLine);
    code = vorn::RunProcess(sim.platform());
  }
  device.Journal({{"kind", "exit"}, {"code", code}});
  if (!device.Save(&error)) {
    std::cerr << "vorn-sim: " << error << "\n";
    return 74;
  }
  return code;
}
