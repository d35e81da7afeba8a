// The simulated device's adapters and computer name.
#pragma once

#include "os/network.h"
#include "device/device.h"

namespace sim {

class SimNetwork : public os::Network {
 public:
  explicit SimNetwork(Device& device) : device_(device) {}
  os::Status GetAdaptersInfo(std::vector<os::AdapterInfo>* adapters,
                             std::uint32_t* size) override;
  bool GetComputerName(std::size_t capacity, std::string* name) override;
  bool SetComputerName(const std::string& name) override;

 private:
  Device& device_;
};

}  // namespace sim
