// Placeholder until type library registration is simulated: the library is
// reported as missing.
#include "os/sim/sim_host.h"

namespace sim {

os::HResult SimCom::RegisterTypeLibrary() { return os::kRegdbEClassNotReg; }
os::HResult SimCom::UnregisterTypeLibrary() { return os::kRegdbEClassNotReg; }

}  // namespace sim
