// The calendar arithmetic of the device's clock: the device keeps its local
// time as milliseconds since 1601-01-01, the epoch of Windows file times.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// A local calendar time, as SYSTEMTIME carries it (without the weekday).
struct CalendarTime {
  int year = 1601, month = 1, day = 1, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Milliseconds since 1601-01-01 00:00 for a valid calendar time (years
// 1601 to 30827, days the month has); false otherwise.
bool CalendarToMs(const CalendarTime& time, std::int64_t* ms);
CalendarTime MsToCalendar(std::int64_t ms);

// "2026-01-15T08:00:00.000" <-> milliseconds since 1601-01-01.
bool ParseLocalTime(const std::string& text, std::int64_t* ms);
std::string FormatLocalTime(std::int64_t ms);

}  // namespace sim
