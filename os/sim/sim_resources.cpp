// The executable's resources on the simulated device: its string table
// from device.json's "strings", the rest embedded at build time from
// resources/ (see cmake/embed_resources.cmake).

#include "device/codepage.h"
#include "os/sim/sim_host.h"
#include "os/sim/vorn_resources.h"

namespace sim {

int SimProcess::LoadString(std::uint32_t id, std::size_t capacity, std::string* text) {
  text->clear();
  if (device_.Fault("LoadStringA") || capacity == 0) return 0;
  auto it = device_.state().strings.find(id);
  if (it == device_.state().strings.end()) return 0;
  *text = it->second.substr(0, capacity - 1);
  return static_cast<int>(text->size());
}

bool SimProcess::LoadResource(const std::string& type, std::uint32_t id,
                              std::string* bytes) {
  bytes->clear();
  if (device_.Fault("FindResourceA")) return false;
  // Resource type names are matched without regard to case, as Windows does.
  if (Cp1252CompareNoCase(type, "REGISTRY") == 0 && id == 100) {
    bytes->assign(reinterpret_cast<const char*>(resources::kRegistryScript),
                  resources::kRegistryScriptSize);
    return true;
  }
  return false;
}

}  // namespace sim
