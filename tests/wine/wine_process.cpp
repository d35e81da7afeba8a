// Programs started with fork and exec.
#include "tests/wine/wine_process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace wine {

std::string Env(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}
namespace {

// In the child: the redirections and the program; never returns.
[[noreturn]] void Exec(const Command& command) {
  // A group of its own: a time limit ends the program and what it started.
  setpgid(0, 0);
  const int in = open("/dev/null", O_RDONLY);
  const int out = open(command.out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  const int err = open(command.err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
      (!command.dir.empty() && chdir(command.dir.c_str()) != 0)) {
    _exit(127);
  }
  std::vector<char*> argv;
  for (const std::string& a : command.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

// VORN_WINE_XTRACE: every program started, with the time, on the error
// output.
void Trace(const Command& command) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const long ms = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec, ms);
  std::string line = std::string("+ ") + stamp;
  for (const std::string& a : command.argv) line += " " + a;
  std::fprintf(stderr, "%s\n", line.c_str());
}

int ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
}

}  // namespace

pid_t Start(const Command& command) {
  if (command.argv.empty()) return -1;
  if (const char* trace = std::getenv("VORN_WINE_XTRACE"); trace && *trace) Trace(command);
  const pid_t pid = fork();
  if (pid == 0) Exec(command);
  return pid;
}

int Run(const Command& command) {
  const pid_t pid = Start(command);
  if (pid < 0) return 127;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(command.timeoutSeconds);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, command.timeoutSeconds > 0 ? WNOHANG : 0);
    if (done == pid) return ExitCode(status);
    if (done < 0) return 127;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(-pid, SIGTERM);
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
  return 124;
}

}  // namespace wine
