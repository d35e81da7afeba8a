#include "host/process.h"

#include "host/entry.h"

namespace vorn {

// E_UNEXPECTED: what the process answers if anything was thrown past the
// entry after all.
constexpr int kUnexpectedExit = static_cast<int>(0x8000FFFFu);

int RunProcess(const os::Platform& platform) {
  try {
    EventReporter events(platform.eventLog);
    CServiceModule module(platform, events);
    return ProcessEntry(module);
  } catch (...) {
    return kUnexpectedExit;
  }
}

}  // namespace vorn
