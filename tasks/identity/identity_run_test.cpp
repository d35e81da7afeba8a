// The identity tasks inside whole runs of the process on a first-boot
// device, and the run after the restart it asked for.
#include <gtest/gtest.h>

#include "tests/support/testing.h"
#include "tests/support/image_info_registry.h"

namespace vorn {
namespace {

// Registered to run as a plain process (no "LocalService"). The platform is
// outside the "KQ" family, so the display task is skipped and only the
// identity tasks decide the summary.
const std::string kRegistry =
    "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n"
    "@=\"VORN\"\r\n\r\n" +
    sim::ImageInfoRegistry({.platform = "XQ5020"}) +
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\r\n";

const char kDevice[] = R"({"hostName": "QZ_IPC",
  "adapters": [{"description": "Intel(R) PRO/100 VE Network Connection",
                "address": "00-01-05-12-AB-3C"}]})";

// Runs the process and returns the records that run journalled.
std::vector<sim::Json> RunOnce(sim::TestDevice& d) {
  const std::size_t start = d.device().JournalRecords().size();
  d.Run();
  std::vector<sim::Json> all = d.device().JournalRecords();
  return {all.begin() + static_cast<std::ptrdiff_t>(start), all.end()};
}

// "event: text", "restartRequest: message", "computerNameSet: name".
std::vector<std::string> Outline(const std::vector<sim::Json>& records) {
  std::vector<std::string> out;
  for (const auto& r : records) {
    const std::string kind = r["kind"];
    if (kind == "event") out.push_back("event: " + r["text"].get<std::string>());
    if (kind == "restartRequest") out.push_back("restart: " + r["message"].get<std::string>());
    if (kind == "computerNameSet") out.push_back("name: " + r["name"].get<std::string>());
  }
  return out;
}

std::size_t CountKind(const std::vector<sim::Json>& records, const std::string& kind) {
  std::size_t n = 0;
  for (const auto& r : records) n += r["kind"] == kind;
  return n;
}

TEST(IdentityRun, FirstBootThenTheRunAfterTheRestart) {
  sim::TestDevice d(kRegistry, kDevice);
  std::vector<std::string> first = Outline(RunOnce(d));
  ASSERT_EQ(first.size(), 6u) << ::testing::PrintToString(first);
  EXPECT_EQ(first[0], "name: KQ5_12AB3C");
  EXPECT_EQ(first[1], "event: The computer name was changed from QZ_IPC to KQ5_12AB3C\n");
  EXPECT_EQ(first[2], "event: UPnP successfully registered");
  EXPECT_EQ(first[3], "restart: The Computername was changed. Machine has to be restarted.");
  EXPECT_EQ(first[4], "event: Setting OlmNetId = 05 12 AB 3C 01 01");
  EXPECT_EQ(first[5], "event: VORN completed successfully");
  EXPECT_EQ(d.device().state().pendingHostName, "KQ5_12AB3C");
  EXPECT_EQ(d.device().state().hostName, "QZ_IPC");  // not before the restart

  std::vector<sim::Json> second = RunOnce(d);
  EXPECT_EQ(d.device().state().hostName, "KQ5_12AB3C");
  EXPECT_EQ(CountKind(second, "registryWrite"), 0u);
  EXPECT_EQ(CountKind(second, "computerNameSet"), 0u);
  EXPECT_EQ(CountKind(second, "restartRequest"), 0u);
  EXPECT_EQ(CountKind(second, "libraryCall"), 0u);
  EXPECT_EQ(Outline(second),
            std::vector<std::string>{"event: VORN completed successfully"});
}

}  // namespace
}  // namespace vorn
