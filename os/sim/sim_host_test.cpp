#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace sim {
namespace {

// The COM security setup opens the process token for the descriptor's
// owner and group, as on Windows: a fault of OpenProcessToken's first call
// fails the setup and the restart's own call is the second one.
TEST(SimCom, SecuritySetupOpensTheProcessTokenFirst) {
  TestDevice device("", R"({"faults": [{"call": "OpenProcessToken", "occurrence": 1,
                                        "error": 5}]})");
  EXPECT_EQ(device.sim().com.InitializeSecurity(), os::HResultFromWin32(os::Status{5}));
  EXPECT_NE(device.sim().power.OpenProcessToken(), nullptr);
  // The setup was not made: a second attempt is not too late.
  EXPECT_EQ(device.sim().com.InitializeSecurity(), os::kSOk);
}

}  // namespace
}  // namespace sim
