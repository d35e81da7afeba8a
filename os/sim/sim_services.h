// The simulated service control manager.
#pragma once

#include <functional>
#include <mutex>

#include "os/service.h"
#include "os/sim/device.h"

namespace sim {

class SimServices : public os::ServiceManager {
 public:
  explicit SimServices(Device& device) : device_(device) {}
  os::Status OpenManager(std::uint32_t access,
                         std::unique_ptr<os::ScHandle>* manager) override;
  bool StartDispatcher(const std::string& name,
                       std::function<void()> serviceMain) override;
  os::StatusHandle RegisterHandler(const std::string& name,
                                   std::function<void(std::uint32_t)> handler) override;
  bool SetStatus(os::StatusHandle handle, const os::ServiceStatus& status) override;

 private:
  Device& device_;
  std::mutex mutex_;
  std::function<void(std::uint32_t)> handler_;
};

}  // namespace sim
