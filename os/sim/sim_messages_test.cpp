// The simulated thread queue delivers as Windows does: the time-change
// broadcast is sent to the thread's windows, and GetMessage hands out only
// what was posted.
#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace sim {
namespace {

constexpr char kScript[] =
    R"({"messages": [{"timeChange": 2}, {"message": 1024}, {"timeChange": 1}, {"quit": true}]})";

// The messages GetMessage returns until the quit.
std::vector<std::uint32_t> Taken(TestDevice& device) {
  std::vector<std::uint32_t> taken;
  for (;;) {
    const std::uint32_t message = device.platform().process.GetMessage();
    if (message == os::kWmQuit) return taken;
    taken.push_back(message);
  }
}

TEST(SimMessages, ABroadcastComesOutOfTheQueueOnlyThroughAPostingWindow) {
  TestDevice posting("", kScript);
  os::Process& process = posting.platform().process;
  ASSERT_TRUE(process.RegisterWindowClass("TimeChange", os::kWmTimeChange));
  ASSERT_TRUE(process.CreateHiddenWindow("TimeChange"));
  EXPECT_EQ(Taken(posting),
            (std::vector<std::uint32_t>{os::kWmTimeChange, 1024, os::kWmTimeChange}));

  // DefWindowProcA takes the sent message and drops it; posted ones still come.
  TestDevice plain("", kScript);
  ASSERT_TRUE(plain.platform().process.RegisterWindowClass("TimeChange", 0));
  ASSERT_TRUE(plain.platform().process.CreateHiddenWindow("TimeChange"));
  EXPECT_EQ(Taken(plain), (std::vector<std::uint32_t>{1024}));

  // A class without a window receives nothing.
  TestDevice windowless("", kScript);
  ASSERT_TRUE(windowless.platform().process.RegisterWindowClass("TimeChange", os::kWmTimeChange));
  EXPECT_EQ(Taken(windowless), (std::vector<std::uint32_t>{1024}));
  EXPECT_EQ(windowless.Records("timeZoneChange").size(), 2u) << "the zone changed all the same";
  EXPECT_EQ(windowless.device().state().timeZoneId, 1u);
}

TEST(SimMessages, AFailingGetMessageEndsTheWaitAsAQuit) {
  TestDevice device("", R"({"messages": [{"message": 1024}],
                            "faults": [{"call": "GetMessageA", "occurrence": 1, "error": 6}]})");
  EXPECT_EQ(device.platform().process.GetMessage(), os::kWmQuit);
  EXPECT_EQ(device.platform().process.GetMessage(), 1024u) << "the next call works again";
}

}  // namespace
}  // namespace sim
