// device.json as a caller sees it: what each section puts into the device,
// and the message for each kind of bad input. The messages are part of the
// device folder's contract: the bad-input runs and people fixing a folder
// read them.
#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace sim {
namespace {

// Loads a folder whose device.json is `json`; the error, empty when it loads.
std::string LoadError(const std::string& json, Device* device) {
  TestDevice folder;
  folder.Write("device.json", json);
  std::string error;
  if (device->Load(folder.folder(), &error)) return "";
  EXPECT_FALSE(error.empty()) << json;
  return error;
}

TEST(DeviceJson, EverySectionFillsItsPartOfTheDevice) {
  Device device;
  ASSERT_EQ(LoadError(R"({
    "imagePath": "C:\\VORN.EXE", "startedBy": "scm",
    "hostName": "OLD", "pendingHostName": "NEW",
    "adapters": [{"description": "first", "address": "00:01:05:12:ab:3c"},
                 {"description": "none", "address": ""}],
    "adaptersError": 31,
    "fbwf": {"status": 5, "current": 1, "next": 2},
    "ewf": [{"state": 1}, {"openFails": true}, {"configFails": 5, "closeFails": null}],
    "timeZone": {"id": 2, "daylightBias": -30},
    "localTime": "2026-03-29T02:59:59",
    "shutdownPrivilege": false,
    "restartScheduled": "restart", "shutdownInProgress": "other",
    "upnp": {"library": false, "unregisterResult": null, "registerResult": 2147500037,
             "tool": false, "toolStartable": false, "toolRunsSeconds": null},
    "messages": [{"timeChange": 2}, {"message": 1024}, {"quit": true}],
    "serviceControls": [{"code": 1}, {"at": "inWatch", "code": 128}],
    "protectedKeys": ["HKEY_LOCAL_MACHINE\\SOFTWARE"],
    "faults": [{"call": "RegOpenKeyExA", "error": 5}, {"call": "X", "occurrence": 2, "error": 6}],
    "powerCut": {"after": 3, "registry": true},
    "strings": {"101": "text", "65535": "last"}
  })", &device), "");
  const DeviceState& s = device.state();
  EXPECT_EQ(s.imagePath, "C:\\VORN.EXE");
  EXPECT_EQ(s.startedBy, "scm");
  EXPECT_EQ(s.hostName, "OLD");
  EXPECT_EQ(s.pendingHostName, "NEW");
  ASSERT_EQ(s.adapters.size(), 2u);
  EXPECT_EQ(s.adapters[0].description, "first");
  EXPECT_EQ(s.adapters[0].address, (std::vector<std::uint8_t>{0, 1, 5, 0x12, 0xab, 0x3c}));
  EXPECT_TRUE(s.adapters[1].address.empty());
  EXPECT_EQ(s.adaptersError, 31u);
  EXPECT_EQ(s.fbwfStatus, 5u);
  EXPECT_EQ(s.fbwfCurrent, 1u);
  EXPECT_EQ(s.fbwfNext, 2u);
  ASSERT_TRUE(s.ewf);
  ASSERT_EQ(s.ewf->size(), 3u);
  EXPECT_EQ((*s.ewf)[0].state, 1u);
  EXPECT_TRUE((*s.ewf)[1].openFails);
  EXPECT_EQ((*s.ewf)[2].configFails, 5u);
  EXPECT_FALSE((*s.ewf)[2].closeFails);
  EXPECT_EQ(s.timeZoneId, 2u);
  EXPECT_EQ(s.daylightBias, -30);
  EXPECT_EQ(FormatLocalTime(s.localTimeMs), "2026-03-29T02:59:59.000");
  EXPECT_FALSE(s.shutdownPrivilege);
  EXPECT_EQ(s.restartScheduled, "restart");
  EXPECT_EQ(s.shutdownInProgress, "other");
  EXPECT_FALSE(s.upnp.library);
  EXPECT_FALSE(s.upnp.unregisterResult);
  EXPECT_EQ(s.upnp.registerResult, static_cast<std::int32_t>(0x80004005));
  EXPECT_FALSE(s.upnp.tool);
  EXPECT_FALSE(s.upnp.toolStartable);
  EXPECT_FALSE(s.upnp.toolRunsSeconds);
  ASSERT_EQ(s.messages.size(), 3u);
  EXPECT_EQ(s.messages[0].kind, SimMessage::kTimeChange);
  EXPECT_EQ(s.messages[0].value, 2u);
  EXPECT_EQ(s.messages[1].kind, SimMessage::kMessage);
  EXPECT_EQ(s.messages[1].value, 1024u);
  EXPECT_EQ(s.messages[2].kind, SimMessage::kQuit);
  ASSERT_EQ(s.serviceControls.size(), 2u);
  EXPECT_EQ(s.serviceControls[0].at, "duringJob");
  EXPECT_EQ(s.serviceControls[1].at, "inWatch");
  EXPECT_EQ(s.serviceControls[1].code, 128u);
  EXPECT_EQ(s.protectedKeys, std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE"});
  ASSERT_EQ(s.faults.size(), 2u);
  EXPECT_EQ(s.faults[0].occurrence, 0u);
  EXPECT_EQ(s.faults[1].call, "X");
  EXPECT_EQ(s.faults[1].occurrence, 2u);
  EXPECT_EQ(s.faults[1].error, 6u);
  EXPECT_EQ(s.powerCutAfter, 3u);
  EXPECT_TRUE(s.powerCutCountsRegistry);
  // The file's strings join the built-in table; they do not replace it.
  EXPECT_EQ(s.strings, (std::map<std::uint32_t, std::string>{
                           {100, "VORN"}, {101, "text"}, {65535, "last"}}));
}

TEST(DeviceJson, AMissingFileOrSectionLeavesTheDefaults) {
  TestDevice folder;
  std::filesystem::remove(folder.folder() / "device.json");
  Device device;
  std::string error;
  ASSERT_TRUE(device.Load(folder.folder(), &error)) << error;
  const DeviceState& s = device.state();
  EXPECT_EQ(s.imagePath, "C:\\WINDOWS\\system32\\VORN.EXE");
  EXPECT_EQ(s.startedBy, "hand");
  EXPECT_EQ(s.hostName, "QZ_IPC");
  EXPECT_TRUE(s.adapters.empty());
  EXPECT_FALSE(s.ewf);
  EXPECT_EQ(FormatLocalTime(s.localTimeMs), "2026-01-15T08:00:00.000");
  EXPECT_TRUE(s.upnp.library);
  EXPECT_EQ(s.upnp.toolRunsSeconds, 2.0);
  EXPECT_FALSE(s.powerCutAfter);
  EXPECT_EQ(s.strings.at(100), "VORN");
}

// Each refusal names the file and says what is wrong, in the words the
// folder's author can act on.
TEST(DeviceJson, BadInputIsRefusedWithItsMessage) {
  const struct {
    const char* json;
    const char* message;
  } cases[] = {
      {"[1]", "device.json is not a JSON object"},
      {"{", "device.json is not a JSON object"},
      {R"({"startedBy": "cron"})", R"(device.json: startedBy must be "hand" or "scm")"},
      {R"({"adapters": [{"address": "00-01-0"}]})",
       R"(device.json: adapter address "00-01-0" is not 0 to 8 hexadecimal bytes )"
       "like 00-01-05-12-AB-3C"},
      {R"({"adapters": [{"address": "00-01-02-03-04-05-06-07-08"}]})",
       R"(device.json: adapter address "00-01-02-03-04-05-06-07-08" is not 0 to 8 )"
       "hexadecimal bytes like 00-01-05-12-AB-3C"},
      {R"({"localTime": "2026-02-30T08:00:00.000"})",
       R"(device.json: localTime "2026-02-30T08:00:00.000" is not like 2026-01-15T08:00:00.000)"},
      {R"({"serviceControls": [{"at": "later", "code": 1}]})",
       R"(device.json: serviceControls "at" must be duringJob or inWatch)"},
      {R"({"timeZone": {"daylightBias": 2147483648}})",
       R"(device.json: "daylightBias" must be a 32-bit whole number, not 2147483648)"},
      {R"({"fbwf": {"current": -1}})",
       R"(device.json: "current" must be a whole number from 0 to 4294967295, not -1)"},
      {R"({"faults": [{"call": "X", "error": 1.5}]})",
       R"(device.json: "error" must be a whole number from 0 to 4294967295, not 1.5)"},
      {R"({"upnp": {"toolRunsSeconds": -1.5}})",
       R"(device.json: "toolRunsSeconds" must be a number of seconds, not -1.5)"},
      {R"({"upnp": {"registerResult": -2147483649}})",
       R"(device.json: "registerResult" must be a 32-bit whole number, not -2147483649)"},
  };
  for (const auto& c : cases) {
    Device device;
    EXPECT_EQ(LoadError(c.json, &device), c.message) << c.json;
  }
}

// A value of the wrong JSON type is refused in the JSON library's own words,
// behind the file's name: one case a section.
TEST(DeviceJson, AValueOfTheWrongTypeIsRefusedNamingTheFile) {
  const std::string mustBe = "device.json: [json.exception.type_error.302] type must be ";
  const std::string notFound = "device.json: [json.exception.out_of_range.403] key ";
  const struct {
    const char* json;
    std::string message;
  } cases[] = {
      {R"({"imagePath": 1})", mustBe + "string, but is number"},
      {R"({"hostName": 5})", mustBe + "string, but is number"},
      {R"({"pendingHostName": true})", mustBe + "string, but is boolean"},
      {R"({"adapters": [1]})",
       "device.json: [json.exception.type_error.306] cannot use value() with number"},
      {R"({"adaptersError": "x"})", mustBe + "number, but is string"},
      {R"({"fbwf": null})",
       "device.json: [json.exception.type_error.306] cannot use value() with null"},
      {R"({"ewf": [{"state": "on"}]})", mustBe + "number, but is string"},
      {R"({"timeZone": {"id": "x"}})", mustBe + "number, but is string"},
      {R"({"localTime": 5})", mustBe + "string, but is number"},
      {R"({"shutdownPrivilege": "yes"})", mustBe + "boolean, but is string"},
      {R"({"restartScheduled": 1})", mustBe + "string, but is number"},
      {R"({"shutdownInProgress": 1})", mustBe + "string, but is number"},
      {R"({"upnp": {"registerResult": "x"}})", mustBe + "number, but is string"},
      {R"({"messages": [{"other": 1}]})", notFound + "'message' not found"},
      {R"({"serviceControls": [{"at": "inWatch"}]})", notFound + "'code' not found"},
      {R"({"protectedKeys": [1]})", mustBe + "string, but is number"},
      {R"({"faults": [{"call": "X"}]})", notFound + "'error' not found"},
      {R"({"powerCut": {}})", notFound + "'after' not found"},
      {R"({"strings": {"abc": "x"}})",
       "device.json: string id \"abc\" is not a whole number from 0 to 65535"},
      // Would wrap to 100 when read into 32 bits.
      {R"({"strings": {"4294967396": "x"}})",
       "device.json: string id \"4294967396\" is not a whole number from 0 to 65535"},
      {R"({"strings": {"65536": "x"}})",
       "device.json: string id \"65536\" is not a whole number from 0 to 65535"},
      {R"({"strings": {"-1": "x"}})",
       "device.json: string id \"-1\" is not a whole number from 0 to 65535"},
  };
  for (const auto& c : cases) {
    Device device;
    EXPECT_EQ(LoadError(c.json, &device), c.message) << c.json;
  }
}

}  // namespace
}  // namespace sim
