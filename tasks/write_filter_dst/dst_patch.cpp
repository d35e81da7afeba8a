#include "tasks/write_filter_dst/dst_patch.h"

namespace vorn {
namespace {

constexpr char kPatchKey[] = "SOFTWARE\\DSTPatch";
constexpr char kVendorKey[] = "SOFTWARE\\Talvenor";
constexpr char kEnableValue[] = "enableDSTPatch";
constexpr char kStateValue[] = "DST";
constexpr char kWindowClass[] = "TimeChange";

// 100-ns units of the 64-bit time value per minute.
constexpr std::int64_t kUnitsPerMinute = 600000000;

}  // namespace

DstPatch::DstPatch(const os::Platform& platform)
    : reg(platform.registry, platform.process), platform_(platform) {}

std::uint32_t DstPatch::ReadRecord(const char* subKey, const char* valueName) {
  std::uint32_t value = 0;
  try {
    reg.ReadDword(os::RootKey::kLocalMachine, subKey, valueName, &value);
  } catch (unsigned) {
    // A value of another type than REG_DWORD (edited by hand, say) counts
    // as absent: the patch then behaves as on a machine that never had it.
    value = 0;
  }
  return value;
}

void DstPatch::Load() {
  enabled = ReadRecord(kPatchKey, kEnableValue);
  tzId = platform_.clock.GetTimeZoneInformation(&tzInfo);
  patchDst = ReadRecord(kPatchKey, kStateValue);
  vendorDst = ReadRecord(kVendorKey, kStateValue);
}

void DstPatch::RecordState() {
  patchDst = tzId;
  vendorDst = tzId;
  reg.WriteDword(os::RootKey::kLocalMachine, kPatchKey, kStateValue, tzId);
  reg.WriteDword(os::RootKey::kLocalMachine, kVendorKey, kStateValue, tzId);
}

int DstPatch::Enable() {
  RecordState();
  return reg.WriteDword(os::RootKey::kLocalMachine, kPatchKey, kEnableValue, 1) ? 1 : 0;
}

int DstPatch::Disable() {
  return reg.WriteDword(os::RootKey::kLocalMachine, kPatchKey, kEnableValue, 0) ? 1 : 0;
}

// While a write filter discards the system's own daylight-saving change,
// the two records tell which state the clock was last set for. The key k
// folds the current state and both records into one number; with 1
// (standard) and 2 (daylight) it decides:
//
//   tzId  patchDst  vendorDst   k   effect
//   ----  --------  ---------  --   -------------------------------------
//     1      1          1       7   nothing
//     1      1          2       8   clock +DaylightBias min; records := 1
//     1      2          1      11   clock -DaylightBias min; records := 1
//     1      2          2      12   records := 1
//     2      1          1       9   records := 2
//     2      1          2      10   clock +DaylightBias min; records := 2
//     2      2          1      13   clock -DaylightBias min; records := 2
//     2      2          2      14   nothing
//
// Records that match the state: nothing. Records that agree with each other
// but not with the state: the state is recorded. Records that disagree: the
// clock moves by +DaylightBias minutes when the vendor's record says
// daylight and the patch's standard, by -DaylightBias the other way round
// (with the usual bias of -60: back one hour, forward one hour), and the
// state is recorded. The sign comes out of ShiftClock: reverse for k 8 and
// 13, forward for 10 and 11, times +1 in daylight and -1 in standard time.
// Other values (an absent record reads 0, a zone without daylight saving
// reports 0) go through the same key: a k outside the table changes nothing.
int DstPatch::CorrectAtBoot() {
  if (enabled == 0) return 101;
  // Unsigned arithmetic: out-of-range records wrap rather than overflow.
  const std::uint32_t k = vendorDst + 2 * tzId + 4 * patchDst;
  switch (k) {
    case 8:
    case 13:
      ShiftClock(true);
      RecordState();
      break;
    case 10:
    case 11:
      ShiftClock(false);
      RecordState();
      break;
    case 9:
    case 12:
      RecordState();
      break;
    default:
      break;
  }
  return 0;
}

void DstPatch::ShiftClock(bool reverse) {
  const std::int64_t delta = static_cast<std::int64_t>(tzInfo.daylightBias) * kUnitsPerMinute;
  const std::int64_t sign = (tzId == os::kTimeZoneIdDaylight ? 1 : -1) * (reverse ? -1 : 1);
  os::SystemTime time;
  platform_.clock.GetLocalTime(&time);
  std::uint64_t value = 0;
  // A conversion that fails leaves nothing sound to set: the clock is then
  // left as it is rather than set from a value that does not hold the time.
  if (!platform_.clock.SystemTimeToFileTime(time, &value)) return;
  value += static_cast<std::uint64_t>(sign * delta);  // two's-complement wrap
  if (!platform_.clock.FileTimeToSystemTime(value, &time)) return;
  platform_.clock.SetLocalTime(time);
}

int DstPatch::CreateTimeChangeWindow() {
  // The time-change broadcast is sent to the window, not posted to the
  // thread: the window procedure would take it and GetMessage never hand it
  // out. The class posts it on to the thread's queue, where the watch reads.
  if (!platform_.process.RegisterWindowClass(kWindowClass, os::kWmTimeChange)) return 0;
  // The window is never shown; it exists so that the broadcast reaches this
  // thread.
  return platform_.process.CreateHiddenWindow(kWindowClass) ? 1 : 0;
}

int DstPatch::WatchTimeChanges() {
  CreateTimeChangeWindow();
  for (;;) {
    const std::uint32_t message = platform_.process.GetMessage();
    if (message == os::kWmQuit) break;
    if (message == os::kWmTimeChange) {
      tzId = platform_.clock.GetTimeZoneInformation(&tzInfo);
      // Only the patch's own record is compared; the vendor's follows it.
      if (tzId != patchDst) RecordState();
    }
  }
  return 0;
}

}  // namespace vorn
