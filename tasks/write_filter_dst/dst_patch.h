// The daylight-saving-time patch for machines under a write filter.
#pragma once

#include <cstdint>

#include "common/reg_access.h"
#include "os/platform.h"

namespace vorn {

// Keeps the local clock right across daylight-saving changes that happen
// while a write filter discards the system's own record of them. Two records
// of the time-zone state (the patch's and the vendor's) sit beside the
// enable flag in the registry.
class DstPatch {
 public:
  explicit DstPatch(const os::Platform& platform);

  void Load();
  int Enable();
  int Disable();
  int CorrectAtBoot();
  int WatchTimeChanges();
  void RecordState();
  void ShiftClock(bool reverse);
  int CreateTimeChangeWindow();

  os::TimeZoneInfo tzInfo;
  std::uint32_t tzId = 0;
  std::uint32_t patchDst = 0;
  std::uint32_t vendorDst = 0;
  std::uint32_t enabled = 0;
  RegAccess reg;

 private:
  // REG_DWORD under HKEY_LOCAL_MACHINE; 0 when absent, unreadable or of
  // another type.
  std::uint32_t ReadRecord(const char* subKey, const char* valueName);

  // A copy of the bundle (it holds only references), so that a patch built
  // from a temporary bundle stays valid.
  os::Platform platform_;
};

}  // namespace vorn
