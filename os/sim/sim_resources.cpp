// The executable's resources on the simulated device, embedded at build
// time from resources/ (see cmake/embed_resources.cmake).
#include "os/sim/codepage.h"
#include "os/sim/sim_host.h"
#include "os/sim/vorn_resources.h"

namespace sim {

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
