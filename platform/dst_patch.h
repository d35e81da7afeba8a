// The daylight-saving-time patch for machines under a write filter.
#pragma once

#include <cstdint>

#include "os/platform.h"
#include "platform/reg_access.h"

namespace vorn {

class DstPatch {
 public:
  explicit DstPatch(const os::Platform& platform);

  void Load();
  int Enable();
  int Disable();
  int CorrectAtBoot();
  int WatchTimeChanges();
  int RecordState();
  int ShiftClock(bool reverse);
  int CreateTimeChangeWindow();

  os::TimeZoneInfo tzInfo;
  std::uint32_t tzId = 0;
  std::uint32_t patchDst = 0;
  std::uint32_t vendorDst = 0;
  std::uint32_t enabled = 0;
  RegAccess reg;

 private:
  const os::Platform& platform_;
};

}  // namespace vorn
