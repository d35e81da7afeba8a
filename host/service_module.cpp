#include "host/service_module.h"

#include <cstdio>
#include <cstring>

namespace vorn {

CServiceModule::CServiceModule(const os::Platform& platform, EventReporter& events)
    : platform_(platform), events_(events), statusLock_(platform.process.NewMutex()) {}

void CServiceModule::Init(std::uint32_t resourceId) {
  std::string name;
  platform_.process.LoadString(resourceId, sizeof serviceName, &name);
  std::snprintf(serviceName, sizeof serviceName, "%s", name.c_str());
  isService = true;
  statusHandle = 0;
  status = os::ServiceStatus{};
  status.serviceType = os::kServiceWin32OwnProcess;
  status.currentState = os::kServiceStopped;
  status.controlsAccepted = os::kServiceAcceptStop;
}

void CServiceModule::Start() {
  if (isService) {
    if (!platform_.services.StartDispatcher(serviceName, [this] { ServiceMain(); })) {
      isService = false;
    }
    if (isService) return;
  }
  Run();
}

void CServiceModule::ServiceMain() {
  {
    os::MutexLock lock(*statusLock_);
    status.currentState = os::kServiceStartPending;
  }
  const os::StatusHandle handle = platform_.services.RegisterHandler(
      serviceName, [this](std::uint32_t control) { Handler(control); });
  {
    // The handler may report as soon as it is registered, from its thread.
    os::MutexLock lock(*statusLock_);
    statusHandle = handle;
  }
  if (handle == 0) {
    LogEvent("Handler not installed");
    return;
  }
  ReportStatus(os::kServiceStartPending);
  {
    os::MutexLock lock(*statusLock_);
    status.win32ExitCode = 0;
    status.checkPoint = 0;
    status.waitHint = 0;
  }
  Run();
  ReportStatus(os::kServiceStopped);
}

void CServiceModule::Handler(std::uint32_t control) {
  switch (control) {
    case os::kServiceControlStop:
      ReportStatus(os::kServiceStopPending);
      platform_.process.PostThreadMessage(threadId, os::kWmQuit);
      break;
    case os::kServiceControlPause:
    case os::kServiceControlContinue:
    case os::kServiceControlInterrogate:
    case os::kServiceControlShutdown:
      break;
    default:
      LogEvent("Bad service request");
  }
}

void CServiceModule::ReportStatus(std::uint32_t state) {
  // The handler's thread and the job's thread both report: each report
  // must carry the state its caller set.
  os::MutexLock lock(*statusLock_);
  status.currentState = state;
  platform_.services.SetStatus(statusHandle, status);
}

long CServiceModule::Unlock() {
  long count = --lockCount_;
  if (count == 0 && !isService) {
    platform_.process.PostThreadMessage(threadId, os::kWmQuit);
  }
  return count;
}

void CServiceModule::LogEvent(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatEventText(format, args);
  va_end(args);
  std::unique_ptr<os::EventSource> source =
      platform_.eventLog.RegisterSource(serviceName);
  if (source) source->Report(EVENTLOG_INFORMATION_TYPE, 0, 0, text);
}

}  // namespace vorn
