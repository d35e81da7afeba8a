#include "tools/vorn-sim/boot.h"

#include "device/services.h"
#include "os/sim/sim_platform.h"

namespace sim {
namespace {

// The command line of this boot: the image path and the arguments, or for
// --scm the installed service's ImagePath (which then names the module).
int CommandLine(Device& device, const BootOptions& options, std::string* commandLine,
                std::string* error) {
  *commandLine = device.state().imagePath;
  for (const std::string& argument : options.arguments) *commandLine += " " + argument;
  if (!options.scm) return 0;
  if (!options.arguments.empty()) {
    *error = "--scm takes no arguments";
    return kExitUnavailable;
  }
  if (!ServiceStartCommand(device, device.state().strings[100], commandLine,
                           &device.state().imagePath, error)) {
    return kExitUnavailable;
  }
  device.state().startedBy = "scm";  // for this run only: not saved
  return 0;
}

}  // namespace

int RunBoot(const std::filesystem::path& folder, const BootOptions& options,
            const Program& program, BootResult* result, std::string* error) {
  Device device;
  if (!device.Load(folder, error)) return kExitDataError;
  device.set_echo(options.echo);
  result->restartApplied = device.state().restartScheduled.has_value();
  device.ApplyRestartBetweenRuns();
  if (int failed = CommandLine(device, options, &result->commandLine, error)) return failed;
  result->startedBy = device.state().startedBy;
  device.Journal({{"kind", "run"}, {"commandLine", result->commandLine},
                  {"startedBy", result->startedBy}});
  {
    SimPlatform sim(device, result->commandLine);
    result->exitCode = program(sim.platform());
  }
  device.Journal({{"kind", "exit"}, {"code", result->exitCode}});
  result->journal = device.JournalRecords();
  if (!device.Save(error)) return kExitIoError;
  return 0;
}

}  // namespace sim
