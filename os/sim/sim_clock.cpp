#include "os/sim/sim_clock.h"

#include <cstdio>

#include "device/calendar.h"

namespace sim {
namespace {

// 100-ns units per millisecond.
constexpr std::int64_t kUnitsPerMs = 10000;

// The record as written, whether or not it is a valid time.
std::string RecordText(const os::SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.year,
                t.month, t.day, t.hour, t.minute, t.second, t.milliseconds);
  return text;
}

bool ToMs(const os::SystemTime& t, std::int64_t* ms) {
  return CalendarToMs({t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds}, ms);
}

void FromMs(std::int64_t ms, os::SystemTime* t) {
  const CalendarTime c = MsToCalendar(ms);
  t->year = static_cast<std::uint16_t>(c.year);
  t->month = static_cast<std::uint16_t>(c.month);
  t->day = static_cast<std::uint16_t>(c.day);
  t->hour = static_cast<std::uint16_t>(c.hour);
  t->minute = static_cast<std::uint16_t>(c.minute);
  t->second = static_cast<std::uint16_t>(c.second);
  t->milliseconds = static_cast<std::uint16_t>(c.milliseconds);
  // 1601-01-01 was a Monday.
  t->dayOfWeek = static_cast<std::uint16_t>((ms / 86400000 + 1) % 7);
}

}  // namespace

std::uint32_t SimClock::GetTimeZoneInformation(os::TimeZoneInfo* info) {
  if (device_.Fault("GetTimeZoneInformation")) return os::kTimeZoneIdInvalid;
  info->daylightBias = device_.state().daylightBias;
  return device_.state().timeZoneId;
}

void SimClock::GetLocalTime(os::SystemTime* time) {
  device_.Fault("GetLocalTime");  // recorded; GetLocalTime cannot fail
  FromMs(device_.state().localTimeMs, time);
}

bool SimClock::SetLocalTime(const os::SystemTime& time) {
  const bool refused = device_.Fault("SetLocalTime").has_value();
  std::int64_t ms = 0;
  const bool valid = ToMs(time, &ms);
  const bool ok = !refused && valid;
  // The journal shows what was asked for even when it was refused.
  const std::string from = FormatLocalTime(device_.state().localTimeMs);
  const std::string to = valid ? FormatLocalTime(ms) : RecordText(time);
  if (ok) {
    device_.state().localTimeMs = ms;
    device_.MarkStateChanged();
  }
  device_.Journal({{"kind", "clockSet"}, {"from", from}, {"to", to}, {"ok", ok}});
  return ok;
}

bool SimClock::SystemTimeToFileTime(const os::SystemTime& time, std::uint64_t* fileTime) {
  std::int64_t ms;
  if (device_.Fault("SystemTimeToFileTime") || !ToMs(time, &ms)) return false;
  *fileTime = static_cast<std::uint64_t>(ms) * kUnitsPerMs;
  return true;
}

bool SimClock::FileTimeToSystemTime(std::uint64_t fileTime, os::SystemTime* time) {
  if (device_.Fault("FileTimeToSystemTime") || fileTime >= 0x8000000000000000ull) {
    return false;
  }
  FromMs(static_cast<std::int64_t>(fileTime / kUnitsPerMs), time);
  // The sub-millisecond part is dropped, as the calendar record has none.
  return true;
}

}  // namespace sim
