// Placeholder until write filter detection is built: no filter is seen.
#include "platform/write_filter.h"

namespace vorn {

bool IsFbwfEnabled(const os::Platform&) { return false; }
bool IsEwfEnabled(const os::Platform&) { return false; }
bool IsWriteFilterActive(const os::Platform& platform) {
  return IsFbwfEnabled(platform) || IsEwfEnabled(platform);
}

}  // namespace vorn
