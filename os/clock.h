// Local time and time zone (kernel32).
#pragma once

#include <cstdint>

namespace os {

constexpr std::uint32_t kTimeZoneIdUnknown = 0;
constexpr std::uint32_t kTimeZoneIdStandard = 1;
constexpr std::uint32_t kTimeZoneIdDaylight = 2;
constexpr std::uint32_t kTimeZoneIdInvalid = 0xFFFFFFFF;

// SYSTEMTIME.
struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// The member of TIME_ZONE_INFORMATION the system reads.
struct TimeZoneInfo {
  std::int32_t daylightBias = 0;  // minutes
};

class Clock {
 public:
  virtual ~Clock() = default;

  // GetTimeZoneInformation: fills *info and returns the state
  // (kTimeZoneIdUnknown, _Standard, _Daylight, or _Invalid on failure).
  virtual std::uint32_t GetTimeZoneInformation(TimeZoneInfo* info) = 0;

  // GetLocalTime. Never fails.
  virtual void GetLocalTime(SystemTime* time) = 0;

  // SetLocalTime. False when refused (1314 without the privilege) or when
  // the record is not a valid time.
  virtual bool SetLocalTime(const SystemTime& time) = 0;

  // SystemTimeToFileTime: 100-ns units since 1601-01-01, no time-zone
  // conversion. False for a record that is not a valid time.
  virtual bool SystemTimeToFileTime(const SystemTime& time,
                                    std::uint64_t* fileTime) = 0;

  // FileTimeToSystemTime. False for a value beyond the calendar's range
  // (at or above 0x8000000000000000).
  virtual bool FileTimeToSystemTime(std::uint64_t fileTime,
                                    SystemTime* time) = 0;
};

}  // namespace os
