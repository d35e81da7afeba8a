// Registration verbs on the simulated device, run as the whole process.
#include <gtest/gtest.h>

#include <optional>

#include "tests/support/testing.h"

namespace vorn {
namespace {

using Entries = std::vector<std::string>;

constexpr char kAppIdKey[] = "AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}";
constexpr char kRuntimeKey[] = "SYSTEM\\CurrentControlSet\\Services\\Quorvex System Service";
constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\VORN";
constexpr char kTypeLibKey[] = "TypeLib\\{2C6B9F40-81E3-4D27-A5C8-19F4E07B3D92}\\1.0";

// REG_MULTI_SZ in a .reg file: UTF-16LE, each entry and the list terminated.
std::string MultiSz(const Entries& entries) {
  std::string hex;
  auto add = [&](unsigned char c) {
    char b[8];
    std::snprintf(b, sizeof b, "%s%02x,00", hex.empty() ? "" : ",", c);
    hex += b;
  };
  for (const auto& e : entries) {
    for (unsigned char c : e) add(c);
    add(0);
  }
  add(0);
  return "hex(7):" + hex;
}

std::string RuntimeService(const Entries& dependencies) {
  return std::string("[HKEY_LOCAL_MACHINE\\") + kRuntimeKey + "]\r\n\"Type\"=dword:00000010\r\n" +
         "\"DependOnService\"=" + MultiSz(dependencies) + "\r\n\r\n";
}

// Another program's AppID, which no verb may touch.
const std::string kOtherAppId = "[HKEY_CLASSES_ROOT\\AppID\\{0000}]\r\n@=\"other\"\r\n\r\n";

std::optional<std::string> Value(sim::TestDevice& device, os::RootKey root,
                                 const std::string& key, const std::string& name,
                                 std::uint32_t* type = nullptr) {
  std::unique_ptr<os::RegistryKey> k;
  if (device.platform().registry.OpenKey(root, key, os::kKeyRead, &k) != 0) return {};
  std::uint32_t size = 0;
  if (k->QueryValue(name, type, nullptr, &size) != 0) return {};
  std::string bytes(size, '\0');
  if (size > 0 &&
      k->QueryValue(name, type, reinterpret_cast<std::uint8_t*>(bytes.data()), &size) != 0) {
    return {};
  }
  return bytes;
}

// A stored REG_SZ: the text and its NUL.
std::string Sz(const std::string& text) { return text + '\0'; }
std::string Dword(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

bool KeyExists(sim::TestDevice& device, os::RootKey root, const std::string& key) {
  std::unique_ptr<os::RegistryKey> k;
  return device.platform().registry.OpenKey(root, key, os::kKeyRead, &k) == 0;
}

// The stored list, split independently of the code under test.
std::optional<Entries> Dependencies(sim::TestDevice& device) {
  auto bytes = Value(device, os::RootKey::kLocalMachine, kRuntimeKey, "DependOnService");
  if (!bytes) return {};
  Entries out;
  std::size_t pos = 0;
  while (pos < bytes->size() && (*bytes)[pos] != '\0') {
    std::size_t end = bytes->find('\0', pos);
    if (end == std::string::npos) end = bytes->size();
    out.push_back(bytes->substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

// The registration state as the table of forms describes it.
struct Form {
  bool appIdKeys;
  std::optional<std::string> localService;
  bool service;
  bool eventSource;
  Entries dependencies;
  bool typeLibrary;
  bool operator==(const Form&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Form& f) {
  out << "{appIdKeys " << f.appIdKeys << ", localService "
      << (f.localService ? *f.localService : "(none)") << ", service " << f.service
      << ", eventSource " << f.eventSource << ", dependencies [";
  for (const auto& d : f.dependencies) out << d << ";";
  return out << "], typeLibrary " << f.typeLibrary << "}";
}

Form ReadForm(sim::TestDevice& device) {
  const auto cr = os::RootKey::kClassesRoot;
  const auto lm = os::RootKey::kLocalMachine;
  Form f;
  const bool appId = KeyExists(device, cr, kAppIdKey);
  const bool exe = KeyExists(device, cr, "AppID\\VORN.EXE");
  EXPECT_EQ(appId, exe) << "the two AppID keys come and go together";
  f.appIdKeys = appId && exe;
  f.localService = Value(device, cr, kAppIdKey, "LocalService");
  f.service = KeyExists(device, lm, "SYSTEM\\CurrentControlSet\\Services\\VORN");
  f.eventSource = KeyExists(device, lm, kEventSourceKey);
  f.dependencies = Dependencies(device).value_or(Entries{"(missing)"});
  f.typeLibrary = KeyExists(device, cr, kTypeLibKey);
  return f;
}

const Entries kRuntimeDependencies = {"RPCSS", "Tcpip"};

Form Expected(const std::string& verb) {
  if (verb == "-RegServer") {
    return {true, std::nullopt, false, false, kRuntimeDependencies, true};
  }
  if (verb == "-Service") {
    return {true, Sz("VORN"), true, true, {"RPCSS", "Tcpip", "VORN"}, true};
  }
  return {false, std::nullopt, false, false, kRuntimeDependencies, false};
}

TEST(Registration, EachVerbReachesItsFormFromEveryState) {
  const std::vector<std::string> verbs = {"-RegServer", "-Service", "-UnregServer"};
  for (const std::string& before : {std::string(), verbs[0], verbs[1], verbs[2]}) {
    for (const std::string& verb : verbs) {
      SCOPED_TRACE((before.empty() ? "fresh device" : before) + " then " + verb);
      sim::TestDevice device(kOtherAppId + RuntimeService(kRuntimeDependencies));
      if (!before.empty()) ASSERT_EQ(device.Run(before), 0);
      EXPECT_EQ(device.Run(verb), 0);
      EXPECT_EQ(ReadForm(device), Expected(verb));
      EXPECT_TRUE(device.Records("messageBox").empty());
      EXPECT_TRUE(KeyExists(device, os::RootKey::kClassesRoot, "AppID\\{0000}"));
      // A second run of the same verb changes nothing in the outcome.
      EXPECT_EQ(device.Run(verb), 0);
      EXPECT_EQ(ReadForm(device), Expected(verb));
    }
  }
}

TEST(Registration, ServiceIsInstalledAsTheServiceControlManagerKeepsIt) {
  sim::TestDevice device(RuntimeService({"RPCSS"}));
  ASSERT_EQ(device.Run("/service"), 0);
  const auto lm = os::RootKey::kLocalMachine;
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\VORN";
  std::uint32_t type = 0;
  EXPECT_EQ(Value(device, lm, key, "ImagePath", &type),
            Sz("C:\\WINDOWS\\system32\\VORN.EXE"))
      << "a path without blanks stays unquoted";
  EXPECT_EQ(type, os::kRegExpandSz);
  EXPECT_EQ(Value(device, lm, key, "Type"), Dword(0x10));
  EXPECT_EQ(Value(device, lm, key, "Start"), Dword(2));
  EXPECT_EQ(Value(device, lm, key, "ErrorControl"), Dword(1));
  EXPECT_EQ(Value(device, lm, key, "DependOnService"), std::string("RPCSS\0\0", 7));
  EXPECT_EQ(Value(device, lm, key, "ObjectName"), Sz("LocalSystem"));
  EXPECT_EQ(Value(device, os::RootKey::kClassesRoot, kAppIdKey, "ServiceParameters"),
            Sz("-Service"));
  EXPECT_EQ(Value(device, lm, kEventSourceKey, "EventMessageFile", &type),
            Sz("%SystemRoot%\\System32\\ZentravisePS.dll"));
  EXPECT_EQ(type, os::kRegSz);
  EXPECT_EQ(Value(device, lm, kEventSourceKey, "TypesSupported"), Dword(7));
  const auto cr = os::RootKey::kClassesRoot;
  EXPECT_EQ(Value(device, cr, kTypeLibKey, ""), Sz("Zentravise 1.0 Type Library"));
  EXPECT_EQ(Value(device, cr, std::string(kTypeLibKey) + "\\0\\win32", ""),
            Sz("C:\\WINDOWS\\system32\\VORN.EXE"));
  EXPECT_EQ(Value(device, cr, std::string(kTypeLibKey) + "\\FLAGS", ""), Sz("0"));
  EXPECT_EQ(Value(device, cr, std::string(kTypeLibKey) + "\\HELPDIR", ""),
            Sz("C:\\WINDOWS\\system32\\"));
}

TEST(Registration, AnImagePathWithABlankIsQuoted) {
  sim::TestDevice device(RuntimeService({}),
                         R"({"imagePath": "C:\\Program Files\\Talvenor\\VORN.EXE"})");
  ASSERT_EQ(device.Run("-Service"), 0);
  EXPECT_EQ(Value(device, os::RootKey::kLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\VORN",
                  "ImagePath"),
            Sz("\"C:\\Program Files\\Talvenor\\VORN.EXE\""));
}

// XP cuts such a path without setting a last error: the registration must
// still fail, not end with S_OK and no type library.
TEST(Registration, AModulePathThatMaxPathCutsFailsTheTypeLibrary) {
  const std::string path = "C:\\" + std::string(251, 'd') + "\\VORN.EXE";  // 263 characters
  sim::TestDevice device(RuntimeService({}), sim::Json{{"imagePath", path}}.dump());
  EXPECT_EQ(static_cast<std::uint32_t>(device.Run("-RegServer")), 0x8007007Au);
  EXPECT_FALSE(ReadForm(device).typeLibrary);
}

TEST(Registration, DependencyEntriesKeepTheirOrderAndLength) {
  const std::string longName(300, 'L');
  sim::TestDevice device(RuntimeService({"A", longName, "vOrN", "B"}));
  ASSERT_EQ(device.Run("-Service"), 0);
  EXPECT_EQ(Dependencies(device), (Entries{"A", longName, "vOrN", "B", "VORN"}))
      << "an entry already there is not looked for: a second one is added";
  ASSERT_EQ(device.Run("-Service"), 0);
  EXPECT_EQ(Dependencies(device), (Entries{"A", longName, "B", "VORN"}))
      << "reinstalling removes every entry first, whatever its case";
  ASSERT_EQ(device.Run("-UnregServer"), 0);
  EXPECT_EQ(Dependencies(device), (Entries{"A", longName, "B"}));
}

TEST(Registration, APresentVornEntryGetsASecondAndBothGoOnRemoval) {
  sim::TestDevice device(RuntimeService({"RPCSS", "VORN"}));
  ASSERT_EQ(device.Run("-Service"), 0);
  EXPECT_EQ(Dependencies(device), (Entries{"RPCSS", "VORN", "VORN"}));
  ASSERT_EQ(device.Run("-UnregServer"), 0);
  EXPECT_EQ(Dependencies(device), (Entries{"RPCSS"}));
}

TEST(Registration, WithoutTheRuntimesDependencyTheServiceInstallsSilently) {
  for (const std::string& runtime :
       {std::string(), std::string("[HKEY_LOCAL_MACHINE\\") + kRuntimeKey +
                           "]\r\n\"Type\"=dword:00000010\r\n\r\n"}) {
    SCOPED_TRACE(runtime.empty() ? "no runtime key" : "runtime key without DependOnService");
    sim::TestDevice device(runtime);
    EXPECT_EQ(device.Run("-Service"), 0);
    const Form f = ReadForm(device);
    EXPECT_TRUE(f.service);
    EXPECT_TRUE(f.eventSource);
    EXPECT_EQ(f.dependencies, Entries{"(missing)"}) << "no dependency value is made up";
    EXPECT_EQ(KeyExists(device, os::RootKey::kLocalMachine, kRuntimeKey), !runtime.empty());
    EXPECT_TRUE(device.Records("messageBox").empty());
  }
}

TEST(Registration, RegServerAfterServiceLeavesAPlainProcessRegistration) {
  sim::TestDevice device(RuntimeService({"RPCSS"}));
  ASSERT_EQ(device.Run("-Service"), 0);
  ASSERT_EQ(device.Run("-RegServer"), 0);
  EXPECT_FALSE(ReadForm(device).service);
  EXPECT_FALSE(ReadForm(device).localService);
  // Even a start by the service control manager now runs the job in the
  // process: no status is reported.
  device.device().state().startedBy = "scm";
  EXPECT_EQ(device.Run(), 0);
  EXPECT_TRUE(device.Records("serviceStatus").empty());
  EXPECT_FALSE(device.Records("event").empty()) << "the job ran";
}

struct BoxCase {
  const char* name;
  const char* faults;
  bool installFirst;
  const char* text;
};

TEST(Registration, ServiceControlManagerFailuresAreShownInBoxes) {
  // "Service" on a fresh device opens the manager three times (the removal's
  // and the installation's check, then the installation); on an installed
  // one the removal's check and the removal come first.
  const BoxCase cases[] = {
      {"install: manager", R"([{"call": "OpenSCManagerA", "occurrence": 3, "error": 5}])",
       false, "Couldn't open service manager"},
      {"install: create", R"([{"call": "CreateServiceW", "occurrence": 1, "error": 5}])", false,
       "Couldn't create service"},
      {"uninstall: manager", R"([{"call": "OpenSCManagerA", "occurrence": 2, "error": 5}])",
       true, "Couldn't open service manager"},
      {"uninstall: open", R"([{"call": "OpenServiceA", "occurrence": 2, "error": 5}])", true,
       "Couldn't open service"},
      {"uninstall: delete", R"([{"call": "DeleteService", "occurrence": 1, "error": 5}])", true,
       "Service could not be deleted"},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    // A service name other than the product's shows which one the boxes use.
    sim::TestDevice device(RuntimeService({"RPCSS"}), R"({"strings": {"100": "VORNSVC"}})");
    if (c.installFirst) ASSERT_EQ(device.Run("-Service"), 0);
    device.Write("device.json",
                 std::string(R"({"strings": {"100": "VORNSVC"}, "faults": )") + c.faults + "}");
    device.Reload();
    EXPECT_EQ(device.Run(c.installFirst ? "-RegServer" : "-Service"), 0)
        << "the verb goes on and reports the type library's status";
    auto boxes = device.Records("messageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["text"], c.text);
    EXPECT_EQ(boxes[0]["caption"], "VORNSVC");
    EXPECT_EQ(boxes[0]["style"], 0);
    EXPECT_TRUE(ReadForm(device).typeLibrary);
  }
}

TEST(Registration, TheServiceTakesTheServiceNameAndTheEntriesTheProductName) {
  sim::TestDevice device(RuntimeService({"RPCSS"}), R"({"strings": {"100": "VORNSVC"}})");
  ASSERT_EQ(device.Run("-Service"), 0);
  const auto lm = os::RootKey::kLocalMachine;
  EXPECT_TRUE(KeyExists(device, lm, "SYSTEM\\CurrentControlSet\\Services\\VORNSVC"));
  EXPECT_EQ(Value(device, lm, "SYSTEM\\CurrentControlSet\\Services\\VORNSVC", "DisplayName"),
            Sz("VORNSVC"));
  EXPECT_EQ(Value(device, os::RootKey::kClassesRoot, kAppIdKey, "LocalService"),
            Sz("VORN"));
  EXPECT_EQ(Dependencies(device), (Entries{"RPCSS", "VORN"}));
  EXPECT_TRUE(KeyExists(device, lm, kEventSourceKey));
  ASSERT_EQ(device.Run("-UnregServer"), 0);
  EXPECT_FALSE(KeyExists(device, lm, "SYSTEM\\CurrentControlSet\\Services\\VORNSVC"));
  EXPECT_EQ(Dependencies(device), (Entries{"RPCSS"}));
}

TEST(Registration, FailuresBeforeAnyChangeAreTheExitCode) {
  {
    sim::TestDevice device(RuntimeService({"RPCSS"}),
                           R"({"faults": [{"call": "CoInitialize", "error": 2147746065}]})");
    EXPECT_EQ(static_cast<std::uint32_t>(device.Run("-Service")), 2147746065u);
    EXPECT_EQ(static_cast<std::uint32_t>(device.Run("-UnregServer")), 2147746065u);
    EXPECT_TRUE(device.Records("registryWrite").empty());
    EXPECT_TRUE(device.Records("serviceConfig").empty());
  }
  {
    // Without the rights to write the AppID key: its status, after the
    // removal and the script have run.
    sim::TestDevice device(RuntimeService({"RPCSS"}),
                           R"({"protectedKeys": ["HKEY_CLASSES_ROOT\\AppID"]})");
    EXPECT_EQ(device.Run("-Service"), 5);
    EXPECT_FALSE(ReadForm(device).service);
    EXPECT_FALSE(ReadForm(device).typeLibrary);
  }
}

TEST(Registration, AFailedReadOfTheDependencyListLeavesItAlone) {
  // The size query succeeds, the read itself fails: writing back what was
  // not read would drop the runtime's other dependencies.
  sim::TestDevice device(RuntimeService({"RPCSS", "Tcpip"}));
  ASSERT_EQ(device.Run("-Service"), 0);
  // Both reads fail: the removal's and the one of the pass for what a
  // removal left behind.
  device.Write("device.json", R"({"faults": [{"call": "RegQueryValueExA", "occurrence": 2, "error": 31},
                                            {"call": "RegQueryValueExA", "occurrence": 4, "error": 31}]})");
  device.Reload();
  device.Run("-UnregServer");
  EXPECT_EQ(Dependencies(device), (Entries{"RPCSS", "Tcpip", "VORN"}));
}

TEST(Registration, WithoutTheServiceRegServerAndUnregServerStillTakeOutWhatARemovalLeft) {
  // A removal that deleted the service and then failed left the "VORN"
  // entry and the event source key; the runtime's service would not start
  // while it depends on a service that is gone.
  const std::string eventSource = std::string("[HKEY_LOCAL_MACHINE\\") + kEventSourceKey +
                                  "]\r\n\"TypesSupported\"=dword:00000007\r\n\r\n";
  for (const std::string verb : {"-RegServer", "-UnregServer"}) {
    SCOPED_TRACE(verb);
    sim::TestDevice device(RuntimeService({"RPCSS", "vorn", "Tcpip", "VORN"}) + eventSource);
    EXPECT_EQ(device.Run(verb), 0);
    EXPECT_EQ(ReadForm(device), Expected(verb));
    EXPECT_TRUE(device.Records("messageBox").empty());
  }
  {
    // "Service" installs right after: the entry already there stays and
    // gets a second one, as without a leftover.
    sim::TestDevice device(RuntimeService({"RPCSS", "VORN"}) + eventSource);
    EXPECT_EQ(device.Run("-Service"), 0);
    EXPECT_EQ(Dependencies(device), (Entries{"RPCSS", "VORN", "VORN"}));
  }
  // Removals failing in the removal and in the pass after it, then a clean
  // repeat. (A call failing once is put right within the same run.)
  const char* faults[] = {
      R"([{"call": "RegSetValueExA", "occurrence": 0, "error": 5}])",
      R"([{"call": "RegOpenKeyExA", "occurrence": 0, "error": 2}])",
      R"([{"call": "SHDeleteKeyA", "occurrence": 0, "error": 5}])",
  };
  for (const char* fault : faults) {
    SCOPED_TRACE(fault);
    sim::TestDevice device(RuntimeService(kRuntimeDependencies));
    ASSERT_EQ(device.Run("-Service"), 0);
    device.Write("device.json", std::string(R"({"faults": )") + fault + "}");
    device.Reload();
    EXPECT_EQ(device.Run("-UnregServer"), 0);
    EXPECT_NE(ReadForm(device), Expected("-UnregServer")) << "the fault left something behind";
    device.Write("device.json", "{}");
    device.Reload();
    EXPECT_EQ(device.Run("-UnregServer"), 0);
    EXPECT_EQ(ReadForm(device), Expected("-UnregServer"));
  }
}

// Reinstalling while the service still runs (its DST watch keeps it
// running): the removal waits for the stop, so that the delete completes and
// the installation creates the service again.
TEST(Registration, ServiceWhileTheServiceRunsLeavesAnInstalledService) {
  sim::TestDevice device(RuntimeService({"RPCSS"}));
  ASSERT_EQ(device.Run("-Service"), 0);
  device.Write("device.json", R"({"runningServices": [{"name": "VORN", "stopMs": 1200}]})");
  device.Reload();
  EXPECT_EQ(device.Run("-Service"), 0);
  EXPECT_TRUE(ReadForm(device).service);
  EXPECT_TRUE(device.Records("messageBox").empty());
  std::vector<std::string> steps;
  for (const auto& r : device.Records("serviceConfig")) {
    steps.push_back(r["op"].get<std::string>() + (r.value("pending", false) ? " pending" : ""));
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"control", "delete", "create"}));
}

// A running service that does not stop within the bound is left to the
// service control manager: the removal goes on after about 30 s.
TEST(Registration, TheWaitForTheStopIsBounded) {
  sim::TestDevice device(RuntimeService({"RPCSS"}));
  ASSERT_EQ(device.Run("-Service"), 0);
  device.Write("device.json", R"({"runningServices": [{"name": "VORN", "stopMs": 600000}]})");
  device.Reload();
  const std::int64_t before = device.device().state().localTimeMs;
  EXPECT_EQ(device.Run("-Service"), 0);
  const std::int64_t waited = device.device().state().localTimeMs - before;
  EXPECT_GE(waited, 30000);
  EXPECT_LT(waited, 31000);
  std::vector<std::string> steps;
  for (const auto& r : device.Records("serviceConfig")) {
    steps.push_back(r["op"].get<std::string>() + (r.value("pending", false) ? " pending" : ""));
  }
  // Marked for deletion, the service is still there for the installation,
  // and goes once its process ends.
  EXPECT_EQ(steps, (std::vector<std::string>{"control", "delete pending", "delete"}));
}

}  // namespace
}  // namespace vorn
