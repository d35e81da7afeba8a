// Fault injection: device.json's "faults" name a Win32 function the system
// calls, which occurrence of the call fails (0: every one) and the error it
// fails with. Every port call of the simulated device asks Device::Fault
// first, so any call can be made to fail without a test double.
#include "device/device.h"
#include "device/device_json.h"

namespace sim {

std::optional<os::Status> Device::Fault(const std::string& call) {
  if (callObserver_) callObserver_(call);
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  const auto counted = callCounts_.try_emplace(call, 0).first;
  calls_.push_back(&counted->first);
  std::uint32_t n = ++counted->second;
  for (const auto& f : state_.faults) {
    if (f.call == call && (f.occurrence == 0 || f.occurrence == n)) return f.error;
  }
  return std::nullopt;
}

std::vector<std::string> Device::calls() {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  std::vector<std::string> calls;
  calls.reserve(calls_.size());
  for (const std::string* call : calls_) calls.push_back(*call);
  return calls;
}

bool ReadFaults(const Json& file, DeviceState* state, std::string*) {
  for (const auto& f : file.value("faults", Json::array())) {
    SimFault fault;
    fault.call = f.at("call").get<std::string>();
    fault.occurrence = f.value("occurrence", 0u);
    fault.error = f.at("error").get<std::uint32_t>();
    state->faults.push_back(fault);
  }
  return true;
}

}  // namespace sim
