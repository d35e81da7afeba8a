// The one module object of the process: the service host around the job.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "common/event_reporter.h"
#include "os/platform.h"
#include "tasks/identity/upnp_library.h"

namespace vorn {

constexpr char kAppId[] = "{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}";
constexpr std::uint32_t kServiceNameResource = 100;

class CServiceModule {
 public:
  CServiceModule(const os::Platform& platform, EventReporter& events);

  // Loads the service name from string resource `resourceId` and sets the
  // service state to its initial values.
  void Init(std::uint32_t resourceId);

  // Connects to the service control manager and runs the job from the
  // service's main function, or runs the job in this process when the
  // process is no service or the dispatcher cannot be reached.
  void Start();

  // The service's main function and control handler.
  void ServiceMain();
  void Handler(std::uint32_t control);

  // Sets the current state and reports the whole status record.
  void ReportStatus(std::uint32_t state);

  // Releases one module lock; at 0 in process mode, tells the job thread to
  // quit. Returns the new count.
  long Unlock();

  // Reports an information event under the service name, whatever the text.
  void LogEvent(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // The job: one pass that makes the machine's identity follow its hardware.
  void Run();

  // Registration verbs. Results are exit codes (0, a COM status or a
  // registry status).
  std::int32_t RegisterServer(bool registerTypeLibrary, bool asService);
  std::int32_t UnregisterServer();
  bool IsInstalled();
  bool Install();
  bool Uninstall();

  char serviceName[256] = {};
  os::StatusHandle statusHandle = 0;
  os::ServiceStatus status;
  std::uint32_t threadId = 0;
  bool isService = true;

  const os::Platform& platform() const { return platform_; }
  EventReporter& events() { return events_; }
  UpnpLibrary& upnpLibrary() { return upnpLibrary_; }

 private:
  os::Platform platform_;  // a bundle of references: cheap to copy, never dangles
  EventReporter& events_;
  std::unique_ptr<os::Mutex> statusLock_;
  std::atomic<long> lockCount_{0};
  UpnpLibrary upnpLibrary_;
};

}  // namespace vorn
