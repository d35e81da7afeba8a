#include "tasks/identity/upnp.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tasks/identity/id_check.h"
#include "tests/support/identity_testing.h"
#include "tests/support/image_info_registry.h"
#include "tasks/identity/restart.h"

namespace vorn {
namespace {

using testing::DeviceJson;
using testing::IdentityDevice;
using testing::kIntel3C;
using Bytes = std::vector<std::uint8_t>;

constexpr char kUpnpRestart[] = "The Computer has to be restarted, because of (re)registering UPNP.";
constexpr char kIpcKey[] = "SOFTWARE\\Talvenor\\IPC";

// A REG_SZ line as regedit writes a string stored without its terminator:
// the UTF-16LE bytes.
std::string Unterminated(const std::string& name, const std::string& text) {
  std::string line = "\"" + name + "\"=hex(1):";
  char byte[8];
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%s%02x,00", i ? "," : "", static_cast<unsigned char>(text[i]));
    line += byte;
  }
  return line + "\r\n";
}

// The identity of KQ5_12AB3C / 00-01-05-12-AB-3C as the last registration
// stored it.
const std::string kStored = sim::ImageInfoKey(Unterminated("LastComputerName", "KQ5_12AB3C") +
                                   "\"FirstMACId\"=hex:00,01,05,12,ab,3c\r\n");

std::string Upnp(const std::string& fields) { return R"("upnp": {)" + fields + "}"; }

TEST(CheckUpnp, FirstBootRegistersStoresTheIdentityAndRequestsARestart) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C));
  IDCheck& id = d.Make();
  EXPECT_TRUE(id.CheckUpnp());
  EXPECT_EQ(d.Events(), std::vector<std::string>{"UPnP successfully registered"});

  auto name = d.Value(kIpcKey, "LastComputerName");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->first, os::kRegSz);
  // Counted without its terminator; RegSetValueExA adds the one that follows.
  EXPECT_EQ(std::string(name->second.begin(), name->second.end()), std::string("KQ5_12AB3C", 11));
  auto mac = d.Value(kIpcKey, "FirstMACId");
  ASSERT_TRUE(mac);
  EXPECT_EQ(mac->first, os::kRegBinary);
  EXPECT_EQ(mac->second, (Bytes{0x00, 0x01, 0x05, 0x12, 0xAB, 0x3C}));

  auto calls = d.device().Records("libraryCall");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0]["entry"], "DllUnregisterServer");
  EXPECT_EQ(calls[1]["entry"], "DllRegisterServer");
  auto started = d.device().Records("processStart");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0]["commandLine"], kUpnpToolPath);
  EXPECT_EQ(started[0]["startupFlags"], os::kStartfForceOnFeedback);
  EXPECT_EQ(started[0]["waitedMs"], 2000);  // the tool's default run time

  auto restarts = d.device().Records("restartRequest");
  ASSERT_EQ(restarts.size(), 1u);
  EXPECT_EQ(restarts[0]["message"], kUpnpRestart);
  EXPECT_EQ(restarts[0]["ok"], true);
  EXPECT_TRUE(d.upnp().library && d.upnp().registerServer && d.upnp().unregisterServer);
}

TEST(CheckUpnp, AnUnchangedDeviceDoesNothing) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C), kStored);
  EXPECT_TRUE(d.Make().CheckUpnp());
  EXPECT_TRUE(d.Events().empty());
  EXPECT_EQ(d.Count("registryWrite"), 0u);
  EXPECT_EQ(d.Count("restartRequest"), 0u);
  EXPECT_EQ(d.Count("libraryCall"), 0u);
}

TEST(CheckUpnp, ANameOrAddressDifferenceReRegisters) {
  const std::pair<const char*, std::string> cases[] = {
      {"name differs only in case", DeviceJson("kq5_12ab3c", kIntel3C)},
      {"another adapter",
       DeviceJson("KQ5_12AB3C", testing::Adapter("Intel", "00-01-05-12-AB-3D"))},
      {"short name", DeviceJson("KQ5", kIntel3C)},
  };
  for (const auto& [what, json] : cases) {
    SCOPED_TRACE(what);
    IdentityDevice d(json, kStored);
    EXPECT_TRUE(d.Make().CheckUpnp());
    EXPECT_EQ(d.Events(), std::vector<std::string>{"UPnP successfully registered"});
    EXPECT_EQ(d.Count("restartRequest"), 1u);
  }
  // A short name stored without terminator, read with the address's own
  // 6-byte size: unchanged.
  IdentityDevice same(DeviceJson("KQ5", kIntel3C),
                      sim::ImageInfoKey(Unterminated("LastComputerName", "KQ5") +
                             "\"FirstMACId\"=hex:00,01,05,12,ab,3c\r\n"));
  EXPECT_TRUE(same.Make().CheckUpnp());
  EXPECT_EQ(same.Count("restartRequest"), 0u);
}

TEST(CheckUpnp, StoredValuesThatDoNotFitCountAsDifferent) {
  // 16 characters without terminator fill the read exactly; a stored
  // address of 4 bytes is no 6-byte identity.
  const std::string cases[] = {
      Unterminated("LastComputerName", "KQ5_12AB3CAAAAAA") +
          "\"FirstMACId\"=hex:00,01,05,12,ab,3c\r\n",
      Unterminated("LastComputerName", "KQ5_12AB3C") + "\"FirstMACId\"=hex:00,01,05,12\r\n",
  };
  for (const std::string& values : cases) {
    IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C), sim::ImageInfoKey(values));
    EXPECT_TRUE(d.Make().CheckUpnp());
    EXPECT_EQ(d.Count("restartRequest"), 1u);
  }
}

TEST(CheckUpnp, StoredValuesOfTheWrongTypeFailTheTask) {
  {
    IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C),
                     sim::ImageInfoKey("\"LastComputerName\"=dword:00000001\r\n"));
    EXPECT_FALSE(d.Make().CheckUpnp());
    EXPECT_EQ(d.Events(), std::vector<std::string>{"Reading LastComputerName from Registry failed"});
    EXPECT_EQ(d.Count("registryWrite") + d.Count("restartRequest") + d.Count("libraryCall"), 0u);
  }
  {
    IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C),
                     sim::ImageInfoKey(Unterminated("LastComputerName", "KQ5_12AB3C") +
                            "\"FirstMACId\"=\"abc\"\r\n"));
    EXPECT_FALSE(d.Make().CheckUpnp());
    EXPECT_EQ(d.Events(), std::vector<std::string>{"Reading MACID from Registry failed"});
    EXPECT_EQ(d.Count("registryWrite") + d.Count("restartRequest") + d.Count("libraryCall"), 0u);
  }
}

TEST(CheckUpnp, WithoutTheLibraryNothingIsTouched) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C, Upnp(R"("library": false)")));
  IDCheck& id = d.Make();
  EXPECT_TRUE(id.CheckUpnp());
  EXPECT_TRUE(id.RegisterUpnp());
  EXPECT_TRUE(d.Events().empty());
  EXPECT_EQ(d.Count("registryWrite") + d.Count("restartRequest"), 0u);
  EXPECT_EQ(d.Calls("RegOpenKeyExA"), 0u);
}

struct Failure {
  const char* upnp;
  const char* faults;
  std::vector<std::string> events;
  std::size_t libraryCalls;
};

TEST(RegisterUpnp, EachFailureIsReportedAndTheRestartStillRequested) {
  const Failure cases[] = {
      {R"("unregisterResult": -2147467259)", "", {"UnregisterServer failed"}, 1},
      {R"("registerResult": 5)", "", {"RegisterServer failed"}, 2},
      {R"("unregisterResult": null)", "", {"UnregisterServer failed"}, 0},
      {R"("registerResult": null)", "", {"RegisterServer failed"}, 1},
      {R"("tool": false)", "", {"UPnPRegister failed"}, 2},
      {R"("toolStartable": false)", "", {"UPnP successfully registered"}, 2},
      // The name is written, then the address write fails.
      {"", R"("faults": [{"call": "RegSetValueExA", "occurrence": 2, "error": 5}])",
       {"Writing MACID to Registry failed"}, 0},
  };
  for (const Failure& c : cases) {
    SCOPED_TRACE(std::string(c.upnp) + c.faults);
    std::string more = Upnp(c.upnp);
    if (*c.faults) more += std::string(", ") + c.faults;
    IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C, more));
    IDCheck& id = d.Make();
    EXPECT_TRUE(id.CheckUpnp());
    EXPECT_EQ(d.Events(), c.events);
    EXPECT_EQ(d.Count("libraryCall"), c.libraryCalls);
    EXPECT_EQ(d.Count("restartRequest"), 1u);
    // The name is stored before anything can fail.
    EXPECT_TRUE(d.Value(kIpcKey, "LastComputerName"));
  }
}

TEST(RunAndWait, AToolThatNeverEndsIsLeftAfter254Pauses) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C, Upnp(R"("toolRunsSeconds": null)")));
  const std::int64_t before = d.device().device().state().localTimeMs;
  EXPECT_TRUE(d.Make().CheckUpnp());
  EXPECT_EQ(d.Calls("Sleep"), 254u);
  EXPECT_EQ(d.device().device().state().localTimeMs - before, 25400);
  auto started = d.device().Records("processStart");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0]["waitedMs"], 25400);
  EXPECT_EQ(d.Events(), std::vector<std::string>{"UPnP successfully registered"});
}

TEST(RunAndWait, CommandLineAndExistence) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C, Upnp(R"("toolRunsSeconds": 0.25)")));
  os::Modules& modules = d.platform().modules;
  EXPECT_FALSE(RunAndWait(modules, "c:\\windows\\system32\\missing.exe"));
  EXPECT_TRUE(RunAndWait(modules, kUpnpToolPath, "/quiet"));
  auto started = d.device().Records("processStart");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0]["commandLine"], std::string(kUpnpToolPath) + " /quiet");
  EXPECT_EQ(started[0]["waitedMs"], 300);  // polled in 100 ms steps
  EXPECT_EQ(d.Calls("Sleep"), 3u);
}

TEST(RequestRestart, OneCountdownAtATime) {
  {
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C));
    os::Power& power = d.platform().power;
    EXPECT_TRUE(RequestRestart(power, "first"));
    EXPECT_FALSE(d.device().sim().power.privilegeEnabled);  // switched off again
    EXPECT_FALSE(RequestRestart(power, "second"));
    EXPECT_EQ(d.device().device().state().restartScheduled, "first");
    auto r = d.device().Records("restartRequest");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1]["ok"], false);
    // A refused request leaves the privilege enabled.
    EXPECT_TRUE(d.device().sim().power.privilegeEnabled);
  }
  {
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C, R"("shutdownInProgress": "Updates")"));
    EXPECT_FALSE(RequestRestart(d.platform().power, "mine"));
    EXPECT_FALSE(d.device().device().state().restartScheduled);
  }
  {
    // Enabling a privilege that is not held succeeds; the request then fails.
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C, R"("shutdownPrivilege": false)"));
    EXPECT_FALSE(RequestRestart(d.platform().power, "mine"));
    EXPECT_EQ(d.Count("restartRequest"), 1u);
  }
  {
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C,
                                R"("faults": [{"call": "OpenProcessToken", "occurrence": 1, "error": 5}])"));
    EXPECT_FALSE(RequestRestart(d.platform().power, "mine"));
    EXPECT_EQ(d.Count("restartRequest"), 0u);
  }
  {
    // A failed look-up does not stop the request.
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C,
                                R"("faults": [{"call": "LookupPrivilegeValueA", "occurrence": 1, "error": 1313}])"));
    EXPECT_TRUE(RequestRestart(d.platform().power, "mine"));
  }
}

}  // namespace
}  // namespace vorn
