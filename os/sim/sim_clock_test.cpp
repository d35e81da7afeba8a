#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace sim {
namespace {

TEST(SimCalendar, TheClockRefusesRecordsThatAreNoTimeAndJournalsThem) {
  TestDevice device("", R"({"localTime": "2026-01-15T08:00:00.000"})");
  os::SystemTime feb30{2026, 2, 0, 30, 8, 0, 0, 0};
  std::uint64_t fileTime = 0;
  EXPECT_FALSE(device.sim().clock.SystemTimeToFileTime(feb30, &fileTime));
  EXPECT_FALSE(device.sim().clock.SetLocalTime(feb30));
  EXPECT_EQ(FormatLocalTime(device.device().state().localTimeMs), "2026-01-15T08:00:00.000");
  auto set = device.Records("clockSet");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0]["ok"], false);
  EXPECT_EQ(set[0]["to"], "2026-02-30T08:00:00.000");

  os::SystemTime back{};
  ASSERT_TRUE(device.sim().clock.FileTimeToSystemTime(36000000000ull * 24, &back));
  EXPECT_EQ(back.year, 1601);
  EXPECT_EQ(back.day, 2);
  EXPECT_EQ(back.dayOfWeek, 2);  // 1601-01-02 was a Tuesday
}

}  // namespace
}  // namespace sim
