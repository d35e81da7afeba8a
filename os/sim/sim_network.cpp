#include "os/sim/sim_network.h"

#include <algorithm>


namespace sim {
os::Status SimNetwork::GetAdaptersInfo(std::vector<os::AdapterInfo>* adapters,
                                       std::uint32_t* size) {
  if (auto e = device_.Fault("GetAdaptersInfo")) return *e;
  const DeviceState& s = device_.state();
  if (s.adaptersError) return *s.adaptersError;
  if (s.adapters.empty()) return os::kErrorNoData;
  const auto needed = static_cast<std::uint32_t>(s.adapters.size()) * os::kAdapterInfoSize;
  if (adapters == nullptr || *size < needed) {
    *size = needed;
    return os::kErrorBufferOverflow;
  }
  adapters->clear();
  for (const auto& a : s.adapters) {
    os::AdapterInfo info;
    info.description = a.description.substr(0, 131);
    info.addressLength = static_cast<std::uint32_t>(a.address.size());
    std::copy(a.address.begin(), a.address.end(), info.address.begin());
    adapters->push_back(info);
  }
  return os::kSuccess;
}

bool SimNetwork::GetComputerName(std::size_t capacity, std::string* name) {
  name->clear();
  if (device_.Fault("GetComputerNameExA")) return false;
  const std::string& host = device_.state().hostName;
  if (host.size() + 1 > capacity) return false;
  *name = host;
  return true;
}

bool SimNetwork::SetComputerName(const std::string& name) {
  bool ok = !device_.Fault("SetComputerNameExA");
  // Windows refuses an empty name and one longer than a DNS label allows.
  ok = ok && !name.empty() && name.size() <= 63;
  if (ok) {
    device_.state().pendingHostName = name;
    device_.MarkStateChanged();
  }
  device_.Journal({{"kind", "computerNameSet"}, {"name", name}, {"ok", ok}});
  return ok;
}

}  // namespace sim
