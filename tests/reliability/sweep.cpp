// vorn_sweep: every platform call of a run, failed once each.
//
// For each scenario, a reference run on a fresh simulated device records the
// sequence of port calls. Then, once per call, the run is repeated on a fresh
// device with that one call failing (occurrence-exact, with an error Windows
// gives for it, see fault_codes.h), and each faulted run must
//   - end normally: RunProcess returns, not E_UNEXPECTED, the device saves;
//   - report at most one summary, exactly one where the job reached it;
//   - leave no partial file: no file the reference run does not leave, every
//     XML file well-formed, every other file old or as the reference has it;
//   - be followed by clean boots after which the device has the identity the
//     reference run converges to (and, where the system shows the behaviour,
//     the identity the device's hardware calls for).
// Prints the figures and every failure; the exit code is 1 on any failure.
//
//   vorn_sweep [--all-codes] [SCENARIO...]
// --all-codes tries every listed error of every call, not one per call.
#include <libxml/parser.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "device/codepage.h"
#include "tests/support/image_info_registry.h"
#include "tests/support/testing.h"
#include "tests/reliability/fault_codes.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;
using sim::Json;

constexpr int kUnexpectedExit = static_cast<int>(0x8000FFFFu);
constexpr char kSuccess[] = "VORN completed successfully";
constexpr char kFailure[] = "One or more tasks where not executed properly.";
constexpr char kNoImage[] = "No imageinformations were found in the registry";
constexpr char kFilter[] = "An WriteFilter is active. Stopping execution.";
// Clean boots allowed after a faulted run before the identity must be right.
constexpr int kRecoveryBoots = 3;

// ---------------------------------------------------------------------------
// The devices.

const std::string kImage =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n\r\n" +
    sim::ImageInfoRegistry() +
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex]\r\n"
    "\"InstallationPath\"=\"C:\\\\Quorvex\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Quorvex System Service]\r\n"
    "\"DependOnService\"=hex(7):52,00,50,00,43,00,53,00,53,00,00,00,00,00\r\n\r\n";

const char kAppId[] =
    "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n"
    "@=\"VORN\"\r\n"
    "\"LocalService\"=\"VORN\"\r\n\r\n";

// What a device that has run before holds: its name in effect, the route
// net id and the UPnP registration's identity.
const char kSteadyIdentity[] =
    "[HKEY_LOCAL_MACHINE\\software\\Talvenor\\IPC]\r\n"
    "\"LastComputerName\"=hex(1):4b,00,51,00,35,00,5f,00,31,00,32,00,41,00,42,00,33,00,43,00,00,00\r\n"
    "\"FirstMACId\"=hex:00,01,05,12,ab,3c\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n"
    "\"OlmNetId\"=hex:05,12,ab,3c,01,01\r\n\r\n";

const char kDstOn[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch]\r\n"
    "\"enableDSTPatch\"=dword:00000001\r\n"
    "\"DST\"=dword:00000002\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n"
    "\"DST\"=dword:00000001\r\n\r\n";

const char kAdapters[] =
    R"("adapters": [
      {"description": "Intel(R) PRO/100 VE Network Connection", "address": "00-01-05-12-AB-3C"},
      {"description": "Realtek RTL8139 Family PCI Fast Ethernet NIC", "address": "00-E0-4C-68-01-22"}])";

// The display init command's data: 12 bytes before the two lines, 4 after.
std::string BootConfig(const std::string& lines) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
         "<QvBootProject version=\"3.4\">\r\n"
         "  <InitCmds>\r\n"
         "    <InitCmd>\r\n"
         "      <key>Init0\\Sys: Set Cycle Time</key>\r\n"
         "      <port>100</port>\r\n"
         "      <iGrp>16384</iGrp>\r\n"
         "      <iOffs>1</iOffs>\r\n"
         "      <data>10270000</data>\r\n"
         "      <comment>cycle time 10 ms</comment>\r\n"
         "    </InitCmd>\r\n"
         "    <InitCmd>\r\n"
         "      <key>Init1\\IO: Create Devices</key>\r\n"
         "      <port>300</port>\r\n"
         "      <iGrp>20481</iGrp>\r\n"
         "      <iOffs>33</iOffs>\r\n"
         "      <data>0A0000000100000014000000" + lines + "FF000000</data>\r\n"
         "      <comment>LCD 2x17</comment>\r\n"
         "    </InitCmd>\r\n"
         "  </InitCmds>\r\n"
         "</QvBootProject>\r\n";
}

std::string EncodeLine(const std::string& text) {
  std::string out;
  char digits[3];
  for (std::size_t i = 0; i < 17; ++i) {
    unsigned byte = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    std::snprintf(digits, sizeof digits, "%02x", byte);
    out += digits;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Scenarios.

struct Scenario {
  std::string name;
  std::string registry;
  std::string deviceJson;
  std::map<std::string, std::string> files;  // device-relative path: bytes
  std::vector<std::string> setup;            // clean runs before the recorded one
  std::string arguments;                     // the recorded run's command line
  // Compare the whole registry (canonically) after recovery with the
  // reference's. Off where a run legitimately depends on the fault (the
  // clock correction under a write filter depends on which record it saw).
  bool compareRegistry = true;
  // Compare the identity after recovery with the reference's. Off under an
  // active write filter: a real filter discards writes at restart, which the
  // simulated disk does not, so a fault that hides the filter leaves writes
  // a real device would lose.
  bool compareIdentity = true;
  // The identity the hardware calls for applies after recovery.
  bool expectsIdentity = false;
};

std::vector<Scenario> Scenarios() {
  const std::string oldLines = EncodeLine("KQ5020 XPE v2.0") + EncodeLine("Name: QZ_IPC");
  const std::string newLines = EncodeLine("KQ5020 XPE v2.1") + EncodeLine("Name: KQ5_12AB3C");
  const std::string scm = R"({"startedBy": "scm", )";
  std::vector<Scenario> out;

  Scenario first;
  first.name = "first-boot";
  first.registry = kImage + kAppId;
  first.deviceJson = scm + kAdapters + "}";
  first.files["c/Quorvex/DefaultConfig.xml"] = BootConfig(oldLines);
  first.expectsIdentity = true;
  out.push_back(first);

  Scenario steady = first;
  steady.name = "steady-boot";
  steady.registry = kImage + kAppId + kSteadyIdentity;
  steady.deviceJson = scm + R"("hostName": "KQ5_12AB3C", )" + kAdapters + "}";
  steady.files["c/Quorvex/DefaultConfig.xml"] = BootConfig(newLines);
  out.push_back(steady);

  Scenario filter = steady;
  filter.name = "write-filter-dst";
  filter.registry = kImage + kAppId + kSteadyIdentity + kDstOn;
  filter.deviceJson = scm + R"("hostName": "KQ5_12AB3C", "fbwf": {"current": 1, "next": 1},
      "timeZone": {"id": 2, "daylightBias": -60}, "localTime": "2026-03-29T03:30:00.000",
      "messages": [{"timeChange": 1}],
      "serviceControls": [{"at": "inWatch", "code": 1}], )" + kAdapters + "}";
  filter.compareRegistry = false;
  filter.compareIdentity = false;
  filter.expectsIdentity = false;
  out.push_back(filter);

  // The verbs, by hand from an administrator's command prompt.
  Scenario verb;
  verb.registry = kImage;
  verb.deviceJson = std::string("{") + kAdapters + "}";
  verb.files["c/Quorvex/DefaultConfig.xml"] = BootConfig(newLines);
  for (const char* name : {"Service", "RegServer"}) {
    verb.name = std::string("verb-") + name;
    verb.arguments = std::string("-") + name;
    out.push_back(verb);
  }
  verb.name = "verb-UnregServer";
  verb.setup = {"-Service"};
  verb.arguments = "-UnregServer";
  out.push_back(verb);
  verb.setup.clear();
  verb.registry = kImage + kAppId + kDstOn;
  for (const char* name : {"enabledst", "disabledst"}) {
    verb.name = std::string("verb-") + name;
    verb.arguments = std::string("-") + name;
    out.push_back(verb);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Observing a device.

bool WellFormedXml(const std::string& bytes) {
  xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR |
                                             XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  xmlFreeDoc(doc);
  return true;
}

std::vector<xmlNodePtr> Elements(xmlNodePtr parent) {
  std::vector<xmlNodePtr> out;
  for (xmlNodePtr n = parent->children; n != nullptr; n = n->next) {
    if (n->type == XML_ELEMENT_NODE) out.push_back(n);
  }
  return out;
}

std::string Content(xmlNodePtr node) {
  xmlChar* text = xmlNodeGetContent(node);
  std::string out = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  xmlFree(text);
  return out;
}

// Digits 24 to 91 of the display init command's data, or why there are none.
std::string DisplayLines(const std::string& bytes) {
  xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR |
                                             XML_PARSE_NOWARNING);
  if (doc == nullptr) return "(not well-formed)";
  std::string found = "(no display init command)";
  xmlNodePtr root = xmlDocGetRootElement(doc);
  for (xmlNodePtr cmds : Elements(root)) {
    if (std::strcmp(reinterpret_cast<const char*>(cmds->name), "InitCmds") != 0) continue;
    for (xmlNodePtr cmd : Elements(cmds)) {
      auto c = Elements(cmd);
      if (c.size() != 6 || Content(c[0]) != "Init1\\IO: Create Devices" ||
          Content(c[1]) != "300" || Content(c[2]) != "20481" || Content(c[3]) != "33") {
        continue;
      }
      std::string data = Content(c[4]);
      found = data.size() >= 92 ? data.substr(24, 68) : "(data too short)";
    }
  }
  xmlFreeDoc(doc);
  return found;
}

// The lines of `b` not in `a` (+) and of `a` not in `b` (-), a few of each.
std::string LineDiff(const std::string& a, const std::string& b) {
  auto lines = [](const std::string& text) {
    std::multiset<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.insert(line);
    return out;
  };
  auto la = lines(a), lb = lines(b);
  std::string out;
  int shown = 0;
  for (const auto& l : lb) {
    if (la.count(l) < lb.count(l) && shown++ < 4) out += "\n        + " + l;
  }
  for (const auto& l : la) {
    if (lb.count(l) < la.count(l) && shown++ < 8) out += "\n        - " + l;
  }
  return out;
}

std::map<std::string, std::string> DriveFiles(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& drive : fs::directory_iterator(folder)) {
    if (!drive.is_directory() || drive.path().filename().string().size() != 1) continue;
    for (const auto& f : fs::recursive_directory_iterator(drive.path())) {
      if (!f.is_regular_file()) continue;
      std::ifstream in(f.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      out[fs::relative(f.path(), folder).generic_string()] = bytes.str();
    }
  }
  return out;
}

std::string ValueText(sim::Hive& hive, const std::u16string& key, const std::u16string& name) {
  sim::HiveKey* k = hive.Find(sim::SplitKeyPath(key));
  if (k == nullptr) return "(no key)";
  sim::HiveValue* v = k->FindValue(name);
  if (v == nullptr) return "(absent)";
  return std::to_string(v->type) + ":" + sim::HexBytes(v->data.data(), v->data.size());
}

void CanonicalKey(sim::HiveKey& key, const std::string& path, std::string* out) {
  auto lower = [](const std::u16string& s) {
    std::string t = sim::Utf16ToUtf8(s);
    for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  std::map<std::string, const sim::HiveValue*> values;
  for (const auto& v : key.values) values[lower(v.name)] = &v;
  for (const auto& [name, v] : values) {
    *out += path + " | " + name + " = " + std::to_string(v->type) + ":" +
            sim::HexBytes(v->data.data(), v->data.size()) + "\n";
  }
  std::map<std::string, sim::HiveKey*> subs;
  for (const auto& s : key.subKeys) subs[lower(s->name)] = s.get();
  for (const auto& [name, s] : subs) {
    *out += path + "\\" + name + "\n";
    CanonicalKey(*s, path + "\\" + name, out);
  }
}

struct Identity {
  std::map<std::string, std::string> fields;
  std::string registry;  // canonical
};

Identity Snapshot(sim::TestDevice& device) {
  Identity id;
  sim::DeviceState& s = device.device().state();
  // As the next boot sees it: a scheduled restart has then happened.
  std::string name = s.hostName;
  if (s.restartScheduled && s.pendingHostName) name = *s.pendingHostName;
  id.fields["computer name"] = name;
  sim::Hive& hive = device.device().hive();
  id.fields["OlmNetId"] = ValueText(hive, u"SOFTWARE\\Talvenor\\Quorvex\\System", u"OlmNetId");
  id.fields["LastComputerName"] = ValueText(hive, u"SOFTWARE\\Talvenor\\IPC", u"LastComputerName");
  id.fields["FirstMACId"] = ValueText(hive, u"SOFTWARE\\Talvenor\\IPC", u"FirstMACId");
  auto files = DriveFiles(device.folder());
  auto config = files.find("c/Quorvex/DefaultConfig.xml");
  id.fields["display data"] =
      config == files.end() ? "(no file)" : DisplayLines(config->second);
  CanonicalKey(hive.LocalMachine(), "HKLM", &id.registry);
  return id;
}

// The identity the adapter 00-01-05-12-AB-3C calls for on a KQ5020 image.
std::map<std::string, std::string> ExpectedIdentity() {
  std::string name = "KQ5_12AB3C";
  std::vector<std::uint8_t> wide;
  for (char c : name) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(0);
  }
  // Stored with the terminator that RegSetValueExA adds to the name's count.
  wide.insert(wide.end(), {0, 0});
  return {{"computer name", name},
          {"OlmNetId", "3:0512ab3c0101"},
          {"LastComputerName", "1:" + sim::HexBytes(wide.data(), wide.size())},
          {"FirstMACId", "3:00010512ab3c"},
          {"display data", EncodeLine("KQ5020 XPE v2.1") + EncodeLine("Name: " + name)}};
}

// ---------------------------------------------------------------------------
// Running.

struct Run {
  int code = 0;
  std::string error;  // the device could not be loaded or saved
  std::vector<std::string> calls;
  std::vector<Json> journal;
};

Run RunOnce(sim::TestDevice& device, const std::string& arguments,
            const std::vector<sim::SimFault>& faults = {}) {
  Run run;
  try {
    device.Reload();  // a fresh process: call counts start at zero
    device.device().state().faults = faults;
    run.code = device.Run(arguments);
  } catch (const std::exception& e) {
    run.error = e.what();
  }
  run.calls = device.device().calls();
  run.journal = device.device().JournalRecords();
  return run;
}

std::unique_ptr<sim::TestDevice> Fresh(const Scenario& s) {
  auto device = std::make_unique<sim::TestDevice>(s.registry, s.deviceJson);
  for (const auto& [path, bytes] : s.files) device->Write(path, bytes);
  for (const auto& args : s.setup) RunOnce(*device, args);
  return device;
}

int CountEvents(const Run& run, std::initializer_list<const char*> texts) {
  int n = 0;
  for (const auto& r : run.journal) {
    if (r.value("kind", "") != "event") continue;
    for (const char* t : texts) n += r.value("text", "") == t;
  }
  return n;
}

bool Has(const std::vector<std::string>& calls, const std::string& name) {
  return std::find(calls.begin(), calls.end(), name) != calls.end();
}

// Clean boots until one schedules no restart. False when they never settle.
bool Recover(sim::TestDevice& device, const Scenario& s, std::string* problem) {
  if (!s.arguments.empty()) {
    Run again = RunOnce(device, s.arguments);
    if (!again.error.empty() || again.code == kUnexpectedExit) {
      *problem = "the clean repeat of " + s.arguments + " did not end normally";
      return false;
    }
  }
  for (int boot = 0; boot < kRecoveryBoots; ++boot) {
    Run run = RunOnce(device, "");
    if (!run.error.empty() || run.code == kUnexpectedExit) {
      *problem = "clean boot " + std::to_string(boot + 1) + " did not end normally: " +
                 (run.error.empty() ? "exit 0x8000FFFF" : run.error);
      return false;
    }
    if (!device.device().state().restartScheduled) return true;
  }
  *problem = "still scheduling restarts after " + std::to_string(kRecoveryBoots) + " clean boots";
  return false;
}

struct Reference {
  Run run;
  std::map<std::string, std::string> filesAfter;  // after the run, and after recovery
  std::map<std::string, std::string> filesRecovered;
  Identity identity;
  int terminal = 0;
};

// What the system shows it does, judged on the first boot's reference: an
// identity check applies only to behaviour the system has.
struct Behaviour {
  std::map<std::string, bool> present;
};

struct Tally {
  int made = 0;
  int held = 0;
  std::vector<std::string> failures;
  std::set<std::string> untabled;
};

std::string Describe(const sim::SimFault& f) {
  char code[16];
  std::snprintf(code, sizeof code, f.error > 0xFFFF ? "0x%08X" : "%u", f.error);
  return f.call + "#" + std::to_string(f.occurrence) + " -> " + code;
}

void Check(const Scenario& s, const Reference& ref, const Behaviour& behaviour,
           const std::map<std::string, std::string>& initialFiles, const sim::SimFault& fault,
           Tally* tally) {
  std::vector<std::string> problems;
  auto device = Fresh(s);
  Run run = RunOnce(*device, s.arguments, {fault});

  if (!run.error.empty()) problems.push_back("device not saved: " + run.error);
  if (run.code == kUnexpectedExit) problems.push_back("something escaped RunProcess");

  const int summaries = CountEvents(run, {kSuccess, kFailure});
  const int terminal = CountEvents(run, {kSuccess, kFailure, kNoImage, kFilter});
  const bool eventsLost = fault.call == "ReportEventA" || fault.call == "RegisterEventSourceA";
  if (summaries > 1 || terminal > 1) {
    problems.push_back(std::to_string(terminal) + " final events");
  } else if (ref.terminal == 1 && Has(run.calls, "CoInitialize") && terminal == 0 &&
             !eventsLost) {
    problems.push_back("the job ran but reported no final event");
  }

  auto files = DriveFiles(device->folder());
  for (const auto& [path, bytes] : files) {
    auto known = [&](const std::map<std::string, std::string>& set) {
      auto it = set.find(path);
      return it != set.end() ? std::optional<std::string>(it->second) : std::nullopt;
    };
    auto before = known(initialFiles);
    auto after = known(ref.filesAfter);
    auto recovered = known(ref.filesRecovered);
    if (!before && !after && !recovered) {
      // A file of its own (a backup, a temporary) must at least be whole;
      // recovery must remove it (checked below).
      bool whole = WellFormedXml(bytes);
      for (const auto* set : {&initialFiles, &ref.filesAfter, &ref.filesRecovered}) {
        for (const auto& [p, b] : *set) whole = whole || b == bytes;
      }
      if (!whole) problems.push_back("left the partial file " + path);
    } else if (path.size() > 4 && path.compare(path.size() - 4, 4, ".xml") == 0) {
      if (!WellFormedXml(bytes)) problems.push_back("left " + path + " not well-formed");
    } else if (bytes != before && bytes != after && bytes != recovered) {
      problems.push_back("left " + path + " neither old nor new");
    }
  }

  std::string why;
  if (!Recover(*device, s, &why)) {
    problems.push_back(why);
  } else {
    Identity id = Snapshot(*device);
    if (s.compareIdentity) {
      for (const auto& [field, value] : ref.identity.fields) {
        if (id.fields[field] != value) {
          problems.push_back("after recovery " + field + " is " + id.fields[field] +
                             ", the reference has " + value);
        }
      }
    }
    if (s.compareRegistry && id.registry != ref.identity.registry) {
      problems.push_back("after recovery the registry differs from the reference's:" +
                         LineDiff(ref.identity.registry, id.registry));
    }
    auto recovered = DriveFiles(device->folder());
    for (const auto& [path, bytes] : recovered) {
      if (ref.filesRecovered.count(path) == 0) {
        problems.push_back("the file " + path + " is still there after recovery");
      }
    }
    if (s.expectsIdentity) {
      for (const auto& [field, value] : ExpectedIdentity()) {
        if (behaviour.present.at(field) && id.fields[field] != value) {
          problems.push_back("after recovery " + field + " is " + id.fields[field] +
                             ", the hardware calls for " + value);
        }
      }
    }
  }

  ++tally->made;
  if (problems.empty()) {
    ++tally->held;
    return;
  }
  std::string line = s.name + ": " + Describe(fault) + ":";
  for (const auto& p : problems) line += "\n      " + p;
  tally->failures.push_back(line);
}

Reference MakeReference(const Scenario& s, std::vector<std::string>* problems) {
  Reference ref;
  auto device = Fresh(s);
  ref.run = RunOnce(*device, s.arguments);
  if (!ref.run.error.empty()) problems->push_back("reference run: " + ref.run.error);
  if (ref.run.code == kUnexpectedExit) problems->push_back("reference run: something escaped");
  ref.terminal = CountEvents(ref.run, {kSuccess, kFailure, kNoImage, kFilter});
  ref.filesAfter = DriveFiles(device->folder());
  std::string why;
  if (!Recover(*device, s, &why)) problems->push_back("reference recovery: " + why);
  ref.filesRecovered = DriveFiles(device->folder());
  ref.identity = Snapshot(*device);
  return ref;
}

// Which identity behaviour the system has: the first boot's reference shows
// it by changing the field from what the fresh device holds.
Behaviour Detect(const Scenario& first, const Reference& ref) {
  Behaviour b;
  auto fresh = Fresh(first);
  Identity before = Snapshot(*fresh);
  for (const auto& [field, value] : ExpectedIdentity()) {
    b.present[field] = ref.identity.fields.at(field) != before.fields.at(field);
  }
  return b;
}

int Main(int argc, char** argv) {
  bool allCodes = false;
  std::set<std::string> only;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--all-codes") {
      allCodes = true;
    } else {
      only.insert(a);
    }
  }
  std::vector<Scenario> scenarios = Scenarios();
  std::vector<std::string> setupProblems;
  Reference firstRef = MakeReference(scenarios[0], &setupProblems);
  Behaviour behaviour = Detect(scenarios[0], firstRef);

  std::cout << "identity behaviour the first boot shows (checked against the hardware only "
               "where present):\n";
  for (const auto& [field, present] : behaviour.present) {
    std::cout << "  " << field << ": "
              << (present ? "present"
                          : "NOT PRESENT - the first boot leaves it as it was; its expected "
                            "value is not checked")
              << "\n";
  }

  Tally total;
  for (const auto& s : scenarios) {
    if (!only.empty() && only.count(s.name) == 0) continue;
    std::vector<std::string> problems;
    Reference ref = MakeReference(s, &problems);
    if (s.expectsIdentity) {
      for (const auto& [field, value] : ExpectedIdentity()) {
        if (behaviour.present[field] && ref.identity.fields[field] != value) {
          problems.push_back("reference: " + field + " is " + ref.identity.fields[field] +
                             ", the hardware calls for " + value);
        }
      }
    }
    for (const auto& p : problems) total.failures.push_back(s.name + ": " + p);
    auto initialFiles = DriveFiles(Fresh(s)->folder());

    Tally tally;
    std::map<std::string, std::uint32_t> occurrence;
    for (const auto& call : ref.run.calls) {
      const std::uint32_t n = ++occurrence[call];
      bool known;
      std::vector<std::uint32_t> errors = FaultCodesFor(call, &known);
      if (!known) total.untabled.insert(call);
      if (!allCodes) errors = {errors[(n - 1) % errors.size()]};
      for (std::uint32_t error : errors) {
        Check(s, ref, behaviour, initialFiles, sim::SimFault{call, n, error}, &tally);
      }
    }
    std::printf("%-18s %4zu calls, %4d faulted runs, %4d held\n", s.name.c_str(),
                ref.run.calls.size(), tally.made, tally.held);
    total.made += tally.made;
    total.held += tally.held;
    for (auto& f : tally.failures) total.failures.push_back(std::move(f));
  }
  for (const auto& p : setupProblems) total.failures.push_back(p);

  if (!total.untabled.empty()) {
    std::cout << "calls without their own error codes (failed with the fallback):";
    for (const auto& c : total.untabled) std::cout << " " << c;
    std::cout << "\n";
  }
  for (const auto& f : total.failures) std::cout << "FAILED " << f << "\n";
  std::printf("failure sweep: %d faulted runs made, %d held, %zu failures\n", total.made,
              total.held, total.failures.size());
  return total.failures.empty() ? 0 : 1;
}

}  // namespace
}  // namespace reliability

int main(int argc, char** argv) { return reliability::Main(argc, argv); }
