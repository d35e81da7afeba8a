// The job and the DST verbs under the write filters, run as the whole process.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "common/reg_access.h"
#include "tests/support/testing.h"
#include "tests/support/image_info_registry.h"

namespace vorn {
namespace {

using sim::ReadAll;

using sim::TestDevice;

// Registered in process mode, with both DST keys.
const std::string kRegistered =
    "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n\r\n";

std::string PatchKeys(const std::string& enable, const std::string& patchDst,
                      const std::string& vendorDst) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch]\r\n\"enableDSTPatch\"=dword:" + enable +
         "\r\n\"DST\"=dword:" + patchDst +
         "\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n\"DST\"=dword:" + vendorDst +
         "\r\n\r\n";
}

// Enough image information for the identity tasks to run if the gate let them.
const std::string kImage = sim::ImageInfoRegistry({"1", "KQ100", "1.0", "KQ"});

std::uint32_t Dword(TestDevice& device, const char* key, const char* name) {
  os::Platform p = device.platform();
  RegAccess reg(p.registry, p.process);
  std::uint32_t value = 0xDEAD;
  reg.ReadDword(os::RootKey::kLocalMachine, key, name, &value);
  return value;
}

TEST(DstRun, ActiveFilterWithPatchOffOnlyWarns) {
  for (const char* filter : {R"("fbwf": {"current": 1, "next": 0})", R"("ewf": [{"state": 0}])"}) {
    TestDevice device(kRegistered + kImage + PatchKeys("00000000", "00000001", "00000002"),
                      std::string("{") + filter +
                          R"(, "timeZone": {"id": 2}, "adapters": [{"description": "x",
                          "address": "00-01-05-12-AB-3C"}]})");
    const std::string registryBefore = ReadAll(device.folder() / "registry.reg");
    const std::string deviceBefore = ReadAll(device.folder() / "device.json");
    EXPECT_EQ(device.Run(), 0);
    const auto journal = device.device().JournalRecords();
    ASSERT_EQ(journal.size(), 1u) << filter;
    EXPECT_EQ(journal[0]["kind"], "event");
    EXPECT_EQ(journal[0]["type"], 2);
    EXPECT_EQ(journal[0]["text"], "An WriteFilter is active. Stopping execution.");
    EXPECT_EQ(ReadAll(device.folder() / "registry.reg"), registryBefore);
    EXPECT_EQ(ReadAll(device.folder() / "device.json"), deviceBefore);
  }
}

TEST(DstRun, ActiveFilterWithPatchOnCorrectsAndWatchesUntilQuit) {
  TestDevice device(kRegistered + kImage + PatchKeys("00000001", "00000001", "00000002"),
                    R"({"fbwf": {"current": 1}, "timeZone": {"id": 2, "daylightBias": -60},
                        "localTime": "2026-03-29T03:00:00.000",
                        "messages": [{"timeChange": 1}, {"message": 275}, {"quit": true},
                                     {"timeChange": 2}]})");
  EXPECT_EQ(device.Run(), 0);
  EXPECT_TRUE(device.Records("event").empty());
  EXPECT_TRUE(device.Records("idle").empty());
  const auto clock = device.Records("clockSet");
  ASSERT_EQ(clock.size(), 1u);
  EXPECT_EQ(clock[0]["to"], "2026-03-29T02:00:00.000");
  // Corrected to daylight, then the scripted change back to standard.
  std::vector<std::string> written;
  for (const auto& w : device.Records("registryWrite")) written.push_back(w["data"]);
  EXPECT_EQ(written, (std::vector<std::string>{"02000000", "02000000", "01000000", "01000000"}));
  EXPECT_EQ(Dword(device, "SOFTWARE\\DSTPatch", "DST"), 1u);
  EXPECT_EQ(Dword(device, "SOFTWARE\\Talvenor", "DST"), 1u);

  // The moved clock and the zone are kept on the device for its next run.
  device.Reload();
  EXPECT_EQ(sim::FormatLocalTime(device.device().state().localTimeMs),
            "2026-03-29T02:00:00.000");
  EXPECT_EQ(device.device().state().timeZoneId, 1u);
}

TEST(DstRun, NoFilterRunsTheJobWithoutTouchingTheClock) {
  TestDevice device(kRegistered + PatchKeys("00000001", "00000001", "00000002"),
                    R"({"timeZone": {"id": 2}, "messages": [{"quit": true}]})");
  device.Run();
  EXPECT_TRUE(device.Records("clockSet").empty());
  const auto events = device.Records("event");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["text"], "No imageinformations were found in the registry");
}

struct VerbCase {
  const char* verb;
  const char* warning;
};

TEST(DstVerbs, RefusedUnderAnActiveFilter) {
  for (VerbCase v : {VerbCase{"-enabledst", "A WriteFilter is activated! Please disable the "
                                            "WriteFilter before enabling DST-Patch"},
                     VerbCase{"/disabledst", "A WriteFilter is activated! Please disable the "
                                             "WriteFilter before disabling DST-Patch"}}) {
    TestDevice device(PatchKeys("00000000", "00000001", "00000001"),
                      R"({"ewf": [{"state": 1}, {"state": 0}], "timeZone": {"id": 2}})");
    EXPECT_EQ(device.Run(v.verb), 0);
    const auto boxes = device.Records("messageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["text"], v.warning);
    EXPECT_EQ(boxes[0]["caption"], "VORN Warning");
    EXPECT_EQ(boxes[0]["style"], 0x30);
    EXPECT_TRUE(device.Records("registryWrite").empty());
  }
}

TEST(DstVerbs, MissingPatchKeyShowsErrorZero) {
  for (const char* verb : {"-enabledst", "-disabledst"}) {
    TestDevice device("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n\r\n", R"({"timeZone": {"id": 1}})");
    EXPECT_EQ(device.Run(verb), 0);
    const auto boxes = device.Records("messageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["text"], "ERROR: 0");
    EXPECT_EQ(boxes[0]["caption"], "VORN Error");
    EXPECT_EQ(boxes[0]["style"], 0x10);
    EXPECT_TRUE(device.Records("event").empty());
  }
}

TEST(DstVerbs, SwitchOnAndOff) {
  TestDevice device(PatchKeys("00000000", "00000001", "00000001"), R"({"timeZone": {"id": 2}})");
  EXPECT_EQ(device.Run("-enabledst"), 1);
  auto boxes = device.Records("messageBox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]["text"], "DSTPatch was successfully enabled");
  EXPECT_EQ(boxes[0]["caption"], "VORN");
  EXPECT_EQ(boxes[0]["style"], 0);
  EXPECT_EQ(Dword(device, "SOFTWARE\\DSTPatch", "enableDSTPatch"), 1u);
  EXPECT_EQ(Dword(device, "SOFTWARE\\DSTPatch", "DST"), 2u);
  EXPECT_EQ(Dword(device, "SOFTWARE\\Talvenor", "DST"), 2u);
  EXPECT_TRUE(device.Records("clockSet").empty());

  EXPECT_EQ(device.Run("-disabledst"), 1);
  boxes = device.Records("messageBox");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1]["text"], "DSTPatch was successfully disabled");
  EXPECT_EQ(Dword(device, "SOFTWARE\\DSTPatch", "enableDSTPatch"), 0u);
  EXPECT_EQ(Dword(device, "SOFTWARE\\DSTPatch", "DST"), 2u);
}

}  // namespace
}  // namespace vorn
