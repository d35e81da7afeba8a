// The whole process as a program's entry point runs it.
#pragma once

#include "os/platform.h"

namespace vorn {

// Registers the event source "VORN", builds the module object, runs the
// process entry and releases the event source. Returns the process exit code.
// Never lets an exception escape.
int RunProcess(const os::Platform& platform);

}  // namespace vorn
