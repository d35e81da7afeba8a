// vorn-wine-device finish: what a Wine run showed, written back into the
// device folder in vorn-sim's form.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include "device/codepage.h"
#include "device/device.h"
#include "device/hive_values.h"
#include "device/reg_file.h"
#include "device/drives.h"
#include "tests/wine/wine_device.h"
#include "tests/wine/wine_raw.h"

namespace wine {
namespace fs = std::filesystem;
using sim::Json;

namespace {

using Path = std::vector<std::u16string>;

bool Below(const Path& path, const Path& root) {
  if (path.size() < root.size()) return false;
  for (std::size_t i = 0; i < root.size(); ++i) {
    if (!sim::NamesEqual(path[i], root[i])) return false;
  }
  return true;
}

bool IsClasses(const Path& path) {
  return Below(path, {u"SOFTWARE", u"Classes"});
}

// The values of `to` become those of `from`; values both hold keep their
// place and their name's spelling in `to`.
void SyncValues(sim::HiveKey& to, const sim::HiveKey& from) {
  for (std::size_t i = to.values.size(); i-- > 0;) {
    bool kept = false;
    for (const sim::HiveValue& v : from.values) kept = kept || sim::NamesEqual(v.name, to.values[i].name);
    if (!kept) to.values.erase(to.values.begin() + static_cast<long>(i));
  }
  for (const sim::HiveValue& v : from.values) {
    if (sim::HiveValue* mine = to.FindValue(v.name)) {
      mine->type = v.type;
      mine->data = v.data;
    } else {
      to.values.push_back(v);
    }
  }
}

// The whole subtree at `path` becomes Wine's.
void SyncTree(sim::Hive& hive, const Path& path, const sim::HiveKey& from) {
  sim::HiveKey* to = hive.Create(path, IsClasses(path), nullptr);
  SyncValues(*to, from);
  std::vector<std::u16string> gone;
  for (const auto& sub : to->subKeys) {
    bool kept = false;
    for (const auto& w : from.subKeys) kept = kept || sim::NamesEqual(w->name, sub->name);
    if (!kept) gone.push_back(sub->name);
  }
  for (const auto& name : gone) to->EraseSubKey(name);
  for (const auto& w : from.subKeys) {
    Path child = path;
    sim::HiveKey* existing = hive.Find(path)->FindSubKey(w->name);
    child.push_back(existing ? existing->name : w->name);
    SyncTree(hive, child, *w);
  }
}

void CollectKeys(sim::HiveKey& key, Path& path, std::vector<Path>* out) {
  if (key.hasSection) out->push_back(path);
  for (auto& sub : key.subKeys) {
    path.push_back(sub->name);
    CollectKeys(*sub, path, out);
    path.pop_back();
  }
}

// The device's registry after the run: every key it held with Wine's
// values (gone when Wine has it no more), and VORN's keys as Wine holds
// them.
void MergeRegistry(sim::Hive& device, sim::Hive& wine) {
  const auto roots = VornKeyRoots();
  std::vector<Path> held;
  Path start;
  CollectKeys(device.LocalMachine(), start, &held);
  for (const Path& key : held) {
    // VORN's keys and the keys that only hold them (created with them).
    bool vorn = false;
    for (const Path& r : roots) vorn = vorn || Below(key, r) || Below(r, key);
    if (vorn) continue;
    sim::HiveKey* w = wine.Find(key);
    sim::HiveKey* d = device.Find(key);
    if (d == nullptr) continue;
    if (w == nullptr) {
      device.Erase(key);
    } else {
      SyncValues(*d, *w);
    }
  }
  for (const Path& r : roots) {
    sim::HiveKey* w = wine.Find(r);
    if (w != nullptr) {
      SyncTree(device, r, *w);
    } else if (device.Find(r) != nullptr) {
      device.Erase(r);
    }
  }
}

void RestoreStartTypes(sim::Hive& device, sim::Hive& seeded, sim::Hive& wine) {
  const Path services = sim::SplitKeyPath(kServicesKey);
  sim::HiveKey* original = device.Find(services);
  if (original == nullptr) return;
  for (auto& service : original->subKeys) {
    Path path = services;
    path.push_back(service->name);
    sim::HiveKey* seed = seeded.Find(path);
    sim::HiveKey* now = wine.Find(path);
    sim::HiveValue* before = service->FindValue(u"Start");
    if (seed == nullptr || now == nullptr || before == nullptr) continue;
    sim::HiveValue* held = seed->FindValue(u"Start");
    sim::HiveValue* after = now->FindValue(u"Start");
    if (held && after && held->data != before->data && after->type == held->type &&
        after->data == held->data) {
      after->data = before->data;
    }
  }
}

// Undoes Wine's debug-string escapes (L"..." or "..."): \n \r \t \" \\,
// \XXXX (wide) and \xXX (narrow) for characters outside printable ASCII.
std::string Unescape(const std::string& quoted, bool* truncated) {
  std::u16string out;
  std::size_t i = quoted.find('"') + 1;
  for (; i < quoted.size() && quoted[i] != '"'; ++i) {
    char c = quoted[i];
    if (c != '\\' || i + 1 >= quoted.size()) {
      out += static_cast<char16_t>(static_cast<unsigned char>(c));
      continue;
    }
    char e = quoted[++i];
    if (e == 'n') out += u'\n';
    else if (e == 'r') out += u'\r';
    else if (e == 't') out += u'\t';
    else if (e == 'x') {
      out += sim::Cp1252ToUtf16(std::string(1, static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16))));
      i += 2;
    } else if (std::isxdigit(static_cast<unsigned char>(e))) {
      out += static_cast<char16_t>(std::stoi(quoted.substr(i, 4), nullptr, 16));
      i += 3;
    } else {
      out += static_cast<char16_t>(e);
    }
  }
  *truncated = quoted.compare(i + 1 < quoted.size() ? i + 1 : quoted.size(), 3, "...") == 0;
  return sim::Utf16ToUtf8(out);
}

// The computer-name calls VORN.EXE made, from Wine's relay trace of them
// (kRelayedCalls): the name as passed and the result, matched by thread.
void ParseNameCalls(const std::string& line, std::map<std::string, std::size_t>* open,
                    std::vector<Json>* records) {
  static const std::regex call(
      R"(([0-9a-f]+):Call kernelbase\.SetComputerName(?:Ex)?A\((?:[0-9a-f]+,)?[0-9a-f]+ (".*")\) ret=)");
  static const std::regex ret(
      R"(([0-9a-f]+):Ret  kernelbase\.SetComputerName(?:Ex)?A\(\) retval=([0-9a-f]+))");
  std::smatch m;
  bool truncated = false;
  if (std::regex_search(line, m, call)) {
    records->push_back({{"kind", "computerNameSet"}, {"name", Unescape(m[2].str(), &truncated)},
                        {"ok", false}});
    (*open)[m[1].str()] = records->size() - 1;
  } else if (std::regex_search(line, m, ret) && open->count(m[1].str()) != 0) {
    (*records)[(*open)[m[1].str()]]["ok"] = std::stoull(m[2].str(), nullptr, 16) != 0;
    open->erase(m[1].str());
  }
}

// The computer-name calls the test build's injection failed (the relay
// trace sees only calls that are made): "CALL ERROR NAME" lines.
void ParseFailedCalls(const std::string& text, std::vector<Json>* records) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string call, error;
    words >> call >> error;
    if (call != "SetComputerNameExA" && call != "SetComputerNameA") continue;
    const std::size_t at = line.find(' ', call.size() + 1);
    const std::string name = at == std::string::npos ? "" : line.substr(at + 1);
    records->push_back(
        {{"kind", "computerNameSet"}, {"name", sim::Utf16ToUtf8(sim::Cp1252ToUtf16(name))}, {"ok", false}});
  }
}

// Events and restart requests from Wine's debug log: the advapi fixme of
// RegisterEventSource names the source, the one of ReportEventW starts an
// event and gives its type, the eventlog channel carries its text a line at
// a time.
void ParseLog(const std::string& log, std::vector<Json>* records) {
  static const std::regex source(R"(fixme:advapi:RegisterEventSourceW \((?:[^,]*),(L".*")\))");
  static const std::regex report(R"(fixme:advapi:ReportEventW \([^,]*,0x([0-9a-f]{4}),)");
  static const std::regex text(R"((?:err|warn|trace):eventlog:ReportEventW (L".*))");
  static const std::regex shutdown(
      R"(fixme:advapi:InitiateSystemShutdownExA \S+ (".*") (\d+) (\d+) (\d+) 0x[0-9a-f]+)");
  std::istringstream in(log);
  std::string line, currentSource;
  // The event being put together, by index: the relay's records may be
  // added between its lines.
  std::optional<std::size_t> event;
  std::smatch m;
  bool truncated = false;
  std::map<std::string, std::size_t> nameCalls;
  while (std::getline(in, line)) {
    ParseNameCalls(line, &nameCalls, records);
    if (std::regex_search(line, m, source)) {
      currentSource = Unescape(m[1].str(), &truncated);
    } else if (std::regex_search(line, m, report)) {
      records->push_back({{"kind", "event"}, {"source", currentSource},
                          {"type", std::stoi(m[1].str(), nullptr, 16)}, {"text", ""}});
      event = records->size() - 1;
    } else if (std::regex_search(line, m, text) && event) {
      Json& e = (*records)[*event];
      e["text"] = e["text"].get<std::string>() + Unescape(m[1].str(), &truncated);
      if (truncated) e["truncated"] = true;
    } else if (std::regex_search(line, m, shutdown)) {
      records->push_back({{"kind", "restartRequest"}, {"message", Unescape(m[1].str(), &truncated)},
                          {"timeout", std::stoul(m[2].str())}, {"force", m[3].str() != "0"},
                          {"reboot", m[4].str() != "0"}, {"ok", true}});
      event.reset();
    }
  }
}

// The stand-ins' call log (C:\vorntest\calls.jsonl) in the journal's form.
void ParseCalls(const std::string& calls, std::vector<Json>* records) {
  std::istringstream in(calls);
  std::string line;
  while (std::getline(in, line)) {
    Json c = Json::parse(line, nullptr, false);
    if (c.is_discarded() || !c.is_object()) continue;
    const std::string kind = c.value("kind", "");
    if (kind == "libraryCall") {
      records->push_back({{"kind", kind}, {"library", c.value("library", "")},
                          {"entry", c.value("entry", "")}, {"result", c.value("result", Json())}});
    } else if (kind == "processStart") {
      records->push_back({{"kind", kind}, {"commandLine", c.value("commandLine", "")}, {"ok", true}});
    } else if (kind == "messageBox") {
      records->push_back({{"kind", kind}, {"caption", c.value("caption", "")},
                          {"text", c.value("text", "")}, {"button", c.value("button", Json())}});
    } else if (kind == "timeChangeSent" && !c.value("found", false)) {
      continue;  // the runner's tries before the job's window exists
    } else if (kind == "writeFilterCall" || kind == "timeChangeSent") {
      c["kind"] = kind;
      records->push_back(c);
    }
  }
}

std::string Read(const fs::path& path) {
  std::string bytes;
  ReadBytes(path, &bytes);
  return bytes;
}

// The service states polled from "sc query" (one line each: state and
// WIN32_EXIT_CODE), consecutive repeats dropped.
void ParseStates(const std::string& polled, std::vector<Json>* records) {
  std::istringstream in(polled);
  std::string state, last;
  std::uint32_t exitCode = 0;
  while (in >> state >> exitCode) {
    if (state == last) continue;
    last = state;
    records->push_back({{"kind", "serviceStatus"}, {"state", "SERVICE_" + state},
                        {"exitCode", exitCode}});
  }
}

}  // namespace

// The export files (export-1.reg ...) as one: the first whole, the others
// without their byte-order mark and header line. A key without a file is
// absent only where regedit said it could not open it; any other missing
// file, or an export that did not reach its end, is an export that failed,
// and the device must not be written back from it.
bool ReadExports(const fs::path& work, std::string* all, std::string* error) {
  const std::string said = Read(work / "export-out.txt");
  if (Read(work / "export-done.txt").empty()) {
    *error = "the registry export did not run to its end";
    return false;
  }
  std::ifstream keys(work / "export-keys.txt");
  all->clear();
  int n = 0;
  for (std::string key; std::getline(keys, key);) {
    const std::string bytes = Read(work / ("export-" + std::to_string(++n) + ".reg"));
    const std::string lineEnd("\r\0\n\0", 4);
    const std::size_t end = bytes.find(lineEnd);
    if (end == std::string::npos) {
      if (said.find("Unable to open the registry key '" + key + "'") != std::string::npos) continue;
      *error = "regedit exported nothing for " + key;
      return false;
    }
    *all += all->empty() ? bytes : bytes.substr(end + lineEnd.size());
  }
  if (all->empty()) {
    *all = "\xff\xfe";
    for (char c : std::string("Windows Registry Editor Version 5.00\r\n")) *all += std::string{c, '\0'};
  }
  return true;
}

namespace {

// The read-only attribute as Wine keeps it: a file without write
// permission. Those of the drive folders after the run, as "C:\\..." paths.
std::vector<std::string> ReadOnlyFiles(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder / "c", ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const fs::perms p = it->status(ec).permissions();
    if ((p & fs::perms::owner_write) == fs::perms::none) {
      files.push_back(sim::WindowsPath(fs::relative(it->path(), folder, ec).generic_string()));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The registry Wine exported, with the values system.reg holds raw.
int ReadRegistry(const fs::path& work, sim::Hive* wine) {
  std::string error, systemReg, exported;
  if (!ReadExports(work, &exported, &error)) {
    std::cerr << "vorn-wine: cannot read back the registry: " << error << "\n";
    return 71;
  }
  if (!sim::ParseRegFile(exported, wine, &error)) {
    std::cerr << "vorn-wine: the registry Wine exported: " << error << "\n";
    return 70;
  }
  if (!ReadBytes(work / "prefix" / "system.reg", &systemReg)) {
    std::cerr << "vorn-wine: cannot read back the raw registry values\n";
    return 71;
  }
  ReadBackRawValues(systemReg, wine);
  return 0;
}

}  // namespace

int LoadDevice(const fs::path& folder, sim::Device& device) {
  std::string error;
  if (!device.Load(folder, &error)) {
    std::cerr << "vorn-wine: " << error << "\n";
    return 65;
  }
  // A restart scheduled by the run before is taken as done, as vorn-sim does.
  device.ApplyRestartBetweenRuns();
  return 0;
}

int ServiceState(std::istream& in, std::ostream& out) {
  std::string line, state, code;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, colon, number, text;
    words >> name >> colon >> number >> text;
    if (name == "STATE") state = text;
    if (name == "WIN32_EXIT_CODE") code = number;
  }
  if (!state.empty()) out << state << " " << code << "\n";
  return 0;
}

int Finish(const fs::path& folder, const fs::path& work) {
  // Everything is read before anything of the device folder changes.
  sim::Hive wine;
  if (int rc = ReadRegistry(work, &wine)) return rc;
  if (!CopyBack(folder, work / "prefix")) {
    std::cerr << "vorn-wine: cannot copy the device's files back\n";
    return 71;
  }
  sim::Device device;
  if (int rc = LoadDevice(folder, device)) return rc;
  sim::DeviceState& s = device.state();
  std::string error;
  // Start types held back at seeding come back unless the run set them.
  sim::Hive seeded;
  ParseRegFile(Read(work / "seed.reg"), &seeded, &error);
  RestoreStartTypes(device.hive(), seeded, wine);
  MergeRegistry(device.hive(), wine);
  device.MarkRegistryChanged();

  const bool scm = s.startedBy == "scm" || fs::exists(work / "scm");
  device.Journal({{"kind", "run"}, {"commandLine", Read(work / "command.txt")},
                  {"startedBy", scm ? "scm" : "hand"}});
  std::vector<Json> records;
  ParseLog(Read(work / "wine.log"), &records);
  ParseCalls(Read(work / "calls.jsonl"), &records);
  ParseFailedCalls(Read(work / "failed-calls.txt"), &records);
  ParseStates(Read(work / "states.txt"), &records);
  // VORN.EXE writes its standard output as the C runtime's text mode does
  // (each line feed as CR LF); the journal holds the text, as vorn-sim's.
  std::string out = Read(work / "stdout.txt");
  for (std::size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at)) {
    out.erase(at, 1);
  }
  if (!out.empty()) records.push_back({{"kind", "stdout"}, {"text", out}});
  std::cout << out << std::flush;  // vorn-sim's contract: the program's output on ours
  for (Json& r : records) {
    if (r["kind"] == "restartRequest") s.restartScheduled = r["message"].get<std::string>();
    // The name set takes effect at the restart, as on XP (Wine shows it at
    // once, upper-cased and cut to 15 characters).
    if (r["kind"] == "computerNameSet" && r["ok"] == true) s.pendingHostName = r["name"];
    device.Journal(std::move(r));
  }
  const std::string code = Read(work / "exit.txt");
  if (!code.empty()) device.Journal({{"kind", "exit"}, {"code", std::stoll(code)}});
  s.readOnlyFiles = ReadOnlyFiles(folder);
  device.MarkStateChanged();
  if (!device.Save(&error)) {
    std::cerr << "vorn-wine: " << error << "\n";
    return 74;
  }
  return 0;
}

}  // namespace wine
