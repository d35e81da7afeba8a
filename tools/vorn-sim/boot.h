// One boot of the simulated device held in a folder: the folder loaded, a
// restart the last run scheduled taken as done, the program run with its
// command line, the device's new state written back.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "os/platform.h"
#include "device/device.h"

namespace sim {

// The program the device runs (VORN's process entry); returns its exit code.
using Program = std::function<int(const os::Platform&)>;

// vorn-sim's own exit codes, as sysexits.h numbers them.
constexpr int kExitUsage = 64;        // bad options
constexpr int kExitDataError = 65;    // the device folder cannot be read
constexpr int kExitSoftware = 70;     // the device never settles
constexpr int kExitUnavailable = 69;  // --scm: no installed service to start
constexpr int kExitIoError = 74;      // the device folder cannot be written

struct BootOptions {
  std::vector<std::string> arguments;  // the command line after the image path
  bool scm = false;   // the service control manager starts the installed service
  bool echo = false;  // records on standard error, the device's output on ours
};

struct BootResult {
  int exitCode = 0;  // the program's
  std::string commandLine;
  std::string startedBy;
  // A restart the previous run scheduled was taken as done before this boot.
  bool restartApplied = false;
  std::vector<Json> journal;  // this boot's records, in order
};

// Runs one boot on the folder. Returns 0 when the program ran (its exit
// code is in *result), else one of vorn-sim's exit codes with *error set:
// 65 the folder cannot be read, 69 --scm finds no startable service or is
// given arguments, 74 the folder cannot be written.
int RunBoot(const std::filesystem::path& folder, const BootOptions& options,
            const Program& program, BootResult* result, std::string* error);

}  // namespace sim
