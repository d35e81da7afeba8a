#include "common/event_reporter.h"

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

TEST(EventReporter, ReportsUnderVornWithTheFormattedTextCutAt255) {
  sim::TestDevice device;
  EventReporter events(device.sim().eventLog);
  events.Report(EVENTLOG_ERROR_TYPE, "GetAdapterInfo failed with code 0x%x\ncan't change computer name",
                232u);
  events.Report(EVENTLOG_INFORMATION_TYPE, "%s", std::string(300, 'x').c_str());
  events.ReportText(EVENTLOG_INFORMATION_TYPE, "The computer name was changed from 100% to QZ\n");
  auto records = device.Records("event");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0]["source"], "VORN");
  EXPECT_EQ(records[0]["type"], 1);
  EXPECT_EQ(records[0]["text"], "GetAdapterInfo failed with code 0xe8\ncan't change computer name");
  EXPECT_EQ(records[1]["text"].get<std::string>(), std::string(255, 'x'));
  EXPECT_EQ(records[2]["text"], "The computer name was changed from 100% to QZ\n");
}

TEST(EventReporter, WithoutASourceEveryReportIsDropped) {
  sim::TestDevice device("", R"({"faults":[{"call":"RegisterEventSourceA","error":5}]})");
  EventReporter events(device.sim().eventLog);
  events.Report(EVENTLOG_ERROR_TYPE, "lost");
  EXPECT_TRUE(device.Records("event").empty());
}

}  // namespace
}  // namespace vorn
