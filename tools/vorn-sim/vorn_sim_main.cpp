// vorn-sim DEVICE_DIR [ARGS...]: runs VORN on a simulated device held in a
// folder. vorn-sim --version: prints VORN's version, the one of VORN.EXE's
// version resource. vorn-sim --scm DEVICE_DIR: starts the installed service
// as the service control manager does (its ImagePath as the command line, the
// dispatcher connects). --until-steady: boot after boot until one changes
// nothing. The exit code is the program's exit code, standard output the
// device's standard output, and a readable echo of the journal goes to
// standard error. vorn-sim plan ...: the preview (os/sim/plan_command.h).
#include <cstdio>
#include <iostream>
#include <string>

#include "host/process.h"
#include "tools/vorn-sim/boot.h"
#include "tools/vorn-sim/plan_command.h"
#include "vorn_version.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "vorn-sim " VORN_VERSION_STRING "\n";
    return 0;
  }
  const sim::Program program = [](const os::Platform& p) { return vorn::RunProcess(p); };
  if (argc >= 2 && std::string(argv[1]) == "plan") {
    return sim::PlanCommand({argv + 2, argv + argc}, program);
  }
  sim::BootOptions options;
  options.echo = true;
  bool untilSteady = false;
  // Options before the folder, in any order.
  for (; argc >= 2; --argc, ++argv) {
    const std::string option = argv[1];
    if (option == "--scm") {
      options.scm = true;
    } else if (option == "--until-steady") {
      untilSteady = true;
    } else {
      break;
    }
  }
  if (argc < 2 || std::string(argv[1]) == "--help") {
    std::cerr << "usage: vorn-sim [--until-steady] DEVICE_DIR [ARGS...]\n"
                 "       vorn-sim --scm [--until-steady] DEVICE_DIR\n"
                 "       vorn-sim plan [--until-steady] [--json] [--scm] [--adapter MAC[,DESCRIPTION]]...\n"
                 "                     [--host-name NAME] DEVICE_DIR [ARGS...]\n"
                 "       vorn-sim --version\n"
                 "Runs VORN on the device folder DEVICE_DIR (registry.reg, "
                 "device.json, c/, journal.jsonl)\nwith the command line "
                 "\"<imagePath> ARGS...\"; plan shows what it would change.\n";
    return argc < 2 ? sim::kExitUsage : 0;
  }
  options.arguments.assign(argv + 2, argv + argc);
  if (untilSteady) return sim::RunUntilSteady(argv[1], options, program);

  sim::BootResult result;
  std::string error;
  if (int failed = sim::RunBoot(argv[1], options, program, &result, &error)) {
    std::cerr << "vorn-sim: " << error << "\n";
    return failed;
  }
  return result.exitCode;
}
