#include "os/sim/sim_services.h"

#include "device/codepage.h"
#include "device/hive_values.h"
#include "device/services.h"

namespace sim {
namespace {

constexpr os::Status kErrorInvalidName = 123;
constexpr os::Status kErrorServiceCannotAcceptCtrl = 1061;
constexpr os::Status kErrorServiceNotActive = 1062;
constexpr os::Status kErrorServiceMarkedForDelete = 1072;
constexpr std::uint32_t kScManagerCreateService = 0x0002;
constexpr std::uint32_t kServiceStop = 0x0020;
constexpr std::uint32_t kServicePauseContinue = 0x0040;
constexpr std::uint32_t kServiceInterrogate = 0x0080;
constexpr std::uint32_t kServiceUserDefinedControl = 0x0100;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kServiceAcceptPauseContinue = 2;
constexpr std::uint32_t kServiceAcceptShutdown = 4;

const char* StateName(std::uint32_t state) {
  switch (state) {
    case os::kServiceStopped: return "SERVICE_STOPPED";
    case os::kServiceStartPending: return "SERVICE_START_PENDING";
    case os::kServiceStopPending: return "SERVICE_STOP_PENDING";
    case os::kServiceRunning: return "SERVICE_RUNNING";
    default: return "SERVICE_STATE_UNKNOWN";
  }
}

bool ValidName(const std::string& name) {
  return !name.empty() && name.size() <= 256 && name.find('\\') == std::string::npos &&
         name.find('/') == std::string::npos;
}

constexpr std::uint32_t kServiceQueryStatus = 0x0004;

class SimScHandle : public os::ScHandle {
 public:
  SimScHandle(Device& device, std::vector<ServiceProcess>& processes, bool manager,
              std::string name, std::uint32_t access)
      : device_(device), processes_(processes), manager_(manager), name_(std::move(name)),
        access_(access) {}

  os::Status OpenService(const std::string& name, std::uint32_t access,
                         std::unique_ptr<os::ScHandle>* service) override {
    if (auto e = device_.Fault("OpenServiceA")) return *e;
    if (!manager_) return os::kErrorInvalidHandle;
    if (!ValidName(name)) return kErrorInvalidName;
    std::lock_guard<std::mutex> lock(device_.mutex());
    if (FindService(device_.hive(), name) == nullptr) return os::kErrorServiceDoesNotExist;
    *service = std::make_unique<SimScHandle>(device_, processes_, false, name, access);
    return os::kSuccess;
  }

  os::Status CreateService(const os::ServiceConfig& config,
                           std::unique_ptr<os::ScHandle>* service) override {
    if (auto e = device_.Fault("CreateServiceW")) return *e;
    if (!manager_) return os::kErrorInvalidHandle;
    if ((access_ & kScManagerCreateService) == 0) return os::kErrorAccessDenied;
    if (!ValidName(config.name)) return kErrorInvalidName;
    if (config.binaryPath.empty()) return os::kErrorInvalidParameter;
    {
      std::lock_guard<std::mutex> lock(device_.mutex());
      Hive& hive = device_.hive();
      if (FindService(hive, config.name) != nullptr) {
        const ServiceProcess* process = RunningProcess(processes_, config.name);
        return process && process->deletePending ? kErrorServiceMarkedForDelete
                                                 : os::kErrorServiceExists;
      }
      HiveKey* key = hive.Create(ServicePath(config.name), false, nullptr);
      PutDword(*key, "Type", config.serviceType);
      PutDword(*key, "Start", config.startType);
      PutDword(*key, "ErrorControl", config.errorControl);
      PutString(*key, "ImagePath", os::kRegExpandSz, config.binaryPath);
      PutString(*key, "DisplayName", os::kRegSz,
                config.displayName.empty() ? config.name : config.displayName);
      if (!config.dependencies.empty()) {
        PutMultiString(*key, "DependOnService", config.dependencies);
      }
      PutString(*key, "ObjectName", os::kRegSz, "LocalSystem");
      device_.MarkRegistryChanged();
    }
    Json dependencies = Json::array();
    for (const auto& d : config.dependencies) dependencies.push_back(d);
    device_.Journal({{"kind", "serviceConfig"},
                     {"op", "create"},
                     {"name", config.name},
                     {"displayName", config.displayName},
                     {"imagePath", config.binaryPath},
                     {"type", config.serviceType},
                     {"start", config.startType},
                     {"errorControl", config.errorControl},
                     {"dependencies", dependencies},
                     {"account", "LocalSystem"}});
    *service = std::make_unique<SimScHandle>(device_, processes_, false, config.name, config.access);
    return os::kSuccess;
  }

  os::Status Control(std::uint32_t control) override {
    if (auto e = device_.Fault("ControlService")) return *e;
    if (manager_) return os::kErrorInvalidHandle;
    std::uint32_t needed = control == os::kServiceControlStop ? kServiceStop
                           : control == os::kServiceControlInterrogate ? kServiceInterrogate
                           : control >= 128 ? kServiceUserDefinedControl
                                            : kServicePauseContinue;
    os::Status result = (access_ & needed) == 0 ? os::kErrorAccessDenied : Deliver(control);
    device_.Journal({{"kind", "serviceConfig"}, {"op", "control"}, {"name", name_},
                     {"code", control}, {"result", result}});
    return result;
  }

  os::Status QueryStatus(os::ServiceStatus* status) override {
    if (auto e = device_.Fault("QueryServiceStatus")) return *e;
    if (manager_) return os::kErrorInvalidHandle;
    if ((access_ & kServiceQueryStatus) == 0) return os::kErrorAccessDenied;
    std::lock_guard<std::mutex> lock(device_.mutex());
    ServiceProcess* process = RunningProcess(processes_, name_);
    if (process) Settle(device_, *process, false);
    *status = os::ServiceStatus{};
    status->serviceType = os::kServiceWin32OwnProcess;
    status->currentState = !process || process->ended ? os::kServiceStopped
                           : process->stopAt          ? os::kServiceStopPending
                                                      : os::kServiceRunning;
    return os::kSuccess;
  }

  // A service whose process runs is only marked; it goes when the process
  // ends.
  os::Status Delete() override {
    if (auto e = device_.Fault("DeleteService")) return *e;
    if (manager_) return os::kErrorInvalidHandle;
    if ((access_ & kDelete) == 0) return os::kErrorAccessDenied;
    if (deleted_) return kErrorServiceMarkedForDelete;
    Json record = {{"kind", "serviceConfig"}, {"op", "delete"}, {"name", name_}};
    {
      std::lock_guard<std::mutex> lock(device_.mutex());
      if (FindService(device_.hive(), name_) == nullptr) return os::kErrorServiceDoesNotExist;
      ServiceProcess* process = RunningProcess(processes_, name_);
      if (process) Settle(device_, *process, false);
      if (process && !process->ended) {
        process->deletePending = true;
        record["pending"] = true;
      } else {
        device_.hive().Erase(ServicePath(name_));
        device_.MarkRegistryChanged();
      }
    }
    deleted_ = true;
    device_.Journal(record);
    return os::kSuccess;
  }

 private:
  // What a control the right allows does: a stop ends a running process
  // after its time; a service that does not run refuses every control.
  os::Status Deliver(std::uint32_t control) {
    std::lock_guard<std::mutex> lock(device_.mutex());
    ServiceProcess* process = RunningProcess(processes_, name_);
    if (process) Settle(device_, *process, false);
    if (!process || process->ended) return kErrorServiceNotActive;
    if (control != os::kServiceControlStop || process->stopAt) {
      return kErrorServiceCannotAcceptCtrl;
    }
    process->stopAt = device_.state().localTimeMs + process->stopMs;
    return os::kSuccess;
  }

  Device& device_;
  std::vector<ServiceProcess>& processes_;
  bool manager_;
  std::string name_;
  std::uint32_t access_;
  bool deleted_ = false;
};

}  // namespace

SimServices::SimServices(Device& device, SimProcess& process)
    : device_(device), process_(process) {
  for (const SimRunningService& running : device.state().runningServices) {
    ServiceProcess process;
    process.name = running.name;
    process.stopMs = running.stopMs;
    processes_.push_back(process);
  }
}

os::Status SimServices::OpenManager(std::uint32_t access,
                                    std::unique_ptr<os::ScHandle>* manager) {
  if (auto e = device_.Fault("OpenSCManagerA")) return *e;
  *manager = std::make_unique<SimScHandle>(device_, processes_, true, "", access);
  return os::kSuccess;
}

bool SimServices::StartDispatcher(const std::string&, std::function<void()> serviceMain) {
  if (device_.Fault("StartServiceCtrlDispatcherA")) return false;
  // Only a process that the service control manager started can connect.
  if (device_.state().startedBy != "scm") return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dispatching_) return false;
    dispatching_ = true;
    serviceReturned_ = false;
    stoppedReported_ = false;
    dispatcherReturned_ = false;
  }
  device_.set_call_observer([this](const std::string& call) { OnPortCall(call); });
  process_.set_idle_handler([this] { return DeliverInWatch(); });
  service_ = std::thread([this, main = std::move(serviceMain)] { ServiceThread(main); });
  Dispatch();
  // As the Win32 backend does: the dispatcher has returned on the report of
  // SERVICE_STOPPED, while the service's main may still be on its way out
  // (leaving the lock it reported under, say). Return only once it is out,
  // so that the caller may tear down what the main uses.
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return serviceReturned_; });
  }
  service_.join();
  device_.set_call_observer(nullptr);
  process_.set_idle_handler(nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  dispatching_ = false;
  handler_ = nullptr;
  return true;
}

// The run is over: every process told to stop has ended by now.
SimServices::~SimServices() {
  if (service_.joinable()) service_.join();
  std::lock_guard<std::mutex> lock(device_.mutex());
  for (ServiceProcess& process : processes_) Settle(device_, process, true);
}

// The service main's trampoline: nothing the main throws may unwind into
// the dispatcher; the service is then reported stopped with a failure.
void SimServices::ServiceThread(const std::function<void()>& main) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    serviceThread_ = std::this_thread::get_id();
  }
  try {
    main();
  } catch (...) {
    bool registered;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      registered = static_cast<bool>(handler_);
    }
    if (registered) {
      os::ServiceStatus stopped;
      stopped.serviceType = os::kServiceWin32OwnProcess;
      stopped.currentState = os::kServiceStopped;
      stopped.win32ExitCode = os::kErrorExceptionInService;
      SetStatus(1, stopped);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  serviceReturned_ = true;
  changed_.notify_all();
}

// StartServiceCtrlDispatcherA's own part, on the caller's thread: runs the
// handler for each control until the service has reported SERVICE_STOPPED.
// (A main that returns without that report would leave Windows' dispatcher
// waiting for ever; the simulation ends then too.)
void SimServices::Dispatch() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return !pending_.empty() || stoppedReported_ || serviceReturned_;
    });
    if (pending_.empty()) break;
    const std::uint32_t code = pending_.front();
    pending_.pop_front();
    auto handler = handler_;
    lock.unlock();
    try {
      if (handler) handler(code);
    } catch (...) {
      // The handler's trampoline drops the control rather than let the
      // exception into the dispatcher.
    }
    lock.lock();
    ++delivered_;
    changed_.notify_all();
  }
  dispatcherReturned_ = true;
  changed_.notify_all();
}

os::StatusHandle SimServices::RegisterHandler(const std::string&,
                                              std::function<void(std::uint32_t)> handler) {
  if (device_.Fault("RegisterServiceCtrlHandlerA")) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  // Outside a service started by the dispatcher there is nothing to register
  // with (ERROR_SERVICE_DOES_NOT_EXIST on Windows).
  if (!dispatching_) return 0;
  handler_ = std::move(handler);
  return 1;
}

bool SimServices::SetStatus(os::StatusHandle handle, const os::ServiceStatus& status) {
  if (device_.Fault("SetServiceStatus")) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle != 1 || !dispatching_) return false;
    lastStatus_ = status;
    if (status.currentState == os::kServiceRunning &&
        std::this_thread::get_id() == serviceThread_) {
      runningReported_ = true;
    }
  }
  device_.Journal({{"kind", "serviceStatus"},
                   {"state", StateName(status.currentState)},
                   {"checkPoint", status.checkPoint},
                   {"waitHint", status.waitHint},
                   {"exitCode", status.win32ExitCode}});
  if (status.currentState == os::kServiceStopped) LetTheDispatcherReturn();
  return true;
}

// On Windows the report of SERVICE_STOPPED lets the dispatcher call return
// while the reporting thread has yet to come back from SetServiceStatus, and
// the process's main thread may well run first. The reporter here waits
// until the dispatcher has returned and gives the caller a head start, so
// that whatever the main touches after its report is touched late, as it
// can be on a device.
void SimServices::LetTheDispatcherReturn() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (std::this_thread::get_id() != serviceThread_) return;
  stoppedReported_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return dispatcherReturned_; });
  changed_.wait_for(lock, std::chrono::milliseconds(kStoppedReturnDelayMs));
}

// The service control manager refuses controls the service does not accept
// or cannot take in its present state; the handler never sees them.
bool SimServices::Accepts(std::uint32_t code) const {
  if (code == os::kServiceControlInterrogate) return true;
  const std::uint32_t state = lastStatus_.currentState;
  if (state != os::kServiceRunning) return false;
  const std::uint32_t accepted = lastStatus_.controlsAccepted;
  switch (code) {
    case os::kServiceControlStop:
      return (accepted & os::kServiceAcceptStop) != 0;
    case os::kServiceControlPause:
    case os::kServiceControlContinue:
      return (accepted & kServiceAcceptPauseContinue) != 0;
    case os::kServiceControlShutdown:
      return (accepted & kServiceAcceptShutdown) != 0;
    default:
      return code >= 128 && code <= 255;  // the range left to services
  }
}

void SimServices::Deliver(const SimServiceControl& control) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool accepted = Accepts(control.code);
  Json record = {{"kind", "serviceControl"}, {"at", control.at}, {"code", control.code},
                 {"delivered", accepted}};
  if (!accepted) record["result"] = kErrorServiceCannotAcceptCtrl;
  device_.Journal(record);
  if (!accepted) return;
  pending_.push_back(control.code);
  const std::size_t mine = ++queued_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return delivered_ >= mine; });
}

void SimServices::OnPortCall(const std::string& call) {
  // The status report is made under the module's status lock, which the
  // handler needs too: controls go out at the next call after it.
  if (call == "SetServiceStatus") return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::this_thread::get_id() != serviceThread_ || !runningReported_ || duringJobDone_) {
      return;
    }
    duringJobDone_ = true;
  }
  for (const SimServiceControl& control : device_.state().serviceControls) {
    if (control.at == "duringJob") Deliver(control);
  }
}

bool SimServices::DeliverInWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::this_thread::get_id() != serviceThread_) return false;
  }
  const auto& controls = device_.state().serviceControls;
  while (nextInWatch_ < controls.size()) {
    const SimServiceControl& control = controls[nextInWatch_++];
    if (control.at == "inWatch") {
      Deliver(control);
      return true;
    }
  }
  return false;
}

}  // namespace sim
