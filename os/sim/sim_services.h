// The simulated service control manager, on the device's database of
// services (device/services.h). Creations, deletions and controls are
// journaled as "serviceConfig" records.
//
// The dispatcher connects when device.json says the process was started by
// the service control manager ("startedBy": "scm"). It then runs the
// service's main function on a thread of its own and delivers the scripted
// "serviceControls" to the registered handler on the dispatcher's thread:
// "duringJob" ones at the service thread's first port call after it has
// reported SERVICE_RUNNING, "inWatch" ones when that thread waits for a
// message and nothing else can reach its queue. Each delivery is journaled
// as a "serviceControl" record, every status report as "serviceStatus".
//
// The services "runningServices" names run beside the program from its
// start. A stop control sent to one is accepted and ends its process
// "stopMs" of device time later (the status reads SERVICE_STOP_PENDING
// until then); a deletion meanwhile only marks the service, which stays
// installed until the process has ended, as on XP. At the end of the run
// every process told to stop has ended.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>
#include <thread>

#include "os/service.h"
#include "device/device.h"
#include "device/services.h"
#include "os/sim/sim_host.h"

namespace sim {

class SimServices : public os::ServiceManager {
 public:
  SimServices(Device& device, SimProcess& process);
  ~SimServices() override;

  os::Status OpenManager(std::uint32_t access,
                         std::unique_ptr<os::ScHandle>* manager) override;
  bool StartDispatcher(const std::string& name,
                       std::function<void()> serviceMain) override;
  os::StatusHandle RegisterHandler(const std::string& name,
                                   std::function<void(std::uint32_t)> handler) override;
  bool SetStatus(os::StatusHandle handle, const os::ServiceStatus& status) override;

  Device& device() { return device_; }

 private:
  // How long a service thread that reported SERVICE_STOPPED stays in
  // SetStatus after the dispatcher has returned.
  static constexpr int kStoppedReturnDelayMs = 50;

  void ServiceThread(const std::function<void()>& main);
  void Dispatch();
  void LetTheDispatcherReturn();
  void OnPortCall(const std::string& call);
  bool DeliverInWatch();
  // On the service thread: hands one control to the dispatcher's thread and
  // waits until the handler has returned.
  void Deliver(const SimServiceControl& control);
  bool Accepts(std::uint32_t code) const;  // caller holds mutex_

  Device& device_;
  SimProcess& process_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool dispatching_ = false;
  bool serviceReturned_ = false;
  bool stoppedReported_ = false;
  bool dispatcherReturned_ = false;
  std::thread service_;
  std::thread::id serviceThread_;
  std::function<void(std::uint32_t)> handler_;
  std::deque<std::uint32_t> pending_;
  std::size_t queued_ = 0;
  std::size_t delivered_ = 0;
  bool runningReported_ = false;
  bool duringJobDone_ = false;
  std::size_t nextInWatch_ = 0;
  os::ServiceStatus lastStatus_;
  std::vector<ServiceProcess> processes_;  // under the device's mutex
};

}  // namespace sim
