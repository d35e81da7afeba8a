// Local time and time zone (kernel32).
#include "os/win32/backend.h"

namespace os::win32 {
namespace {

SYSTEMTIME ToNative(const SystemTime& time) {
  SYSTEMTIME native{};
  native.wYear = time.year;
  native.wMonth = time.month;
  native.wDayOfWeek = time.dayOfWeek;
  native.wDay = time.day;
  native.wHour = time.hour;
  native.wMinute = time.minute;
  native.wSecond = time.second;
  native.wMilliseconds = time.milliseconds;
  return native;
}

SystemTime FromNative(const SYSTEMTIME& native) {
  SystemTime time;
  time.year = native.wYear;
  time.month = native.wMonth;
  time.dayOfWeek = native.wDayOfWeek;
  time.day = native.wDay;
  time.hour = native.wHour;
  time.minute = native.wMinute;
  time.second = native.wSecond;
  time.milliseconds = native.wMilliseconds;
  return time;
}

}  // namespace

std::uint32_t Clock::GetTimeZoneInformation(TimeZoneInfo* info) {
  TIME_ZONE_INFORMATION zone{};
  DWORD state = ::GetTimeZoneInformation(&zone);
  if (state != TIME_ZONE_ID_INVALID) info->daylightBias = zone.DaylightBias;
  return state;
}

void Clock::GetLocalTime(SystemTime* time) {
  SYSTEMTIME native{};
  ::GetLocalTime(&native);
  *time = FromNative(native);
}

bool Clock::SetLocalTime(const SystemTime& time) {
  SYSTEMTIME native = ToNative(time);
  return ::SetLocalTime(&native) != FALSE;
}

bool Clock::SystemTimeToFileTime(const SystemTime& time,
                                 std::uint64_t* fileTime) {
  SYSTEMTIME native = ToNative(time);
  FILETIME file{};
  if (!::SystemTimeToFileTime(&native, &file)) return false;
  *fileTime = (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) |
              file.dwLowDateTime;
  return true;
}

bool Clock::FileTimeToSystemTime(std::uint64_t fileTime, SystemTime* time) {
  FILETIME file{};
  file.dwLowDateTime = static_cast<DWORD>(fileTime & 0xFFFFFFFFu);
  file.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
  SYSTEMTIME native{};
  if (!::FileTimeToSystemTime(&file, &native)) return false;
  *time = FromNative(native);
  return true;
}

}  // namespace os::win32
