// Test support for the identity tasks: a simulated device with an IDCheck
// built on it, and readers for what the device then shows.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/event_reporter.h"
#include "tests/support/testing.h"
#include "tasks/identity/id_check.h"

namespace vorn::testing {

// `adapters` is the JSON array body, e.g. R"({"description":"Intel","address":"00-01"})".
inline std::string DeviceJson(const std::string& hostName, const std::string& adapters,
                              const std::string& more = "") {
  std::string json = R"({"hostName": ")" + hostName + R"(", "adapters": [)" + adapters + "]";
  if (!more.empty()) json += ", " + more;
  return json + "}";
}

inline std::string Adapter(const std::string& description, const std::string& address) {
  return R"({"description": ")" + description + R"(", "address": ")" + address + R"("})";
}

constexpr char kIntel3C[] = R"({"description": "Intel(R) PRO/100 VE", "address": "00-01-05-12-AB-3C"})";

// A device with the runtime's system key and the given registry lines.
class IdentityDevice {
 public:
  explicit IdentityDevice(const std::string& deviceJson, const std::string& registry = "")
      : device_("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\r\n" + registry,
                deviceJson),
        platform_(device_.platform()),
        events_(platform_.eventLog) {}

  IDCheck& Make(const char* prefix = "KQ5") {
    id_ = std::make_unique<IDCheck>(platform_, events_, upnp_, prefix);
    return *id_;
  }

  sim::TestDevice& device() { return device_; }
  const os::Platform& platform() { return platform_; }
  UpnpLibrary& upnp() { return upnp_; }

  std::vector<std::string> Events() {
    std::vector<std::string> out;
    for (const auto& r : device_.Records("event")) out.push_back(r["text"]);
    return out;
  }
  std::size_t Count(const std::string& kind) { return device_.Records(kind).size(); }
  std::size_t Calls(const std::string& call) {
    std::size_t n = 0;
    for (const auto& c : device_.device().calls()) n += c == call;
    return n;
  }

  // The stored value as (type, bytes), read through the port.
  std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>> Value(
      const std::string& key, const std::string& name) {
    std::unique_ptr<os::RegistryKey> k;
    if (platform_.registry.OpenKey(os::RootKey::kLocalMachine, key, os::kKeyRead, &k) != 0)
      return std::nullopt;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (k->QueryValue(name, &type, nullptr, &size) != 0) return std::nullopt;
    std::vector<std::uint8_t> data(size);
    k->QueryValue(name, &type, data.data(), &size);
    return std::make_pair(type, data);
  }

 private:
  sim::TestDevice device_;
  os::Platform platform_;
  EventReporter events_;
  UpnpLibrary upnp_;
  std::unique_ptr<IDCheck> id_;
};

}  // namespace vorn::testing
