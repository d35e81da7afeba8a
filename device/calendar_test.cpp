#include <gtest/gtest.h>

#include "device/calendar.h"

namespace sim {
namespace {

TEST(SimCalendar, OnlyDaysTheMonthHasAreTimes) {
  std::int64_t ms = 0;
  EXPECT_TRUE(ParseLocalTime("2024-02-29T00:30:00.000", &ms));  // a leap day
  EXPECT_EQ(FormatLocalTime(ms), "2024-02-29T00:30:00.000");
  EXPECT_FALSE(ParseLocalTime("2026-02-29T00:30:00.000", &ms));
  EXPECT_FALSE(ParseLocalTime("2026-04-31T00:00:00.000", &ms));
  EXPECT_FALSE(ParseLocalTime("1600-12-31T23:59:59.999", &ms));
  EXPECT_TRUE(ParseLocalTime("1601-01-01T00:00:00.000", &ms));
  EXPECT_EQ(ms, 0);
}

}  // namespace
}  // namespace sim
