// Starting the programs of a Wine run: argv, the environment the runner
// has, output to files, a time limit.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace wine {

struct Command {
  std::vector<std::string> argv;
  std::string out = "/dev/null";  // standard output, appended to
  std::string err = "/dev/null";  // error output, appended to
  std::string dir;                // working folder ("": the runner's)
  int timeoutSeconds = 0;         // 0: none
};

// The environment variable's value; `fallback` when it is unset or empty.
std::string Env(const char* name, const std::string& fallback = "");

// Runs the command to its end: its exit code; 128 + N when signal N ended
// it, 124 when the time limit did (it is terminated), 127 when it could
// not be started.
int Run(const Command& command);

// Starts the command and returns at once (its process id, -1 on failure).
pid_t Start(const Command& command);

}  // namespace wine
