#include "tasks/write_filter_dst/write_filter.h"

#include <memory>
#include <string>

namespace vorn {
namespace {

// The EWF diagnostics are wide text, as the library's own samples print
// them; only the error code varies.
void PrintLastError(const os::Platform& platform, const char* text, os::Status lastError) {
  const std::string line = text + std::to_string(lastError) + "\n";
  platform.ui.WriteStdoutWide(std::u16string(line.begin(), line.end()));
}

}  // namespace

bool IsFbwfEnabled(const os::Platform& platform) {
  std::uint32_t current = 0;
  std::uint32_t next = 0;
  if (platform.writeFilters.FbwfIsFilterEnabled(&current, &next) != os::kSuccess) {
    return false;
  }
  // Only the running system counts; what happens after a restart does not.
  return current != 0;
}

bool IsEwfEnabled(const os::Platform& platform) {
  bool result = false;
  std::unique_ptr<os::EwfVolume> volume;  // no handle held
  std::unique_ptr<os::EwfVolumeList> list = platform.writeFilters.GetProtectedVolumeList();
  if (!list) return false;

  // Any failure means no filter. The remaining list goes first, then the
  // handle (after a failed close its destruction is a second attempt).
  auto failure = [&] {
    list.reset();
    volume.reset();
    return false;
  };

  os::Status lastError = 0;
  while (!list->IsEmpty()) {
    volume = list->OpenHead();
    if (!volume) return failure();
    std::uint32_t state = 0;
    if (!volume->GetConfigState(&state, &lastError)) {
      PrintLastError(platform, "EwfMgrGetProtectedVolumeConfig failed LE = ", lastError);
      return failure();
    }
    // Every volume is examined: the last one with a known state decides.
    if (state == os::kEwfEnabled) {
      result = true;
    } else if (state == os::kEwfDisabled) {
      result = false;
    }
    if (!volume->Close(&lastError)) {
      PrintLastError(platform, "EwfMgrClose failed LE = ", lastError);
      return failure();
    }
    volume.reset();  // closed: nothing left to release
    list->PopHead();
  }
  return result;
}

bool IsWriteFilterActive(const os::Platform& platform) {
  return IsFbwfEnabled(platform) || IsEwfEnabled(platform);
}

}  // namespace vorn
