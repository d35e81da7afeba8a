// vorn-wine-device run: the Wine run itself, in the runner's namespaces
// without capabilities: the prefix seeded, VORN.EXE started by hand or as
// the service, the registry and the files read back.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "device/device.h"
#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"

namespace wine {
namespace fs = std::filesystem;
using sim::Json;
using Clock = std::chrono::steady_clock;

namespace {

int Seconds(const char* name, int fallback) {
  const std::string text = Env(name);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return text.empty() || *end != '\0' || value <= 0 ? fallback : static_cast<int>(value);
}

std::string WinPath(const fs::path& path) {
  std::string p = path.string();
  for (char& c : p) c = c == '/' ? '\\' : c;
  return "Z:" + p;
}

std::string Read(const fs::path& path) {
  std::string bytes;
  ReadBytes(path, &bytes);
  return bytes;
}

bool Write(const fs::path& path, const std::string& text, bool append = false) {
  std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << text;
  return static_cast<bool>(out);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

class WineRun {
 public:
  WineRun(fs::path device, fs::path work, Json plan)
      : device_(std::move(device)), work_(std::move(work)), prefix_(work_ / "prefix"),
        plan_(std::move(plan)) {
    scm_ = fs::exists(work_ / "scm") || plan_.value("startedBy", "") == "scm";
    timeout_ = Seconds("VORN_WINE_TIMEOUT", 120);
  }

  int Main(const fs::path& templ) {
    if (scm_ && plan_.value("serviceCommand", "").empty()) {
      return Die(69, "the service " + Name() + " is not installed");
    }
    if (int rc = Seed(templ)) return rc;
    const std::string command = CommandLine();
    if (!Write(work_ / "command.txt", command) || !Write(Test() / "command.txt", command) ||
        !Write(Test() / "faults.txt", Read(work_ / "faults.txt")) ||
        !Write(Test() / "protected-keys.txt", Read(work_ / "protected-keys.txt"))) {
      return Die(71, "cannot write the command line, the faults and the protected keys");
    }
    if (int rc = Session()) return rc;
    if (int rc = RunVorn()) return rc;
    return ReadBack();
  }

  // The run's logs into VORN_WINE_EVIDENCE, whatever the outcome.
  void End() {
    Server("-k", 0);
    const fs::path to = Env("VORN_WINE_EVIDENCE");
    if (to.empty()) return;
    std::error_code ec;
    fs::create_directories(to, ec);
    for (const char* f : {"wine.log", "calls.jsonl", "states.txt", "stdout.txt", "exit.txt", "sc-start.txt"}) {
      fs::copy_file(work_ / f, to / f, fs::copy_options::overwrite_existing, ec);
    }
    fs::copy_file(Test() / "calls.jsonl", to / "calls.jsonl", fs::copy_options::overwrite_existing, ec);
  }

 private:
  int Die(int code, const std::string& message) {
    std::cerr << "vorn-wine: " << message << "\n";
    return code;
  }

  std::string Name() const { return plan_.value("serviceName", ""); }
  fs::path Test() const { return prefix_ / "drive_c" / "vorntest"; }

  int Wine(std::vector<std::string> args, const std::string& out = "/dev/null", int timeout = 0,
           const std::string& dir = "") {
    args.insert(args.begin(), Env("VORN_WINE"));
    return Run({args, out, log_, dir, timeout});
  }

  int Server(const char* flag, int timeout) {
    return Run({{Env("VORN_WINESERVER"), flag}, "/dev/null", "/dev/null", "", timeout});
  }

  // The registry is imported in a session of its own: the service control
  // manager reads its database when the next session starts. regedit pads
  // a short DWORD and terminates a string; the seed's raw values go into
  // the registry file as they are, while no wineserver runs.
  //
  // VORN_WINE_PREFIX_FROM names a prefix to go on from instead (one a
  // killed session left: the next boot of the same machine), copied as it
  // is. VORN_WINE_PREFIX_SAVE keeps a copy of the seeded prefix there
  // before the session starts, for runs that go on from it.
  int Seed(const fs::path& templ) {
    const fs::path from = Env("VORN_WINE_PREFIX_FROM");
    if (!from.empty()) {
      if (!CopyPrefix(from, prefix_)) return Die(71, "cannot copy the prefix " + from.string());
      return TraceCalls() ? 0 : Die(71, "cannot write the relay list into user.reg");
    }
    if (int rc = SeedFresh(templ)) return rc;
    const fs::path save = Env("VORN_WINE_PREFIX_SAVE");
    if (save.empty()) return 0;
    std::error_code ec;
    fs::remove_all(save, ec);
    return CopyPrefix(prefix_, save) ? 0 : Die(71, "cannot keep the prefix in " + save.string());
  }

  int SeedFresh(const fs::path& templ) {
    if (int rc = SeedFiles(device_, work_, templ)) return rc;
    Server("-p0", 0);  // a session that ends as soon as its last program does
    if (Wine({"regedit", "/S", WinPath(work_ / "seed.reg")}) != 0) {
      return Die(71, "regedit could not import the device's registry");
    }
    Server("-w", 0);
    if (int rc = SeedRaw(work_, prefix_)) return rc;
    return TraceCalls() ? 0 : Die(71, "cannot write the relay list into user.reg");
  }

  // Wine's relay trace follows only kRelayedCalls as VORN.EXE reaches them:
  // through kernel32, whose exports pass them on to kernelbase (the
  // session's wineboot calls kernelbase directly, setting the name from the
  // host's). Their records come from the calls as made. Wine reads the
  // calling modules from RelayFromInclude only when no RelayFromExclude is
  // set, which the prefix has by default. Written while no wineserver runs.
  bool TraceCalls() {
    std::string reg, kept;
    if (!ReadBytes(prefix_ / "user.reg", &reg)) return false;
    std::istringstream lines(reg);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("\"RelayFromExclude\"=", 0) != 0) kept += line + "\n";
    }
    kept += "\n[Software\\\\Wine\\\\Debug] 0\n\"RelayInclude\"=\"" + std::string(kRelayedCalls) +
            "\"\n\"RelayFromInclude\"=\"kernel32\"\n";
    // A new file renamed over the old: the template's files must not change.
    const fs::path next = prefix_ / "user.reg.new";
    std::ofstream(next, std::ios::binary) << kept;
    std::error_code ec;
    fs::rename(next, prefix_ / "user.reg", ec);
    return !ec;
  }

  std::string CommandLine() const {
    if (scm_) return plan_.value("serviceCommand", "");
    std::string command = plan_.value("imagePath", "");
    std::istringstream args(Read(work_ / "args"));
    for (std::string arg; std::getline(args, arg);) command += " " + arg;
    return command;
  }

  // The session: the dialog answerer keeps it alive. Every program of the
  // session appends its debug log to one file: the programs Wine starts on
  // demand (the service control manager, the services) write to the error
  // output of whichever program made them start. Wine's errors and the
  // times are there to explain a run that went wrong; the comparison reads
  // only the event and shutdown lines.
  int Session() {
    const std::string extra = Env("VORN_WINE_DEBUG");
    // A measurement (VORN_WINE_HOOK) runs without the relay trace, which
    // its records do not need and which costs every process time per
    // library it loads.
    const std::string relay = Env("VORN_WINE_HOOK").empty() ? ",+relay" : "";
    setenv("WINEDEBUG", ("-all,+eventlog,fixme+advapi,err+all,+timestamp" + relay + (extra.empty() ? "" : "," + extra)).c_str(), 1);
    log_ = (work_ / "wine.log").string();
    Server("-p0", 0);
    Start({{Env("VORN_WINE"), "C:\\vorntest\\vorn-dialogs.exe"}, "/dev/null", log_, "", 0});
    if (!WaitForNetwork()) return Die(71, "Wine's network driver (nsiproxy) did not start within 120 s");
    return ProtectKeys() ? 0 : Die(71, "cannot protect the device's protected keys");
  }

  // Wine keeps a key's security only while its server runs: the device's
  // protected keys get theirs in the session VORN.EXE runs in.
  bool ProtectKeys() {
    if (Read(work_ / "protected-keys.txt").empty()) return true;
    return Wine({"C:\\vorntest\\vorn-protect.exe", "C:\\vorntest\\protected-keys.txt"}) == 0;
  }

  // The state and exit code "sc query" shows for the service ("RUNNING 0").
  std::string State(const std::string& service) {
    const fs::path out = work_ / "sc-query.txt";
    Write(out, "");
    Wine({"sc", "query", service}, out.string());
    std::istringstream in(Read(out));
    std::ostringstream line;
    ServiceState(in, line);
    std::string state = line.str();
    if (!state.empty()) state.pop_back();
    return state;
  }

  // XP loads its network stack as a system driver before any service or
  // program starts. Wine starts its NSI proxy driver, which GetAdaptersInfo
  // asks, with the session's auto-start services, and its service control
  // manager goes on once the driver is start-pending, or gives up on it
  // after the pipe timeout: on a loaded machine a program can come first
  // and find no adapters (error 2). The run waits until the driver runs,
  // starting it again when the manager gave up on it.
  bool WaitForNetwork() {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    while (Clock::now() < deadline) {
      const std::string state = State("nsiproxy");
      if (StartsWith(state, "RUNNING")) return true;
      if (StartsWith(state, "STOPPED")) {
        Wine({"sc", "start", "nsiproxy"});
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    }
    return false;
  }

  int RunVorn() {
    const std::string hook = Env("VORN_WINE_HOOK");
    if (!hook.empty()) {
      // A measurement's own steps in the seeded prefix (bench/wine/).
      setenv("IMAGE_PATH", plan_.value("imagePath", "").c_str(), 1);
      setenv("SERVICE_NAME", Name().c_str(), 1);
      setenv("VORN_WINE_WORK", work_.c_str(), 1);
      return Run({{"bash", hook}, "/dev/stdout", "/dev/stderr", "", 0});
    }
    if (scm_) {
      RunService();
      return 0;
    }
    // A run cut off by the time limit has no exit record; say so instead of
    // writing back a device that looks as if the program stopped.
    const std::string image = plan_.value("imagePath", "");
    const int rc = Wine({"C:\\vorntest\\vorn-launch.exe"}, (work_ / "stdout.txt").string(), timeout_,
                        UnixPath(prefix_, image).parent_path().string());
    if (rc != 124) return 0;
    return Die(75, image + " did not end within " + std::to_string(timeout_) +
                       " s (VORN_WINE_TIMEOUT)");
  }

  // Starts the service and polls its state until it stops. The scripted
  // messages (a time change sent to the job's "TimeChange" window, a
  // message or a quit posted to its thread) go out in order once that
  // window exists; the service
  // controls go out in order (SendControl), a "duringJob" one once the service
  // runs, an "inWatch" one after the time changes were delivered (a sent
  // message returns once the job's loop took it) or, without any, 2 s after
  // the service reported running: the job reaches its watch within
  // milliseconds, and no program can see that it did.
  void RunService() {
    Wine({"sc", "start", Name()}, (work_ / "sc-start.txt").string());
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout_);
    const Json controls = plan_.value("controls", Json::array());
    const Json messages = plan_.value("messages", Json::array());
    const std::size_t changes = messages.size();
    std::size_t sent = 0;
    std::size_t next = 0;
    bool stopped = false;
    std::optional<Clock::time_point> running;
    while (Clock::now() < deadline) {
      const std::string state = State(Name());
      if (!state.empty()) Write(work_ / "states.txt", state + "\n", true);
      if (state.empty() || StartsWith(state, "STOPPED")) break;
      if (!StartsWith(state, "RUNNING") || stopped) continue;
      if (!running) running = Clock::now();
      const bool settled = changes > 0 || Clock::now() - *running >= std::chrono::seconds(2);
      const bool duringJob = next < controls.size() && controls[next].value("at", "") == "duringJob";
      if (!duringJob && sent < changes) {
        if (SendMessageTo(messages[sent].get<std::string>())) ++sent;
      } else if (next < controls.size() && (duringJob || settled)) {
        stopped = SendControl(controls[next++].value("code", 0u));
      }
    }
  }

  // One message of the device's list through vorn-timechange.exe (its
  // arguments; "" a time change): true once delivered, false while the
  // job's window does not exist yet.
  bool SendMessageTo(const std::string& arguments) {
    std::vector<std::string> argv = {"C:\\vorntest\\vorn-timechange.exe"};
    std::istringstream words(arguments);
    for (std::string word; words >> word;) argv.push_back(word);
    return Wine(argv) == 0;
  }

  // One control as an administrator's tool sends it (ControlService), the
  // stop as every other code: vorn-control.exe, since Wine's sc sends only
  // the stop. True for a stop.
  bool SendControl(std::uint32_t code) {
    Wine({"C:\\vorntest\\vorn-control.exe", Name(), std::to_string(code)});
    return code == 1;
  }

  // The registry keys read back: VORN's and those the device held, exported
  // in one session (export-N.reg), regedit's words kept (it says so when a
  // key does not exist, and exits 0 either way), the end marked. On a
  // loaded machine a Wine program may fail to start: a failed export is
  // tried once more, and never taken for keys that do not exist.
  bool ExportRegistry() {
    std::istringstream keys(Read(work_ / "export-keys.txt"));
    std::string script = "@echo off\r\n";
    std::vector<fs::path> files;
    for (std::string key; std::getline(keys, key);) {
      files.push_back(work_ / ("export-" + std::to_string(files.size() + 1) + ".reg"));
      script += "regedit /e \"" + WinPath(files.back()) + "\" \"" + key + "\"\r\n";
    }
    const fs::path done = work_ / "export-done.txt";
    script += "echo done> \"" + WinPath(done) + "\"\r\n";
    Write(work_ / "export.cmd", script);
    std::string all, error;
    for (int attempt = 1; attempt <= 2; ++attempt) {
      std::error_code ec;
      for (const fs::path& f : files) fs::remove(f, ec);
      fs::remove(done, ec);
      Write(work_ / "export-out.txt", "");
      const int rc = Wine({"cmd", "/c", WinPath(work_ / "export.cmd")},
                         (work_ / "export-out.txt").string(), timeout_);
      if (ReadExports(work_, &all, &error)) return true;
      std::cerr << "vorn-wine: registry export " << attempt << " (exit " << rc << "): " << error << "\n";
    }
    return false;
  }

  int ReadBack() {
    setenv("WINEDEBUG", "-all", 1);
    log_ = "/dev/null";
    if (!ExportRegistry()) return Die(71, "cannot read back the registry");
    Write(Test() / "stop", "");
    Server("-w", 60);
    std::error_code ec;
    for (const char* f : {"exit.txt", "calls.jsonl", "failed-calls.txt"}) {
      fs::copy_file(Test() / f, work_ / f, fs::copy_options::overwrite_existing, ec);
    }
    if (int rc = Finish(device_, work_)) return rc;
    const std::string code = Read(work_ / "exit.txt");
    return code.empty() ? 0 : static_cast<int>(std::strtoll(code.c_str(), nullptr, 10) & 255);
  }

  fs::path device_, work_, prefix_;
  Json plan_;
  bool scm_ = false;
  int timeout_ = 120;
  std::string log_ = "/dev/null";
};

}  // namespace

int RunWine(const fs::path& device, const fs::path& work, const fs::path& templ) {
  const Json plan = Json::parse(Read(work / "run.json"), nullptr, false);
  if (!plan.is_object()) {
    std::cerr << "vorn-wine: " << (work / "run.json") << " is not the run's plan\n";
    return 70;
  }
  setenv("WINEPREFIX", (work / "prefix").c_str(), 1);
  setenv("TZ", plan.value("timeZone", "").c_str(), 1);
  WineRun run(device, work, plan);
  const int rc = run.Main(templ);
  run.End();
  return rc;
}

}  // namespace wine
