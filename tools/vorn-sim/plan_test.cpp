// vorn-sim plan and --until-steady, run as the image engineer runs them,
// and the comparisons the plan is built on.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tools/vorn-sim/plan.h"
#include "tools/vorn-sim/snapshot.h"
#include "tests/support/testing.h"
#include "tools/vorn-sim/xml_diff.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

struct SimRun {
  int exit = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// The example device in a fresh folder, with device.json fields replaced.
class ExampleDevice {
 public:
  explicit ExampleDevice(const Json& fields = Json::object()) {
    folder_ = device_.folder();
    fs::remove_all(folder_);
    fs::copy(fs::path(VORN_SOURCE_DIR) / "examples" / "first-boot", folder_,
             fs::copy_options::recursive);
    if (fields.empty()) return;
    Json j = Json::parse(ReadAll(folder_ / "device.json"));
    j.update(fields);
    device_.Write("device.json", j.dump(2));
  }
  const fs::path& folder() const { return folder_; }

  // vorn-sim with these arguments (the folder is spliced in for "DIR").
  SimRun Sim(const std::string& arguments) const {
    std::string args = arguments;
    const auto at = args.find("DIR");
    if (at != std::string::npos) args.replace(at, 3, "'" + folder_.string() + "'");
    const fs::path err = folder_.string() + ".err", out = folder_.string() + ".out";
    const std::string command = std::string(VORN_SIM_BINARY) + " " + args + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    SimRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  // Every file of the folder with its bytes.
  std::map<std::string, std::string> Tree() const {
    std::map<std::string, std::string> tree;
    for (const auto& f : fs::recursive_directory_iterator(folder_)) {
      tree[fs::relative(f.path(), folder_).generic_string()] =
          f.is_regular_file() ? ReadAll(f.path()) : "(folder)";
    }
    return tree;
  }

 private:
  TestDevice device_;
  fs::path folder_;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Plan, ExampleDeviceSummaryLeavesTheFolderAsItWas) {
  ExampleDevice device;
  const auto before = device.Tree();
  const SimRun r = device.Sim("plan DIR");
  EXPECT_EQ(r.exit, 1) << r.err;
  for (const char* line : {
           "computer name: QZ_IPC \u2192 KQ5_12AB3C after the restart",
           "restart requested (60 s, forced): \"The Computername was changed. Machine has to "
           "be restarted.\"",
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC\\FirstMACId: (none) \u2192 "
           "hex:00,01,05,12,ab,3c",
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC\\LastComputerName: (none) \u2192 "
           "\"KQ5_12AB3C\"",
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System\\OlmNetId: (none) \u2192 "
           "hex:05,12,ab,3c,01,01",
           "library call c:\\windows\\system32\\UPnPAgent.dll DllRegisterServer: result 0",
           "process started: c:\\windows\\system32\\UPnPRegistrar.exe (waited 2000 ms)",
           "C:\\Quorvex\\DefaultConfig.xml would be saved "
           "(/QvBootProject/InitCmds/InitCmd[3]/data)",
           "line 1: \"KQ5020 XPE v2.0\" \u2192 \"KQ5020 XPE v2.1\"",
           "C:\\Quorvex\\DefaultConfig.xml: changed (1687 \u2192 1669 bytes)",
           "information VORN: The computer name was changed from QZ_IPC to KQ5_12AB3C\n",
           "message boxes: none", "exit code: 0"}) {
    EXPECT_TRUE(Has(r.out, line)) << "missing: " << line << "\n" << r.out;
  }
  // The events in the order they happened.
  EXPECT_LT(r.out.find("UPnP successfully registered"), r.out.find("Setting OlmNetId"));
  EXPECT_LT(r.out.find("Setting OlmNetId"), r.out.find("VORN completed successfully"));
  EXPECT_FALSE(Has(r.out, "Boot 2"));
  EXPECT_EQ(device.Tree(), before) << "plan wrote to the device folder";
}

TEST(Plan, UntilSteadyConvergesAfterTheRestart) {
  ExampleDevice device;
  const auto before = device.Tree();
  const SimRun r = device.Sim("plan --until-steady DIR");
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_TRUE(Has(r.out, "Boot 2, after the restart (KQ5_12AB3C in effect)")) << r.out;
  // The second boot rewrites the boot configuration for the new name only.
  const std::string second = r.out.substr(r.out.find("Boot 2"));
  EXPECT_TRUE(Has(second, "line 2: \"Name: QZ_IPC\" \u2192 \"Name: KQ5_12AB3C\"")) << second;
  EXPECT_TRUE(Has(second, "UPnP: not re-registered")) << second;
  EXPECT_TRUE(Has(r.out, "Boot 3: ")) << r.out;
  EXPECT_FALSE(Has(r.out, "Boot 4")) << r.out;
  EXPECT_EQ(Count(r.out, "nothing to change"), 1u) << r.out;
  EXPECT_TRUE(Has(r.out, "Steady after 3 boots:\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "  boot 2: display lines rewritten, 1 file changed\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "  boot 3: nothing changed\n")) << r.out;
  EXPECT_EQ(device.Tree(), before) << "plan wrote to the device folder";
}

TEST(Plan, SteadyDeviceNeedsNothing) {
  ExampleDevice device;
  // The plain run with --until-steady brings the folder itself to rest.
  const SimRun run = device.Sim("--until-steady DIR");
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "vorn-sim: boot 1: computer name set to KQ5_12AB3C, restart "
                           "requested, UPnP re-registered"))
      << run.err;
  EXPECT_TRUE(Has(run.err, "vorn-sim: boot 3: nothing changed\nvorn-sim: steady after 3 boots"))
      << run.err;
  EXPECT_TRUE(Has(ReadAll(device.folder() / "device.json"), "\"hostName\": \"KQ5_12AB3C\""));

  const SimRun r = device.Sim("plan DIR");
  EXPECT_EQ(r.exit, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "  nothing to change\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "registry: no change")) << r.out;
  EXPECT_TRUE(Has(r.out, "files: none written")) << r.out;
  const SimRun steady = device.Sim("plan --until-steady DIR");
  EXPECT_EQ(steady.exit, 0) << steady.err;
  EXPECT_TRUE(Has(steady.out, "Steady after 1 boot:")) << steady.out;
}

TEST(Plan, ActiveWriteFilterChangesNothing) {
  ExampleDevice device(Json{{"fbwf", {{"current", 1}, {"next", 1}}}});
  const SimRun r = device.Sim("plan --until-steady DIR");
  EXPECT_EQ(r.exit, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "warning VORN: An WriteFilter is active. Stopping execution.")) << r.out;
  EXPECT_TRUE(Has(r.out, "computer name: QZ_IPC (unchanged)")) << r.out;
  EXPECT_TRUE(Has(r.out, "nothing to change")) << r.out;
}

TEST(Plan, ServiceVerb) {
  ExampleDevice device;
  const auto before = device.Tree();
  const SimRun r = device.Sim("plan DIR -Service");
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_TRUE(Has(r.out, "Boot 1: C:\\WINDOWS\\system32\\VORN.EXE -Service (started by hand)"));
  for (const char* line : {
           "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\VORN: key created",
           "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\VORN\\Start: (none) \u2192 "
           "dword:00000002",
           "HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}\\LocalService: "
           "(none) \u2192 \"VORN\"",
           "service \"VORN\" created: C:\\WINDOWS\\system32\\VORN.EXE",
           "computer name: QZ_IPC (unchanged)", "display: unchanged"}) {
    EXPECT_TRUE(Has(r.out, line)) << "missing: " << line << "\n" << r.out;
  }
  EXPECT_EQ(device.Tree(), before);
}

TEST(Plan, DeviceThatNeverSettles) {
  // Windows refuses the name every time: every boot tries again.
  const Json fault = {{"faults", {{{"call", "SetComputerNameExA"}, {"error", 5}}}}};
  ExampleDevice device(fault);
  const SimRun r = device.Sim("plan --until-steady DIR");
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(Has(r.out, "Boot 10: ")) << r.out;
  EXPECT_FALSE(Has(r.out, "Boot 11")) << r.out;
  EXPECT_TRUE(Has(r.out, "error VORN: Changing Computername to KQ5_12AB3C failed")) << r.out;
  EXPECT_TRUE(Has(r.err, "vorn-sim: the device did not settle in 10 boots: boot 10 still had "
                         "something to do: computer name KQ5_12AB3C refused"))
      << r.err;

  ExampleDevice plain(fault);
  const SimRun run = plain.Sim("--until-steady DIR");
  EXPECT_EQ(run.exit, kExitSoftware) << run.err;
  EXPECT_TRUE(Has(run.err, "vorn-sim: boot 10: computer name KQ5_12AB3C refused\n")) << run.err;
  EXPECT_TRUE(Has(run.err, "did not settle in 10 boots")) << run.err;
}

TEST(Plan, JsonParsedBack) {
  ExampleDevice device;
  const SimRun r = device.Sim("plan --until-steady --json DIR");
  EXPECT_EQ(r.exit, 1) << r.err;
  const Json doc = Json::parse(r.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << r.out;
  EXPECT_EQ(doc["exitCode"], 1);
  EXPECT_EQ(doc["steady"], true);
  EXPECT_EQ(doc["changes"], true);
  ASSERT_EQ(doc["boots"].size(), 3u);
  const Json& first = doc["boots"][0];
  EXPECT_EQ(first["identity"]["computerNameBefore"], "QZ_IPC");
  EXPECT_EQ(first["identity"]["pendingComputerName"], "KQ5_12AB3C");
  bool olmNetId = false;
  for (const Json& c : first["registry"]) {
    if (c.value("value", "") != "OlmNetId") continue;
    olmNetId = true;
    EXPECT_EQ(c["key"], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System");
    EXPECT_EQ(c["change"], "created");
    EXPECT_TRUE(c["before"].is_null());
    EXPECT_EQ(c["after"], "hex:05,12,ab,3c,01,01");
  }
  EXPECT_TRUE(olmNetId) << first["registry"].dump();
  EXPECT_EQ(first["files"][0]["path"], "C:\\Quorvex\\DefaultConfig.xml");
  EXPECT_EQ(first["files"][0]["xml"][0]["path"], "/QvBootProject/InitCmds/InitCmd[3]/data");
  EXPECT_EQ(first["events"].back()["typeName"], "information");
  EXPECT_EQ(doc["boots"][1]["restartApplied"], true);
  EXPECT_EQ(doc["boots"][1]["display"][0]["after"][1], "Name: KQ5_12AB3C");
  EXPECT_EQ(doc["boots"][2]["changed"], false);
  EXPECT_EQ(doc["boots"][2]["exitCode"], 0);
}

TEST(Plan, Trouble) {
  ExampleDevice device;
  EXPECT_EQ(device.Sim("plan").exit, 2);
  EXPECT_EQ(device.Sim("plan --sideways DIR").exit, 2);
  const SimRun missing = device.Sim("plan DIR/nowhere");
  EXPECT_EQ(missing.exit, 2);
  EXPECT_TRUE(Has(missing.err, "is not a device folder")) << missing.err;
  std::ofstream(device.folder() / "device.json") << "[1]";
  const SimRun broken = device.Sim("plan --json DIR");
  EXPECT_EQ(broken.exit, 2);
  const Json doc = Json::parse(broken.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << broken.out;
  EXPECT_EQ(doc["error"], "device.json is not a JSON object");
  // A message about a file names it in the device folder, not in the copy.
  fs::remove(device.folder() / "registry.reg");
  const SimRun unreadable = device.Sim("plan DIR");
  EXPECT_EQ(unreadable.exit, 2);
  EXPECT_TRUE(Has(unreadable.err, "cannot read " + (device.folder() / "registry.reg").string()))
      << unreadable.err;
}

// The common first try: a folder holding only an image's registry.reg.
class RegistryOnlyDevice : public ExampleDevice {
 public:
  RegistryOnlyDevice() {
    fs::remove(folder() / "device.json");
    fs::remove_all(folder() / "c");
  }
};

TEST(PlanAssumptions, BareFolderNamesWhatItTookFirst) {
  RegistryOnlyDevice device;
  const auto before = device.Tree();
  const SimRun r = device.Sim("plan DIR");
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_EQ(r.out.rfind("Assumed, because the device folder does not say:\n", 0), 0u) << r.out;
  for (const char* line :
       {"  adapters: no network adapter", "  hostName: computer name QZ_IPC",
        "  writeFilter: no write filter", "  timeZone: time zone state 1",
        "  bootConfiguration: no boot configuration file: C:\\Quorvex\\DefaultConfig.xml is "
        "not in the folder"}) {
    EXPECT_TRUE(Has(r.out, line)) << "missing: " << line << "\n" << r.out;
  }
  EXPECT_LT(r.out.find("bootConfiguration"), r.out.find("Boot 1"));
  EXPECT_EQ(device.Tree(), before) << "plan wrote to the device folder";

  const Json doc = Json::parse(device.Sim("plan --json DIR").out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded());
  std::vector<std::string> fields;
  for (const Json& a : doc["assumed"]) fields.push_back(a.value("field", ""));
  EXPECT_EQ(fields, (std::vector<std::string>{"adapters", "hostName", "writeFilter", "timeZone",
                                              "bootConfiguration"}));
}

TEST(PlanAssumptions, OnlyWhatTheFolderLeavesOut) {
  // A folder that gives every one of them is planned without the list.
  ExampleDevice full({{"fbwf", {{"current", 0}, {"next", 0}}},
                      {"timeZone", {{"id", 1}, {"daylightBias", -60}}}});
  const SimRun r = full.Sim("plan DIR");
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_FALSE(Has(r.out, "Assumed")) << r.out;
  EXPECT_EQ(r.out.rfind("Boot 1", 0), 0u) << r.out;
  const Json doc = Json::parse(full.Sim("plan --json DIR").out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded());
  EXPECT_EQ(doc["assumed"], Json::array());

  // The example gives adapters, name and boot configuration, not the rest.
  ExampleDevice example;
  const SimRun partial = example.Sim("plan DIR");
  EXPECT_TRUE(Has(partial.out, "  writeFilter: ")) << partial.out;
  EXPECT_TRUE(Has(partial.out, "  timeZone: ")) << partial.out;
  for (const char* given : {"adapters:", "hostName:", "bootConfiguration:"}) {
    EXPECT_FALSE(Has(partial.out, given)) << given << "\n" << partial.out;
  }
}

TEST(PlanAssumptions, CommandLineAdapterAndNameGiveTheImagesName) {
  RegistryOnlyDevice device;
  const auto before = device.Tree();
  const SimRun r = device.Sim(
      "plan --adapter '00-01-05-12-AB-3C,Intel(R) PRO/100 VE Network Connection' "
      "--adapter 00:E0:4C:68:01:22 DIR");
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_TRUE(Has(r.out, "computer name: QZ_IPC \u2192 KQ5_12AB3C after the restart")) << r.out;
  EXPECT_TRUE(Has(r.out, "FirstMACId: (none) \u2192 hex:00,01,05,12,ab,3c")) << r.out;
  EXPECT_FALSE(Has(r.out, "GetAdapterInfo failed")) << r.out;
  EXPECT_FALSE(Has(r.out, "adapters:")) << r.out;
  EXPECT_TRUE(Has(r.out, "hostName:")) << r.out;
  EXPECT_TRUE(Has(r.out, "bootConfiguration:")) << r.out;
  EXPECT_EQ(device.Tree(), before) << "plan wrote to the device folder";

  // A description is optional: a lone adapter is taken whatever it is.
  const SimRun bare = device.Sim("plan --adapter 00-E0-4C-68-01-22 DIR");
  EXPECT_TRUE(Has(bare.out, "computer name: QZ_IPC \u2192 KQ5_680122 after the restart"))
      << bare.out;

  // A name other than the delivered one is the device's own: it is kept.
  const SimRun named = device.Sim("plan --host-name QZ_LINE4 --adapter 00-E0-4C-68-01-22 DIR");
  EXPECT_TRUE(Has(named.out, "computer name: QZ_LINE4 (unchanged)")) << named.out;
  EXPECT_TRUE(Has(named.out, "LastComputerName: (none) \u2192 \"QZ_LINE4\"")) << named.out;
  EXPECT_FALSE(Has(named.out, "hostName:")) << named.out;
  EXPECT_EQ(device.Tree(), before);
}

TEST(PlanAssumptions, BadOverridesRefused) {
  RegistryOnlyDevice device;
  const auto before = device.Tree();
  for (const char* bad : {"--adapter 00-01-05-12-AB DIR", "--adapter 00-01-05-12-AB-3G DIR",
                          "--adapter '0x-01-05-12-AB-3C,Intel' DIR",
                          "--adapter 00-01-05-12-AB-3C-00 DIR", "--adapter ,Intel DIR",
                          "--host-name '' DIR", "--host-name 'LINE 4' DIR",
                          "--host-name SIXTEEN_CHARS_XY DIR", "--adapter"}) {
    const SimRun r = device.Sim(std::string("plan ") + bad);
    EXPECT_EQ(r.exit, 2) << bad;
    EXPECT_TRUE(Has(r.err, "vorn-sim plan: --")) << bad << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << bad << "\n" << r.out;
  }
  EXPECT_TRUE(Has(device.Sim("plan --adapter 00-01 DIR").err, "like 00-01-05-12-AB-3C"));
  EXPECT_EQ(device.Tree(), before);
}

TEST(PlainRun, EchoIsOneReadableLinePerRecord) {
  ExampleDevice device;
  const SimRun r = device.Sim("DIR");
  EXPECT_EQ(r.exit, 0);
  EXPECT_FALSE(Has(r.err, "{\"kind\"")) << r.err;
  for (const char* line : {
           "vorn-sim: event (information) VORN: The computer name was changed from QZ_IPC to "
           "KQ5_12AB3C\nvorn-sim: registry set",
           "vorn-sim: registry set HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC\\FirstMACId = "
           "hex:00,01,05,12,ab,3c\n",
           "vorn-sim: file replace C:\\Quorvex\\DefaultConfig.xml (1669 bytes)\n",
           "vorn-sim: exit code 0\n"}) {
    EXPECT_TRUE(Has(r.err, line)) << "missing: " << line << "\n" << r.err;
  }
  // The journal keeps the records as JSON, one a line.
  std::istringstream journal(ReadAll(device.folder() / "journal.jsonl"));
  std::string record;
  int records = 0;
  while (std::getline(journal, record)) {
    EXPECT_FALSE(Json::parse(record, nullptr, false).is_discarded()) << record;
    ++records;
  }
  EXPECT_EQ(records, Count(r.err, "\nvorn-sim: ") + 1) << r.err;
}

// --- What the plan is built on ---

TEST(XmlDiff, TextsAttributesAndElements) {
  XmlDiff diff;
  ASSERT_TRUE(DiffXml("<r a='1' b='2'><x>one</x><x> two </x><y/><!-- c --></r>",
                      "<r a='1' b='3' c='4'><x>one</x><x>zwei</x><z>new</z></r>", &diff));
  ASSERT_EQ(diff.total, 5u);
  EXPECT_EQ(diff.changes[0].path, "/r/@b");
  EXPECT_EQ(*diff.changes[0].after, "3");
  EXPECT_EQ(diff.changes[1].path, "/r/@c");
  EXPECT_FALSE(diff.changes[1].before);
  EXPECT_EQ(diff.changes[2].path, "/r/x[2]");
  EXPECT_EQ(*diff.changes[2].before, "two");  // trimmed
  EXPECT_EQ(diff.changes[3].path, "/r/y");
  EXPECT_FALSE(diff.changes[3].after);
  EXPECT_EQ(diff.changes[4].path, "/r/z");
  EXPECT_EQ(*diff.changes[4].after, "new");
}

TEST(XmlDiff, LayoutAndCommentsAreNoDifference) {
  XmlDiff diff;
  ASSERT_TRUE(DiffXml("<?xml version='1.0'?>\r\n<r>\r\n  <x>1</x>\r\n</r>\r\n",
                      "<r><!-- note --><x><![CDATA[1]]></x></r>", &diff));
  EXPECT_EQ(diff.total, 0u);
  EXPECT_FALSE(DiffXml("<r>", "<r/>", &diff));
  EXPECT_FALSE(DiffXml("<r/>", "", &diff));
}

TEST(XmlDiff, ManyDifferencesAreCountedNotAllKept) {
  std::string a = "<r>", b = "<r>";
  for (int i = 0; i < 300; ++i) {
    a += "<v>" + std::to_string(i) + "</v>";
    b += "<v>" + std::to_string(i + 1) + "</v>";
  }
  XmlDiff diff;
  ASSERT_TRUE(DiffXml(a + "</r>", b + "</r>", &diff));
  EXPECT_EQ(diff.total, 300u);
  EXPECT_EQ(diff.changes.size(), kMaxXmlChanges);
}

TEST(DisplayLines, ReadFromTheDataDigits) {
  const std::string data =
      "0A00000001000000140000004b5135303230205850452076322e3000004e616d653a20515a5f495043000000"
      "00000000FF0000000000C800000001000000";
  auto lines = ReadDisplayLines(data);
  ASSERT_TRUE(lines);
  EXPECT_EQ(lines->first, "KQ5020 XPE v2.0");
  EXPECT_EQ(lines->second, "Name: QZ_IPC");
  EXPECT_FALSE(ReadDisplayLines(data.substr(0, 91)));
  EXPECT_FALSE(ReadDisplayLines("x" + data));
}

TEST(RegistryDiff, NamesCompareWithoutCaseAndClassesRootIsOneKey) {
  TestDevice device(
      "[HKEY_CLASSES_ROOT\\AppID\\X]\r\n@=\"VORN\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"Gone\"=dword:00000001\r\n\"Same\"=\"s\"\r\n\r\n");
  DeviceSnapshot before, after;
  std::string error;
  ASSERT_TRUE(TakeSnapshot(device.folder(), false, &before, &error)) << error;
  device.Write("registry.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\appid\\x]\r\n@=\"VORN\"\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\a]\r\n\"SAME\"=\"s\"\r\n\"New\"=hex:01\r\n\r\n");
  ASSERT_TRUE(TakeSnapshot(device.folder(), false, &after, &error)) << error;
  const auto changes = DiffRegistry(before, after);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].value, "New");
  EXPECT_FALSE(changes[0].before);
  EXPECT_EQ(*changes[0].after, "hex:01");
  EXPECT_EQ(changes[1].value, "Gone");
  EXPECT_EQ(*changes[1].before, "dword:00000001");
  EXPECT_FALSE(changes[1].after);
}

}  // namespace
}  // namespace sim
