// The registry port on the simulated device's hive. String data is
// converted between Windows-1252 and the hive's UTF-16 as the "A" functions
// do; "protectedKeys" of device.json deny writing; every change is journaled.
#pragma once

#include "os/registry.h"
#include "device/device.h"

namespace sim {

class SimRegistry : public os::Registry {
 public:
  explicit SimRegistry(Device& device) : device_(device) {}

  os::Status OpenKey(os::RootKey root, const std::string& subKey,
                     std::uint32_t access,
                     std::unique_ptr<os::RegistryKey>* key) override;
  os::Status CreateKey(os::RootKey root, const std::string& subKey,
                       std::uint32_t access,
                       std::unique_ptr<os::RegistryKey>* key) override;
  os::Status DeleteTree(os::RootKey root, const std::string& subKey) override;

  // Shared by keys opened relative to other keys.
  os::Status Open(std::vector<std::u16string> path, bool classesRoot,
                  std::uint32_t access, std::unique_ptr<os::RegistryKey>* key);
  os::Status Create(std::vector<std::u16string> path, bool classesRoot,
                    std::uint32_t access, bool parentMayCreate,
                    std::unique_ptr<os::RegistryKey>* key);
  os::Status Erase(const std::vector<std::u16string>& path);

  Device& device() { return device_; }

 private:
  Device& device_;
};

}  // namespace sim
