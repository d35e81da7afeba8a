// The service control manager: the dispatcher connection of a service
// process and the management of installed services (advapi32).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/types.h"

namespace os {

constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
constexpr std::uint32_t kServiceStopped = 1;
constexpr std::uint32_t kServiceStartPending = 2;
constexpr std::uint32_t kServiceStopPending = 3;
constexpr std::uint32_t kServiceRunning = 4;
constexpr std::uint32_t kServiceAcceptStop = 1;
constexpr std::uint32_t kServiceControlStop = 1;
constexpr std::uint32_t kServiceControlPause = 2;
constexpr std::uint32_t kServiceControlContinue = 3;
constexpr std::uint32_t kServiceControlInterrogate = 4;
constexpr std::uint32_t kServiceControlShutdown = 5;
constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
constexpr std::uint32_t kServiceQueryConfig = 0x0001;
constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
// SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE.
constexpr std::uint32_t kServiceStopQueryAndDelete = 0x10024;
constexpr std::uint32_t kServiceAutoStart = 2;
constexpr std::uint32_t kServiceErrorNormal = 1;
// ERROR_EXCEPTION_IN_SERVICE: the exit code of a service whose main threw.
constexpr Status kErrorExceptionInService = 1064;

struct ServiceStatus {
  std::uint32_t serviceType = 0;
  std::uint32_t currentState = 0;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;
};

// What the service is created with; texts in the ANSI code page.
struct ServiceConfig {
  std::string name;
  std::string displayName;
  std::uint32_t access = 0;
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  std::string binaryPath;
  std::vector<std::string> dependencies;
  // No load order group, tag, account or password: LocalSystem.
};

// An opaque SERVICE_STATUS_HANDLE; 0 is none.
using StatusHandle = std::uintptr_t;

// An SC_HANDLE of a manager or a service; destroying it is
// CloseServiceHandle.
class ScHandle {
 public:
  virtual ~ScHandle() = default;

  // OpenServiceA on a manager handle. On failure returns the status (1060
  // when the service does not exist) and leaves *service untouched.
  virtual Status OpenService(const std::string& name, std::uint32_t access,
                             std::unique_ptr<ScHandle>* service) = 0;

  // CreateServiceW on a manager handle, the texts converted from the ANSI
  // code page. On failure returns the status (1073 when it exists already)
  // and leaves *service untouched.
  virtual Status CreateService(const ServiceConfig& config,
                               std::unique_ptr<ScHandle>* service) = 0;

  // ControlService on a service handle; the status answer is discarded.
  // Returns 0 or the failure status (1062 when the service is not running).
  virtual Status Control(std::uint32_t control) = 0;

  // QueryServiceStatus on a service handle (opened with
  // SERVICE_QUERY_STATUS). Returns 0 and sets *status, or the failure
  // status (5 without that right) leaving *status untouched.
  virtual Status QueryStatus(ServiceStatus* status) = 0;

  // DeleteService on a service handle. Returns 0 or the failure status.
  // A service whose process still runs is only marked for deletion: it
  // stays installed (OpenService finds it, CreateService fails with 1072)
  // until that process has ended.
  virtual Status Delete() = 0;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // OpenSCManagerA on the local machine and its default database. On
  // failure returns the status (5 without administrative rights) and leaves
  // *manager untouched.
  virtual Status OpenManager(std::uint32_t access,
                             std::unique_ptr<ScHandle>* manager) = 0;

  // StartServiceCtrlDispatcherA with the table (name, main) and its
  // terminating entry. When the service control manager started the
  // process, calls `serviceMain` on a thread of its own, delivers controls
  // to the registered handler on the calling thread, and returns true once
  // the service has reported SERVICE_STOPPED and its main has returned.
  // Otherwise returns false at once (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT).
  // Nothing thrown on those threads goes further: when `serviceMain` throws
  // after registering its handler, the service is reported SERVICE_STOPPED
  // with exit code kErrorExceptionInService; a handler that throws has
  // dropped its control.
  virtual bool StartDispatcher(const std::string& name,
                               std::function<void()> serviceMain) = 0;

  // RegisterServiceCtrlHandlerA. Returns the status handle, or 0 on failure.
  // `handler` is called on the dispatcher's thread for each control.
  virtual StatusHandle RegisterHandler(
      const std::string& name, std::function<void(std::uint32_t)> handler) = 0;

  // SetServiceStatus. False when the report was refused.
  virtual bool SetStatus(StatusHandle handle, const ServiceStatus& status) = 0;
};

}  // namespace os
