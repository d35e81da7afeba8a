// Placeholder until the simulated XML document is built: the class is
// reported as missing.
#include "os/sim/sim_host.h"

namespace sim {

os::HResult SimCom::CreateXmlDocument(std::unique_ptr<os::XmlDocument>*) {
  return os::kRegdbEClassNotReg;
}

}  // namespace sim
