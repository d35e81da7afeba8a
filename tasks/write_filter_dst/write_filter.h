// Whether a write filter protects the disk now.
#pragma once

#include "os/platform.h"

namespace vorn {

// The File-Based Write Filter is enabled for the running system.
bool IsFbwfEnabled(const os::Platform& platform);

// Every protected volume could be examined, and the last one that reports
// enabled or disabled reports enabled.
bool IsEwfEnabled(const os::Platform& platform);

// FBWF first; EWF only when FBWF is not enabled.
bool IsWriteFilterActive(const os::Platform& platform);

}  // namespace vorn
