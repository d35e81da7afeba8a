// vorn-wine-device prepare: what the runner seeds into the Wine prefix, and
// which device fields Wine cannot realise.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "device/codepage.h"
#include "device/device.h"
#include "device/reg_file.h"
#include "device/services.h"
#include "os/sim/vorn_resources.h"
#include "device/whole_file.h"
#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"
#include "tests/wine/wine_faults.h"
#include "tests/wine/wine_raw.h"

namespace wine {
namespace fs = std::filesystem;
using sim::Json;

namespace {

const char kDefaultLocalTime[] = "2026-01-15T08:00:00.000";

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Fields realised on Wine only in some of their values: the value is
// checked, and an unsupported one named.
class Support {
 public:
  explicit Support(const Json& json) : json_(json) {}
  void Need(const char* field, bool realisable, const std::string& why = "") {
    if (!json_.contains(field) || realisable) return;
    unsupported_.insert(field);
    if (!why.empty()) reasons_[field] = why;
  }
  void Unknown(const std::set<std::string>& known) {
    for (const auto& [key, value] : json_.items()) {
      if (!known.count(key)) unsupported_.insert(key);
    }
  }
  bool Report() const {
    for (const std::string& f : unsupported_) {
      const auto why = reasons_.find(f);
      std::cout << "unsupported: " << f << (why == reasons_.end() ? "" : " (" + why->second + ")") << "\n";
    }
    return unsupported_.empty();
  }
  const Json& json() const { return json_; }

 private:
  const Json& json_;
  std::set<std::string> unsupported_;
  std::map<std::string, std::string> reasons_;
};

// Only the 64-bit test build carries the failure injection; the shipped
// 32-bit build (VORN_WINE_ARCH=win32) has none.
constexpr char kNoInjection[] = "the 32-bit build has no failure injection";
bool Injects() { return Win64Run(); }
constexpr std::uint32_t kErrorBufferOverflow = 111;
constexpr std::uint32_t kErrorShutdownInProgress = 1115;
constexpr std::uint32_t kErrorPrivilegeNotHeld = 1314;

bool NullOr(const Json& j, const char* field) {
  return !j.contains(field) || j[field].is_null();
}

// A zone whose state right now is the one asked for, with the default
// daylight bias of -60 minutes: one northern and one southern zone cover
// standard and daylight time in every season.
std::string ZoneFor(std::uint32_t id) {
  const char* zones[] = {"Europe/Berlin", "Australia/Sydney"};
  for (const char* zone : zones) {
    setenv("TZ", zone, 1);
    tzset();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    if ((local.tm_isdst > 0 ? 2u : 1u) == id) return zone;
  }
  return "";
}

// The keys "protectedKeys" names, one a line as the device spells them
// (HKEY_LOCAL_MACHINE\...): the run gives each a security that grants
// reading only (vorn-protect.exe), and the test build's injection refuses
// creating a key below one, which Wine does not check. False when one is
// not in the device's registry: Wine keeps no security for a key that
// does not exist yet.
bool ProtectedKeys(sim::Device& device, std::string* list) {
  for (const std::string& text : device.state().protectedKeys) {
    const std::vector<std::u16string> path = sim::ProtectedKeyPath(text);
    if (path.empty() || device.hive().Find(path) == nullptr) return false;
    *list += device.KeyName(path) + "\n";
  }
  return true;
}

void CheckFields(Support& s, const sim::DeviceState& d, bool keysHeld, std::string* zone) {
  const Json& j = s.json();
  s.Unknown({"imagePath", "startedBy", "hostName", "pendingHostName", "adapters",
             "adaptersError", "fbwf", "ewf", "timeZone", "localTime", "shutdownPrivilege",
             "restartScheduled", "shutdownInProgress", "upnp", "messages",
             "serviceControls", "protectedKeys", "faults", "strings", "powerCut",
             "readOnlyFiles"});
  bool adaptersOk = true;
  for (const sim::SimAdapter& a : d.adapters) {
    // veth takes 6-byte unicast addresses only.
    adaptersOk = adaptersOk && a.address.size() == 6 && (a.address[0] & 1) == 0;
  }
  s.Need("adapters", adaptersOk);
  // A failure the 64-bit build's injection gives (see FaultList); a code
  // that answers success or asks for a larger buffer would be made up.
  s.Need("adaptersError", !d.adaptersError || (Injects() && *d.adaptersError != 0 &&
                                               *d.adaptersError != kErrorBufferOverflow),
         Injects() ? "0 and 111 are not failures" : kNoInjection);
  *zone = d.daylightBias == -60 ? ZoneFor(d.timeZoneId) : "";
  s.Need("timeZone", !zone->empty());
  s.Need("localTime", j.value("localTime", kDefaultLocalTime) == kDefaultLocalTime);
  s.Need("shutdownPrivilege", d.shutdownPrivilege || Injects(), kNoInjection);
  s.Need("shutdownInProgress", !d.shutdownInProgress || Injects(), kNoInjection);
  bool messagesOk = true;
  for (const sim::SimMessage& m : d.messages) {
    // The zone cannot change during a run: only a time change that leaves
    // the state as it is can be sent.
    messagesOk = messagesOk && (m.kind != sim::SimMessage::kTimeChange || m.value == d.timeZoneId);
  }
  s.Need("messages", messagesOk);
  // sc sends stop, pause, continue, interrogate and the user codes; only
  // the system sends a shutdown.
  bool controlsOk = true;
  for (const sim::SimServiceControl& c : d.serviceControls) {
    controlsOk = controlsOk && ((c.code >= 1 && c.code <= 4) || (c.code >= 128 && c.code <= 255));
  }
  s.Need("serviceControls", controlsOk, "sc cannot send a shutdown or a code outside 128 to 255");
  s.Need("protectedKeys", d.protectedKeys.empty() || (Injects() && keysHeld),
         Injects() ? "a key the device's registry does not hold" : kNoInjection);
  std::string why = Injects() ? "" : kNoInjection;
  for (const sim::SimFault& f : d.faults) {
    if (why.empty()) why = WhyNotInjectable(f.call);
  }
  s.Need("faults", d.faults.empty() || why.empty(), why);
  s.Need("strings", d.strings == std::map<std::uint32_t, std::string>{{100, "VORN"}});
  s.Need("powerCut", NullOr(j, "powerCut"));
}

std::string ControlKey(const sim::DeviceState& d) {
  std::ostringstream out;
  char buf[16];
  auto dword = [&](const char* name, std::uint32_t v) {
    std::snprintf(buf, sizeof buf, "%08x", v);
    out << "\"" << name << "\"=dword:" << buf << "\r\n";
  };
  out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornTest]\r\n";
  dword("FbwfStatus", d.fbwfStatus.value_or(0));
  dword("FbwfCurrent", d.fbwfCurrent);
  dword("FbwfNext", d.fbwfNext);
  dword("UnregisterResult", static_cast<std::uint32_t>(d.upnp.unregisterResult.value_or(0)));
  dword("RegisterResult", static_cast<std::uint32_t>(d.upnp.registerResult.value_or(0)));
  dword("RegistrarRunsMs", d.upnp.toolRunsSeconds
                               ? static_cast<std::uint32_t>(*d.upnp.toolRunsSeconds * 1000.0)
                               : 0xFFFFFFFFu);
  out << "\r\n";
  if (d.ewf) {
    out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornTest\\Ewf]\r\n\r\n";
    for (std::size_t i = 0; i < d.ewf->size(); ++i) {
      const sim::SimEwfVolume& v = (*d.ewf)[i];
      out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornTest\\Ewf\\" << i << "]\r\n";
      dword("State", v.state);
      dword("OpenFails", v.openFails ? 1 : 0);
      dword("ConfigFails", v.configFails.value_or(0));
      dword("CloseFails", v.closeFails.value_or(0));
      out << "\r\n";
    }
  }
  return out.str();
}

// The device's faults for the injection in the 64-bit test build
// (tests/wine/fault_injection_win64.cpp), placed as C:\vorntest\faults.txt.
// Device conditions that are failures of one call come after the faults,
// which the simulated device also asks first: "adaptersError" fails every
// GetAdaptersInfo with its code, "shutdownInProgress" every restart request
// with ERROR_SHUTDOWN_IN_PROGRESS, a "shutdownPrivilege" false every one
// with ERROR_PRIVILEGE_NOT_HELD (Wine grants every privilege and its
// request is a stub that checks none; what XP's AdjustTokenPrivileges
// says of a privilege not held, ERROR_NOT_ALL_ASSIGNED with success, is
// not given: VORN.EXE leaves the refusal to the request).
std::string FaultList(const sim::DeviceState& d) {
  std::vector<Fault> faults;
  for (const sim::SimFault& f : d.faults) faults.push_back({f.call, f.occurrence, f.error});
  if (d.adaptersError) faults.push_back({"GetAdaptersInfo", 0, *d.adaptersError});
  if (d.shutdownInProgress) {
    faults.push_back({"InitiateSystemShutdownA", 0, kErrorShutdownInProgress});
  }
  if (!d.shutdownPrivilege) faults.push_back({"InitiateSystemShutdownA", 0, kErrorPrivilegeNotHeld});
  return WriteFaults(faults);
}

// The device's host name and adapters, which the runner's shell sets up in
// its namespaces (shell variables).
std::string Plan(sim::Device& device) {
  const sim::DeviceState& d = device.state();
  std::ostringstream out;
  out << "HOST_NAME=" << Quote(d.hostName) << "\n";
  out << "ADAPTER_NAMES=(";
  for (std::size_t i = 0; i < d.adapters.size(); ++i) {
    out << " " << Quote(InterfaceName(d.adapters[i].description, i));
  }
  out << " )\nADAPTER_MACS=(";
  for (const sim::SimAdapter& a : d.adapters) {
    std::string mac = sim::HexBytes(a.address.data(), a.address.size());
    for (std::size_t at = mac.size() - 2; at > 0 && at < mac.size(); at -= 2) mac.insert(at, ":");
    out << " " << Quote(mac);
  }
  out << " )\n";
  return out.str();
}

// The messages as the helper vorn-timechange.exe takes them: its
// arguments for each ("": the time change).
Json Messages(const sim::DeviceState& d) {
  Json messages = Json::array();
  for (const sim::SimMessage& m : d.messages) {
    messages.push_back(m.kind == sim::SimMessage::kTimeChange ? ""
                       : m.kind == sim::SimMessage::kQuit
                           ? "--quit"
                           : "--post " + std::to_string(m.value));
  }
  return messages;
}

Json Controls(const sim::DeviceState& d) {
  Json controls = Json::array();
  for (const sim::SimServiceControl& c : d.serviceControls) {
    controls.push_back({{"at", c.at}, {"code", c.code}});
  }
  return controls;
}

// What the run needs besides the files: how VORN.EXE is started and what
// is sent to it.
std::string RunPlan(sim::Device& device, const std::string& zone) {
  const sim::DeviceState& d = device.state();
  const Layout layout = LayoutOf(device);
  const Json plan = {{"imagePath", d.imagePath},
                     {"serviceCommand", layout.serviceCommand},
                     {"serviceName", d.strings.at(100)},
                     {"startedBy", d.startedBy},
                     {"timeZone", zone},
                     {"messages", Messages(d)},
                     {"controls", Controls(d)}};
  return plan.dump();
}

bool Below(const std::vector<std::u16string>& path, const std::vector<std::u16string>& root) {
  if (path.size() < root.size()) return false;
  for (std::size_t i = 0; i < root.size(); ++i) {
    if (!sim::NamesEqual(path[i], root[i])) return false;
  }
  return true;
}

void HeldKeys(sim::HiveKey& key, std::vector<std::u16string>& path,
              std::vector<std::vector<std::u16string>>* out) {
  if (key.hasSection) out->push_back(path);
  for (auto& sub : key.subKeys) {
    path.push_back(sub->name);
    HeldKeys(*sub, path, out);
    path.pop_back();
  }
}

// What the runner exports after the run: VORN's keys, the computer name,
// and every key the device held that lies outside them (one line each).
std::string ExportKeys(sim::Hive& hive) {
  auto keys = VornKeyRoots();
  keys.push_back(sim::SplitKeyPath(u"SYSTEM\\CurrentControlSet\\Control\\ComputerName"));
  const std::size_t roots = keys.size();
  std::vector<std::vector<std::u16string>> held;
  std::vector<std::u16string> start;
  HeldKeys(hive.LocalMachine(), start, &held);
  for (const auto& k : held) {
    bool covered = false;
    // Keys that only hold VORN's keys are not read back (see Finish).
    for (std::size_t i = 0; i < roots; ++i) covered = covered || Below(k, keys[i]) || Below(keys[i], k);
    if (!covered) keys.push_back(k);
  }
  std::string out;
  for (const auto& k : keys) {
    std::u16string line = u"HKEY_LOCAL_MACHINE";
    for (const auto& part : k) line += u"\\" + part;
    out += sim::Utf16ToCp1252(line) + "\n";
  }
  return out;
}

bool WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

sim::Hive& HoldBackAutoStart(sim::Hive& hive) {
  sim::HiveKey* services = hive.Find(sim::SplitKeyPath(kServicesKey));
  if (services == nullptr) return hive;
  for (auto& service : services->subKeys) {
    sim::HiveValue* start = service->FindValue(u"Start");
    if (start != nullptr && start->type == 4 && start->data.size() == 4 && start->data[0] <= 2 &&
        start->data[1] == 0 && start->data[2] == 0 && start->data[3] == 0) {
      start->data[0] = kHeldBackStart;
    }
  }
  return hive;
}

bool Win64Run() { return Env("VORN_WINE_ARCH", "win64") == "win64"; }

sim::Hive& PresentTypeLibraryAs64(sim::Hive& hive) {
  sim::HiveKey* library = hive.Find(sim::SplitKeyPath(
      u"SOFTWARE\\Classes\\TypeLib\\" + sim::Cp1252ToUtf16(sim::resources::kTypeLibId)));
  if (!Win64Run() || library == nullptr) return hive;
  for (auto& version : library->subKeys) {
    for (auto& locale : version->subKeys) {
      sim::HiveKey* win32 = locale->FindSubKey(u"win32");
      if (win32 != nullptr && locale->FindSubKey(u"win64") == nullptr) win32->name = u"win64";
    }
  }
  return hive;
}

Layout LayoutOf(sim::Device& device) {
  const sim::DeviceState& d = device.state();
  Layout layout;
  // A start by the service control manager: the command line is the
  // installed service's (empty: not installed, disabled or without one).
  std::string error;
  if (!sim::ServiceStartCommand(device, d.strings.at(100), &layout.serviceCommand,
                                &layout.serviceModule, &error)) {
    layout.serviceCommand.clear();
    layout.serviceModule.clear();
  }
  layout.imagePath = d.imagePath;
  const sim::SimUpnp& u = d.upnp;
  layout.upnpAgent = !u.library              ? ""
                     : !u.unregisterResult && !u.registerResult ? "UPnPAgent-noentry.dll"
                     : !u.unregisterResult ? "UPnPAgent-nounreg.dll"
                     : !u.registerResult   ? "UPnPAgent-noreg.dll"
                                           : "UPnPAgent.dll";
  layout.upnpTool = u.tool;
  layout.upnpToolStartable = u.toolStartable;
  layout.readOnlyFiles = d.readOnlyFiles;
  return layout;
}

std::string InterfaceName(const std::string& description, std::size_t index) {
  std::string lower;
  for (char c : description) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return (lower.find("intel") != std::string::npos ? "Intel" : "nic") + std::to_string(index);
}

int Prepare(const fs::path& folder, const fs::path& work) {
  sim::Device device;
  if (int rc = LoadDevice(folder, device)) return rc;
  std::string bytes;
  Json json = Json::object();
  if (ReadBytes(folder / "device.json", &bytes)) json = Json::parse(bytes, nullptr, false);
  Support support(json);
  std::string zone, protectedKeys;
  const bool keysHeld = ProtectedKeys(device, &protectedKeys);
  CheckFields(support, device.state(), keysHeld, &zone);
  if (!support.Report()) return 77;
  // One import: the device's registry, then the stand-ins' control key (in
  // the export's UTF-16LE).
  std::string seed =
      sim::WriteRegFile(PresentTypeLibraryAs64(HoldBackAutoStart(device.hive())));
  for (char c : ControlKey(device.state())) seed += std::string{c, '\0'};
  if (!WriteText(work / "seed.reg", seed) ||
      !WriteText(work / "export-keys.txt", ExportKeys(device.hive())) ||
      !WriteText(work / "plan.env", Plan(device)) ||
      !WriteText(work / "faults.txt", FaultList(device.state())) ||
      !WriteText(work / "protected-keys.txt", protectedKeys) ||
      !WriteText(work / "run.json", RunPlan(device, zone))) {
    std::cerr << "vorn-wine: cannot write to " << work << "\n";
    return 74;
  }
  return 0;
}

int SeedRaw(const fs::path& work, const fs::path& prefix) {
  std::string seedBytes, systemReg, seeded, error;
  sim::Hive seed;
  const fs::path target = prefix / "system.reg", next = prefix / "system.reg.new";
  if (!ReadBytes(work / "seed.reg", &seedBytes) || !sim::ParseRegFile(seedBytes, &seed, &error) ||
      !ReadBytes(target, &systemReg) || !SeedRawValues(seed, systemReg, &seeded, &error)) {
    std::cerr << "vorn-wine: cannot write the device's raw registry values: " << error << "\n";
    return 71;
  }
  std::error_code ec;
  if (!WriteText(next, seeded) || (fs::rename(next, target, ec), ec)) {
    std::cerr << "vorn-wine: cannot write " << target << "\n";
    fs::remove(next, ec);
    return 71;
  }
  return 0;
}

std::vector<std::vector<std::u16string>> VornKeyRoots() {
  const std::u16string services = u"SYSTEM\\CurrentControlSet\\Services\\";
  const std::u16string classes = u"SOFTWARE\\Classes\\";
  std::vector<std::u16string> paths = {
      u"SOFTWARE\\Talvenor",
      u"SOFTWARE\\DSTPatch",
      classes + u"AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}",
      classes + u"AppID\\VORN.EXE",
      classes + u"TypeLib\\" + sim::Cp1252ToUtf16(sim::resources::kTypeLibId),
      services + u"VORN",
      services + u"Eventlog\\Application\\VORN",
      services + u"Quorvex System Service",
  };
  std::vector<std::vector<std::u16string>> roots;
  for (const auto& p : paths) roots.push_back(sim::SplitKeyPath(p));
  return roots;
}

bool ReadBytes(const fs::path& path, std::string* bytes) {
  return sim::ReadFileBytes(path, bytes);
}

}  // namespace wine
