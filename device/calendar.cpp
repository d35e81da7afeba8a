#include "device/calendar.h"

#include <cstdio>

namespace sim {
namespace {

// Days from 0000-03-01 to the civil date (proleptic Gregorian).
std::int64_t RawDays(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe);
}

const std::int64_t kEpoch1601 = RawDays(1601, 1, 1);

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  return RawDays(y, m, d) - kEpoch1601;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
  z += kEpoch1601;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

bool CalendarToMs(const CalendarTime& t, std::int64_t* ms) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
      t.second > 59 || t.milliseconds < 0 || t.milliseconds > 999) {
    return false;
  }
  const auto month = static_cast<unsigned>(t.month);
  const std::int64_t days = DaysFromCivil(t.year, month, static_cast<unsigned>(t.day));
  // A day the month does not have lands in the next month.
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  if (m != month) return false;
  *ms = ((days * 24 + t.hour) * 60 + t.minute) * 60000LL + t.second * 1000LL + t.milliseconds;
  return true;
}

CalendarTime MsToCalendar(std::int64_t ms) {
  std::int64_t days = ms / 86400000;
  std::int64_t rest = ms % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  CalendarTime t;
  t.year = static_cast<int>(y);
  t.month = static_cast<int>(m);
  t.day = static_cast<int>(d);
  t.hour = static_cast<int>(rest / 3600000);
  t.minute = static_cast<int>(rest / 60000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.milliseconds = static_cast<int>(rest % 1000);
  return t;
}

bool ParseLocalTime(const std::string& text, std::int64_t* ms) {
  CalendarTime t;
  int n = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%d", &t.year, &t.month, &t.day,
                      &t.hour, &t.minute, &t.second, &t.milliseconds);
  return n >= 6 && CalendarToMs(t, ms);
}

std::string FormatLocalTime(std::int64_t ms) {
  const CalendarTime t = MsToCalendar(ms);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.milliseconds);
  return buf;
}

}  // namespace sim
