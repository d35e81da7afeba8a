// Placeholder until the boot configuration update is built: the task
// reports failure.
#include "display/boot_project.h"

namespace vorn {

bool UpdateDisplayText(const os::Platform&, EventReporter&, const char*) { return false; }

}  // namespace vorn
