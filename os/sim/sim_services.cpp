#include "os/sim/sim_services.h"

#include <thread>

namespace sim {
namespace {

const char* StateName(std::uint32_t state) {
  switch (state) {
    case os::kServiceStopped: return "SERVICE_STOPPED";
    case os::kServiceStartPending: return "SERVICE_START_PENDING";
    case os::kServiceStopPending: return "SERVICE_STOP_PENDING";
    case os::kServiceRunning: return "SERVICE_RUNNING";
    default: return "SERVICE_STATE_UNKNOWN";
  }
}

}  // namespace

os::Status SimServices::OpenManager(std::uint32_t, std::unique_ptr<os::ScHandle>*) {
  if (auto e = device_.Fault("OpenSCManagerA")) return *e;
  return os::kErrorAccessDenied;  // the service database comes with registration
}

bool SimServices::StartDispatcher(const std::string&, std::function<void()> serviceMain) {
  if (device_.Fault("StartServiceCtrlDispatcherA")) return false;
  // Only a process that the service control manager started can connect.
  if (device_.state().startedBy != "scm") return false;
  std::thread service(std::move(serviceMain));
  service.join();
  return true;
}

os::StatusHandle SimServices::RegisterHandler(const std::string&,
                                              std::function<void(std::uint32_t)> handler) {
  if (device_.Fault("RegisterServiceCtrlHandlerA")) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
  return 1;
}

bool SimServices::SetStatus(os::StatusHandle handle, const os::ServiceStatus& status) {
  if (device_.Fault("SetServiceStatus") || handle == 0) return false;
  device_.Journal({{"kind", "serviceStatus"},
                   {"state", StateName(status.currentState)},
                   {"checkPoint", status.checkPoint},
                   {"waitHint", status.waitHint},
                   {"exitCode", status.win32ExitCode}});
  return true;
}

}  // namespace sim
