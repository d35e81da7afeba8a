// The service control manager: the dispatcher connection of this process
// and the management of installed services.
#include <atomic>
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
// The handle the service's handler was registered under: where the main's
// trampoline reports a stop that the main could not make.
std::atomic<SERVICE_STATUS_HANDLE> g_statusHandle{nullptr};
// The dispatcher returns as soon as the service has reported SERVICE_STOPPED,
// which the main does before it has returned. Its trampoline says when it is
// out: by the event when one could be made, else by the flag. The event is
// the only signal when it exists: the waiting thread closes it as soon as
// its wait returns, so the trampoline touches nothing after setting it.
std::atomic<bool> g_mainEntered{false};
std::atomic<bool> g_mainReturned{false};
std::atomic<HANDLE> g_mainReturnedEvent{nullptr};

void ReportStoppedAfterException() {
  const SERVICE_STATUS_HANDLE handle = g_statusHandle.load();
  if (handle == nullptr) return;  // no handler yet: nothing to report to
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = SERVICE_STOPPED;
  status.dwWin32ExitCode = ERROR_EXCEPTION_IN_SERVICE;
  ::SetServiceStatus(handle, &status);
}

// An exception must not unwind into advapi32: it would end the process
// without SERVICE_STOPPED, an unexpected termination to the manager.
void WINAPI ServiceMainTrampoline(DWORD, LPSTR*) {
  g_mainEntered = true;
  try {
    if (g_serviceMain) g_serviceMain();
  } catch (...) {
    ReportStoppedAfterException();
  }
  const HANDLE returned = g_mainReturnedEvent.load();
  if (returned == nullptr || !::SetEvent(returned)) g_mainReturned = true;
}

void WINAPI ControlHandlerTrampoline(DWORD control) {
  try {
    if (g_controlHandler) g_controlHandler(control);
  } catch (...) {
    // The control is dropped; the service runs on.
  }
}

// After the dispatcher has returned: until the service main is out too.
// When the event could not be signalled the trampoline sets the flag
// instead, so the wait watches both.
void WaitForServiceMainReturn() {
  if (!g_mainEntered) return;  // the dispatcher never started the service
  const HANDLE returned = g_mainReturnedEvent.load();
  while (!g_mainReturned) {
    if (returned != nullptr && ::WaitForSingleObject(returned, 10) == WAIT_OBJECT_0) return;
    if (returned == nullptr) ::Sleep(10);
  }
}

Status LastError() { return static_cast<Status>(::GetLastError()); }

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Each name NUL-terminated, the list ended by one more NUL (the string's own
// terminator).
std::u16string DependencyList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    list += name;
    list.push_back('\0');
  }
  return Widen(list);
}

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
    // The wide call, with every text converted by the ANSI code page as
    // CreateServiceA does itself on XP. Wine's CreateServiceA converts the
    // dependency list as one string and then reads past it for the list's
    // end, storing whatever memory follows as further dependencies.
    const std::u16string name = Widen(config.name);
    const std::u16string displayName = Widen(config.displayName);
    const std::u16string binaryPath = Widen(config.binaryPath);
    const std::u16string dependencies = DependencyList(config.dependencies);
    SC_HANDLE created = ::CreateServiceW(
        handle_.Get(), Wide(name), Wide(displayName), config.access,
        config.serviceType, config.startType, config.errorControl,
        Wide(binaryPath), nullptr, nullptr,
        config.dependencies.empty() ? nullptr : Wide(dependencies), nullptr,
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

  Status QueryStatus(ServiceStatus* status) override {
    SERVICE_STATUS record{};
    if (!::QueryServiceStatus(handle_.Get(), &record)) return LastError();
    status->serviceType = record.dwServiceType;
    status->currentState = record.dwCurrentState;
    status->controlsAccepted = record.dwControlsAccepted;
    status->win32ExitCode = record.dwWin32ExitCode;
    status->serviceSpecificExitCode = record.dwServiceSpecificExitCode;
    status->checkPoint = record.dwCheckPoint;
    status->waitHint = record.dwWaitHint;
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
  g_mainEntered = false;
  g_mainReturned = false;
  // Manual reset: it stays set for a wait that comes late. Without it the
  // wait polls the flag.
  UniqueKernelHandle mainReturned(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  g_mainReturnedEvent.store(mainReturned.Get());
  std::vector<char> serviceName(name.begin(), name.end());
  serviceName.push_back('\0');
  SERVICE_TABLE_ENTRYA table[] = {
      {serviceName.data(), &ServiceMainTrampoline},
      {nullptr, nullptr},
  };
  const bool dispatched = ::StartServiceCtrlDispatcherA(table) != FALSE;
  // The caller tears down what the main uses once this returns.
  if (dispatched) WaitForServiceMainReturn();
  g_mainReturnedEvent.store(nullptr);
  return dispatched;
}

StatusHandle ServiceManager::RegisterHandler(
    const std::string& name, std::function<void(std::uint32_t)> handler) {
  g_controlHandler = std::move(handler);
  SERVICE_STATUS_HANDLE handle =
      ::RegisterServiceCtrlHandlerA(name.c_str(), &ControlHandlerTrampoline);
  if (handle != nullptr) g_statusHandle = handle;
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
