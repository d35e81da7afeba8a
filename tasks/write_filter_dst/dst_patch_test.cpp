#include "tasks/write_filter_dst/dst_patch.h"

#include <optional>

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

using sim::TestDevice;
using Value = std::optional<std::uint32_t>;

constexpr std::int64_t kUnitsPerMs = 10000;

std::string Dword(const char* name, Value v) {
  if (!v) return "";
  char text[80];
  std::snprintf(text, sizeof text, "\"%s\"=dword:%08x\r\n", name, *v);
  return text;
}

// Both keys present; each value only when given.
std::string Keys(Value enable, Value patchDst, Value vendorDst) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch]\r\n" + Dword("enableDSTPatch", enable) +
         Dword("DST", patchDst) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n" +
         Dword("DST", vendorDst) + "\r\n";
}

std::string Device(std::uint32_t tzId, const std::string& localTime = "2026-03-29T03:00:00.000",
                   const std::string& extra = "") {
  return R"({"timeZone": {"id": )" + std::to_string(tzId) +
         R"(, "daylightBias": -60}, "localTime": ")" + localTime + "\"" + extra + "}";
}

Value Read(TestDevice& device, const char* key, const char* name) {
  os::Platform p = device.platform();
  RegAccess reg(p.registry, p.process);
  std::uint32_t value = 0;
  if (!reg.ReadDword(os::RootKey::kLocalMachine, key, name, &value)) return std::nullopt;
  return value;
}

// The 64-bit time value of a journal time text, through the simulated clock.
std::int64_t Units(const std::string& text) {
  std::int64_t ms = 0;
  EXPECT_TRUE(sim::ParseLocalTime(text, &ms)) << text;
  return ms * kUnitsPerMs;
}

struct Row {
  std::uint32_t tzId;
  Value patchDst;
  Value vendorDst;
  int shiftMinutes;  // how far the clock moves, with a daylight bias of -60
  bool records;
};

class CorrectAtBootRow : public ::testing::TestWithParam<Row> {};

TEST_P(CorrectAtBootRow, MovesTheClockAndRecordsAsTheKeySays) {
  const Row row = GetParam();
  TestDevice device(Keys(1, row.patchDst, row.vendorDst), Device(row.tzId));
  DstPatch patch(device.platform());
  patch.Load();
  EXPECT_EQ(patch.CorrectAtBoot(), 0);

  const auto clock = device.Records("clockSet");
  if (row.shiftMinutes == 0) {
    EXPECT_TRUE(clock.empty());
  } else {
    ASSERT_EQ(clock.size(), 1u);
    EXPECT_EQ(clock[0]["ok"], true);
    EXPECT_EQ(Units(clock[0]["to"]) - Units(clock[0]["from"]),
              static_cast<std::int64_t>(row.shiftMinutes) * 600000000);
  }
  if (row.records) {
    EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "DST"), row.tzId);
    EXPECT_EQ(Read(device, "SOFTWARE\\Talvenor", "DST"), row.tzId);
    EXPECT_EQ(patch.patchDst, row.tzId);
    EXPECT_EQ(patch.vendorDst, row.tzId);
    // The clock is moved before the state is recorded.
    if (row.shiftMinutes != 0) {
      const auto calls = device.device().calls();
      auto set = std::find(calls.begin(), calls.end(), "SetLocalTime");
      EXPECT_EQ(std::find(set, calls.end(), "RegSetValueExA") != calls.end(), true);
      EXPECT_EQ(std::find(calls.begin(), set, "RegSetValueExA"), set);
    }
  } else {
    EXPECT_TRUE(device.Records("registryWrite").empty());
    EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "DST"), row.patchDst);
    EXPECT_EQ(Read(device, "SOFTWARE\\Talvenor", "DST"), row.vendorDst);
  }
}

INSTANTIATE_TEST_SUITE_P(
    KeyTable, CorrectAtBootRow,
    ::testing::Values(
        // Standard and daylight records only.
        Row{1, 1, 1, 0, false}, Row{1, 1, 2, -60, true}, Row{1, 2, 1, +60, true},
        Row{1, 2, 2, 0, true}, Row{2, 1, 1, 0, true}, Row{2, 1, 2, -60, true},
        Row{2, 2, 1, +60, true}, Row{2, 2, 2, 0, false},
        // Absent records read 0 and take the same rule: k = 8 is a reverse
        // shift, which with daylight in effect moves the clock forward.
        Row{2, 1, std::nullopt, +60, true}, Row{1, std::nullopt, std::nullopt, 0, false},
        Row{2, std::nullopt, 1, 0, false},
        // A zone without daylight saving reports 0.
        Row{0, 2, 2, +60, true}, Row{0, 2, 0, -60, true}));

TEST(DstPatch, ShiftBackAcrossMidnightGivesThePreviousDay) {
  TestDevice device(Keys(1, 1, 2), Device(2, "2026-03-29T00:30:00.000"));
  DstPatch patch(device.platform());
  patch.Load();
  patch.CorrectAtBoot();
  const auto clock = device.Records("clockSet");
  ASSERT_EQ(clock.size(), 1u);
  EXPECT_EQ(clock[0]["from"], "2026-03-29T00:30:00.000");
  EXPECT_EQ(clock[0]["to"], "2026-03-28T23:30:00.000");
  os::SystemTime now;
  device.platform().clock.GetLocalTime(&now);
  EXPECT_EQ(now.day, 28);
  EXPECT_EQ(now.hour, 23);
  EXPECT_EQ(now.dayOfWeek, 6);  // a Saturday
}

TEST(DstPatch, BiasIsScaledIn64Bits) {
  // 3000 minutes would overflow 32 bits once scaled to 100-ns units.
  TestDevice device(Keys(1, 1, 2), R"({"timeZone": {"id": 2, "daylightBias": -3000},
      "localTime": "2026-03-29T00:00:00.000"})");
  DstPatch patch(device.platform());
  patch.Load();
  patch.CorrectAtBoot();
  ASSERT_EQ(device.Records("clockSet").size(), 1u);
  EXPECT_EQ(device.Records("clockSet")[0]["to"], "2026-03-26T22:00:00.000");
}

TEST(DstPatch, OffPatchAnswers101AndTouchesNothing) {
  for (Value enable : {Value(), Value(0)}) {
    TestDevice device(Keys(enable, 1, 2), Device(2));
    DstPatch patch(device.platform());
    patch.Load();
    EXPECT_EQ(patch.enabled, 0u);
    EXPECT_EQ(patch.CorrectAtBoot(), 101);
    EXPECT_TRUE(device.Records("clockSet").empty());
    EXPECT_TRUE(device.Records("registryWrite").empty());
  }
  TestDevice any(Keys(7, 1, 1), Device(2));
  DstPatch patch(any.platform());
  patch.Load();
  EXPECT_EQ(patch.CorrectAtBoot(), 0);  // any nonzero flag means on
}

TEST(DstPatch, LoadReadsFlagZoneAndBothRecords) {
  TestDevice device(Keys(1, 2, 1), R"({"timeZone": {"id": 2, "daylightBias": -30}})");
  DstPatch patch(device.platform());
  patch.Load();
  EXPECT_EQ(patch.enabled, 1u);
  EXPECT_EQ(patch.tzId, 2u);
  EXPECT_EQ(patch.tzInfo.daylightBias, -30);
  EXPECT_EQ(patch.patchDst, 2u);
  EXPECT_EQ(patch.vendorDst, 1u);

  TestDevice none("", "{}");
  DstPatch empty(none.platform());
  empty.Load();
  EXPECT_EQ(empty.enabled, 0u);
  EXPECT_EQ(empty.patchDst, 0u);
  EXPECT_EQ(empty.vendorDst, 0u);
}

TEST(DstPatch, ValuesOfAnotherTypeReadAsAbsent) {
  TestDevice device(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch]\r\n\"enableDSTPatch\"=\"1\"\r\n"
      "\"DST\"=hex:02,00,00,00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n"
      "\"DST\"=hex(b):02,00,00,00,00,00,00,00\r\n\r\n",
      Device(2));
  DstPatch patch(device.platform());
  EXPECT_NO_THROW(patch.Load());
  EXPECT_EQ(patch.enabled, 0u);
  EXPECT_EQ(patch.patchDst, 0u);
  EXPECT_EQ(patch.vendorDst, 0u);
  EXPECT_EQ(patch.CorrectAtBoot(), 101);
}

TEST(DstPatch, FailedConversionLeavesTheClockAlone) {
  for (const char* call : {"SystemTimeToFileTime", "FileTimeToSystemTime"}) {
    TestDevice device(Keys(1, 1, 2),
                      Device(2, "2026-03-29T03:00:00.000",
                             std::string(R"(, "faults": [{"call": ")") + call +
                                 R"(", "error": 87}])"));
    DstPatch patch(device.platform());
    patch.Load();
    EXPECT_EQ(patch.CorrectAtBoot(), 0);
    EXPECT_TRUE(device.Records("clockSet").empty()) << call;
    EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "DST"), 2u) << call;
  }
  // Shifting back from the first hour of the calendar wraps the 64-bit
  // value beyond its range: no clock change either.
  TestDevice early(Keys(1, 1, 2), Device(2, "1601-01-01T00:30:00.000"));
  DstPatch patch(early.platform());
  patch.Load();
  patch.CorrectAtBoot();
  EXPECT_TRUE(early.Records("clockSet").empty());
}

TEST(DstPatch, RefusedClockSetIsJournalledAndStateStillRecorded) {
  TestDevice device(Keys(1, 1, 2), Device(2, "2026-03-29T03:00:00.000",
                                          R"(, "faults": [{"call": "SetLocalTime", "error": 1314}])"));
  DstPatch patch(device.platform());
  patch.Load();
  patch.CorrectAtBoot();
  const auto clock = device.Records("clockSet");
  ASSERT_EQ(clock.size(), 1u);
  EXPECT_EQ(clock[0]["ok"], false);
  EXPECT_EQ(clock[0]["to"], "2026-03-29T02:00:00.000");
  EXPECT_EQ(sim::FormatLocalTime(device.device().state().localTimeMs), "2026-03-29T03:00:00.000");
  EXPECT_EQ(Read(device, "SOFTWARE\\Talvenor", "DST"), 2u);
}

TEST(DstPatch, EnableRecordsTheStateThenSetsTheFlag) {
  TestDevice device(Keys(std::nullopt, 1, 1), Device(2));
  DstPatch patch(device.platform());
  patch.Load();
  EXPECT_EQ(patch.Enable(), 1);
  EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "DST"), 2u);
  EXPECT_EQ(Read(device, "SOFTWARE\\Talvenor", "DST"), 2u);
  EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "enableDSTPatch"), 1u);
  const auto writes = device.Records("registryWrite");
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[2]["value"], "enableDSTPatch");

  EXPECT_EQ(patch.Disable(), 1);
  EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "enableDSTPatch"), 0u);
  EXPECT_EQ(Read(device, "SOFTWARE\\DSTPatch", "DST"), 2u);  // kept
}

TEST(DstPatch, MissingPatchKeyFailsBothSwitchesAndCreatesNothing) {
  TestDevice device("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n\r\n", Device(2));
  DstPatch patch(device.platform());
  patch.Load();
  EXPECT_EQ(patch.Enable(), 0);
  EXPECT_EQ(patch.Disable(), 0);
  // The vendor's record is still written where its key exists.
  EXPECT_EQ(Read(device, "SOFTWARE\\Talvenor", "DST"), 2u);
  const auto writes = device.Records("registryWrite");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0]["op"], "setValue");
}

TEST(DstPatch, WatchFollowsChangesOfStateUntilQuit) {
  TestDevice device(Keys(1, 1, 1), Device(1, "2026-03-29T03:00:00.000", R"(, "messages": [
      {"timeChange": 1}, {"message": 15}, {"timeChange": 2}, {"timeChange": 2},
      {"timeChange": 1}, {"quit": true}, {"timeChange": 2}])"));
  DstPatch patch(device.platform());
  patch.Load();
  EXPECT_EQ(patch.WatchTimeChanges(), 0);
  EXPECT_EQ(patch.tzId, 1u);
  std::vector<std::string> written;
  for (const auto& w : device.Records("registryWrite")) {
    written.push_back(w["key"].get<std::string>() + "=" + w["data"].get<std::string>());
  }
  EXPECT_EQ(written, (std::vector<std::string>{
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch=02000000",
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor=02000000",
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch=01000000",
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor=01000000"}));
  EXPECT_EQ(device.Records("timeZoneChange").size(), 4u);  // the last is never read
  EXPECT_TRUE(device.Records("idle").empty());
  EXPECT_TRUE(device.Records("clockSet").empty());

  // The window exists before the first message is taken.
  const auto calls = device.device().calls();
  auto created = std::find(calls.begin(), calls.end(), "CreateWindowExA");
  EXPECT_LT(std::find(calls.begin(), calls.end(), "RegisterClassExA"), created);
  EXPECT_LT(created, std::find(calls.begin(), calls.end(), "GetMessageA"));
}

TEST(DstPatch, UnchangedStateOnTimeChangeWritesNothing) {
  // Only the patch's record is compared: the vendor's differing one is not.
  TestDevice device(Keys(1, 2, 1), Device(2, "2026-03-29T03:00:00.000",
                                          R"(, "messages": [{"timeChange": 2}, {"quit": true}])"));
  DstPatch patch(device.platform());
  patch.Load();
  patch.tzId = 0;  // refreshed by the notification
  EXPECT_EQ(patch.WatchTimeChanges(), 0);
  EXPECT_EQ(patch.tzId, 2u);
  EXPECT_TRUE(device.Records("registryWrite").empty());
}

// Without the window the broadcast reaches nothing of this thread: the change
// is missed, and the watch still runs until it is told to quit.
TEST(DstPatch, WindowFailureDoesNotStopTheWatch) {
  for (const char* call : {"RegisterClassExA", "CreateWindowExA"}) {
    TestDevice device(Keys(1, 1, 1),
                      Device(1, "2026-03-29T03:00:00.000",
                             std::string(R"(, "messages": [{"timeChange": 2}, {"quit": true}],)"
                                         R"( "faults": [{"call": ")") +
                                 call + R"(", "error": 8}])"));
    DstPatch patch(device.platform());
    EXPECT_EQ(patch.CreateTimeChangeWindow(), 0) << call;
    TestDevice watched(Keys(1, 1, 1),
                       Device(1, "2026-03-29T03:00:00.000",
                              std::string(R"(, "messages": [{"timeChange": 2}, {"quit": true}],)"
                                          R"( "faults": [{"call": ")") +
                                  call + R"(", "error": 8}])"));
    DstPatch watching(watched.platform());
    watching.Load();
    EXPECT_EQ(watching.WatchTimeChanges(), 0);
    EXPECT_EQ(watched.Records("timeZoneChange").size(), 1u) << call;
    EXPECT_TRUE(watched.Records("idle").empty()) << call << ": the quit ended it";
    EXPECT_EQ(Read(watched, "SOFTWARE\\DSTPatch", "DST"), 1u) << call;
  }
  TestDevice fine("", "{}");
  DstPatch patch(fine.platform());
  EXPECT_EQ(patch.CreateTimeChangeWindow(), 1);
  EXPECT_EQ(patch.CreateTimeChangeWindow(), 0);  // the class exists already
}

TEST(DstPatch, WatchEndsWhenNothingMoreCanArrive) {
  TestDevice device(Keys(1, 1, 1), Device(1));
  DstPatch patch(device.platform());
  patch.Load();
  EXPECT_EQ(patch.WatchTimeChanges(), 0);
  EXPECT_EQ(device.Records("idle").size(), 1u);
}

}  // namespace
}  // namespace vorn
