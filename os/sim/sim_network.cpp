#include "os/sim/sim_network.h"

#include <algorithm>
#include <cstdio>

#include "device/device_json.h"

namespace sim {
namespace {

// "00-01-05-12-AB-3C" or with ':' between the bytes; "" is no bytes.
bool ParseAddress(const std::string& text, std::vector<std::uint8_t>* out) {
  out->clear();
  if (text.empty()) return true;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + 2 > text.size()) return false;
    unsigned v;
    if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &v) != 1) return false;
    out->push_back(static_cast<std::uint8_t>(v));
    i += 2;
    if (i < text.size()) {
      if (text[i] != '-' && text[i] != ':') return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

bool ReadNetwork(const Json& file, DeviceState* state, std::string* error) {
  state->hostName = file.value("hostName", state->hostName);
  ReadNullable(file, "pendingHostName", &state->pendingHostName);
  for (const auto& a : file.value("adapters", Json::array())) {
    SimAdapter adapter;
    adapter.description = a.value("description", "");
    if (!ParseAddress(a.value("address", ""), &adapter.address) ||
        adapter.address.size() > 8) {
      *error = "device.json: adapter address \"" + a.value("address", "") +
               "\" is not 0 to 8 hexadecimal bytes like 00-01-05-12-AB-3C";
      return false;
    }
    state->adapters.push_back(adapter);
  }
  ReadNullable(file, "adaptersError", &state->adaptersError);
  return true;
}

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
