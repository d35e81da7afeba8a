#include "os/sim/sim_machine.h"

#include "device/codepage.h"

namespace sim {
namespace {

constexpr char kUpnpLibrary[] = "c:\\windows\\system32\\UPnPAgent.dll";
constexpr char kUpnpTool[] = "c:\\windows\\system32\\UPnPRegistrar.exe";

bool SamePath(const std::string& a, const std::string& b) {
  return Cp1252CompareNoCase(a, b) == 0;
}

class SimUpnpLibrary : public os::Library {
 public:
  explicit SimUpnpLibrary(Device& device) : device_(device) {}
  os::EntryPoint GetEntryPoint(const std::string& name) override {
    if (device_.Fault("GetProcAddress")) return {};
    const SimUpnp& u = device_.state().upnp;
    std::optional<std::int32_t> result;
    if (name == "DllUnregisterServer") {
      result = u.unregisterResult;
    } else if (name == "DllRegisterServer") {
      result = u.registerResult;
    }
    if (!result) return {};
    Device* device = &device_;
    std::int32_t value = *result;
    return [device, name, value]() -> os::HResult {
      device->Journal({{"kind", "libraryCall"}, {"library", kUpnpLibrary},
                       {"entry", name}, {"result", value}});
      return value;
    };
  }

 private:
  Device& device_;
};

class SimChild : public os::ChildProcess {
 public:
  SimChild(Device& device, std::string commandLine, std::uint32_t startupFlags,
           std::optional<double> runsSeconds)
      : device_(device), commandLine_(std::move(commandLine)), startupFlags_(startupFlags),
        startMs_(device.state().localTimeMs), runsSeconds_(runsSeconds) {}
  // Journalled when the handles close, so the record carries how long the
  // caller waited on the simulated clock.
  ~SimChild() override {
    device_.Journal({{"kind", "processStart"}, {"commandLine", commandLine_},
                     {"startupFlags", startupFlags_}, {"ok", true},
                     {"waitedMs", device_.state().localTimeMs - startMs_}});
  }
  bool GetExitCode(std::uint32_t* code) override {
    if (device_.Fault("GetExitCodeProcess")) return false;
    const std::int64_t elapsed = device_.state().localTimeMs - startMs_;
    const bool running =
        !runsSeconds_ || static_cast<double>(elapsed) < *runsSeconds_ * 1000.0;
    *code = running ? os::kStillActive : 0;
    return true;
  }

 private:
  Device& device_;
  std::string commandLine_;
  std::uint32_t startupFlags_;
  std::int64_t startMs_;
  std::optional<double> runsSeconds_;
};

}  // namespace

std::shared_ptr<os::Library> SimModules::LoadLibrary(const std::string& path) {
  if (device_.Fault("LoadLibraryA")) return nullptr;
  if (!SamePath(path, kUpnpLibrary) || !device_.state().upnp.library) return nullptr;
  if (!upnp_) upnp_ = std::make_shared<SimUpnpLibrary>(device_);
  return upnp_;
}

bool SimModules::FileExists(const std::string& path) {
  if (device_.Fault("FindFirstFileA")) return false;
  if (SamePath(path, kUpnpTool)) return device_.state().upnp.tool;
  if (SamePath(path, kUpnpLibrary)) return device_.state().upnp.library;
  std::error_code ec;
  return std::filesystem::exists(device_.HostPath(path), ec);
}

std::unique_ptr<os::ChildProcess> SimModules::CreateProcess(const std::string& commandLine,
                                                            std::uint32_t startupFlags) {
  const SimUpnp& u = device_.state().upnp;
  std::string program = commandLine.substr(0, commandLine.find(' '));
  bool ok = !device_.Fault("CreateProcessA") && SamePath(program, kUpnpTool) &&
            u.tool && u.toolStartable;
  if (!ok) {
    device_.Journal({{"kind", "processStart"}, {"commandLine", commandLine},
                     {"startupFlags", startupFlags}, {"ok", false}, {"waitedMs", 0}});
    return nullptr;
  }
  return std::make_unique<SimChild>(device_, commandLine, startupFlags, u.toolRunsSeconds);
}

void SimModules::Sleep(std::uint32_t milliseconds) {
  device_.Fault("Sleep");
  device_.state().localTimeMs += milliseconds;
  device_.MarkStateChanged();
}

}  // namespace sim
