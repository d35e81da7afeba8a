// The service control manager: the dispatcher connection of this process
// and the management of installed services.
#include <vector>

#include "os/win32/backend.h"
#include "os/win32/handles.h"

namespace os::win32 {
namespace {

// The dispatcher and the control handler call plain functions without a
// context argument; these hold what the trampolines forward to. A process
// hosts one service, so one of each is enough.
std::function<void()> g_serviceMain;
std::function<void(std::uint32_t)> g_controlHandler;

void WINAPI ServiceMainTrampoline(DWORD, LPSTR*) {
  if (g_serviceMain) g_serviceMain();
}

void WINAPI ControlHandlerTrampoline(DWORD control) {
  if (g_controlHandler) g_controlHandler(control);
}

Status LastError() { return static_cast<Status>(::GetLastError()); }

class Handle final : public ScHandle {
 public:
  explicit Handle(SC_HANDLE handle) : handle_(handle) {}

  Status OpenService(const std::string& name, std::uint32_t access,
                     std::unique_ptr<ScHandle>* service) override {
    SC_HANDLE opened = ::OpenServiceA(handle_.Get(), name.c_str(), access);
    if (!opened) return LastError();
    *service = std::make_unique<Handle>(opened);
    return kSuccess;
  }

  Status CreateService(const ServiceConfig& config,
                       std::unique_ptr<ScHandle>* service) override {
    // Dependencies: each name NUL-terminated, the list ended by one more NUL.
    std::vector<char> dependencies;
    for (const std::string& name : config.dependencies) {
      dependencies.insert(dependencies.end(), name.begin(), name.end());
      dependencies.push_back('\0');
    }
    dependencies.push_back('\0');
    SC_HANDLE created = ::CreateServiceA(
        handle_.Get(), config.name.c_str(), config.displayName.c_str(),
        config.access, config.serviceType, config.startType,
        config.errorControl, config.binaryPath.c_str(), nullptr, nullptr,
        config.dependencies.empty() ? nullptr : dependencies.data(), nullptr,
        nullptr);
    if (!created) return LastError();
    *service = std::make_unique<Handle>(created);
    return kSuccess;
  }

  Status Control(std::uint32_t control) override {
    SERVICE_STATUS status{};
    if (!::ControlService(handle_.Get(), control, &status)) return LastError();
    return kSuccess;
  }

  Status Delete() override {
    if (!::DeleteService(handle_.Get())) return LastError();
    return kSuccess;
  }

 private:
  UniqueScHandle handle_;
};

}  // namespace

Status ServiceManager::OpenManager(std::uint32_t access,
                                   std::unique_ptr<ScHandle>* manager) {
  SC_HANDLE opened = ::OpenSCManagerA(nullptr, nullptr, access);
  if (!opened) return LastError();
  *manager = std::make_unique<Handle>(opened);
  return kSuccess;
}

bool ServiceManager::StartDispatcher(const std::string& name,
                                     std::function<void()> serviceMain) {
  g_serviceMain = std::move(serviceMain);
  std::vector<char> serviceName(name.begin(), name.end());
  serviceName.push_back('\0');
  SERVICE_TABLE_ENTRYA table[] = {
      {serviceName.data(), &ServiceMainTrampoline},
      {nullptr, nullptr},
  };
  return ::StartServiceCtrlDispatcherA(table) != FALSE;
}

StatusHandle ServiceManager::RegisterHandler(
    const std::string& name, std::function<void(std::uint32_t)> handler) {
  g_controlHandler = std::move(handler);
  SERVICE_STATUS_HANDLE handle =
      ::RegisterServiceCtrlHandlerA(name.c_str(), &ControlHandlerTrampoline);
  return reinterpret_cast<StatusHandle>(handle);
}

bool ServiceManager::SetStatus(StatusHandle handle, const ServiceStatus& status) {
  SERVICE_STATUS record{};
  record.dwServiceType = status.serviceType;
  record.dwCurrentState = status.currentState;
  record.dwControlsAccepted = status.controlsAccepted;
  record.dwWin32ExitCode = status.win32ExitCode;
  record.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
  record.dwCheckPoint = status.checkPoint;
  record.dwWaitHint = status.waitHint;
  return ::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle),
                            &record) != FALSE;
}

}  // namespace os::win32
