// vorn-wine-device compare: the same device run on both backends. What is
// compared and the differences Wine is known to show are in docs/wine.md.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include "device/codepage.h"
#include "device/device.h"
#include "device/reg_file.h"
#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"

namespace wine {
namespace fs = std::filesystem;
using sim::Json;

namespace {

class Report {
 public:
  void Differ(const std::string& what) {
    std::cout << "differs: " << what << "\n";
    ++count_;
  }
  int count() const { return count_; }

 private:
  int count_ = 0;
};

std::string Lower(std::u16string s) {
  for (char16_t& c : s) c = static_cast<char16_t>(c < 128 ? std::tolower(c) : c);
  return sim::Utf16ToUtf8(s);
}

// Every key as "path" -> sorted "value=type:hex" lines; names without
// regard to case, as the registry treats them.
using Flat = std::map<std::string, std::set<std::string>>;
// `wine`: the Wine side; `win64`: of a 64-bit build.
void Flatten(const sim::HiveKey& key, const std::string& path, bool wine, bool win64, Flat* out) {
  std::set<std::string>& values = (*out)[path];
  // Wine's RegisterTypeLib writes the flags the loaded library carries,
  // LIBFLAG_FHASDISKIMAGE (8) among them; Windows registers "0" for a
  // library without flags of its own.
  const bool libraryFlags = wine && path.size() > 6 && path.substr(path.size() - 6) == "\\flags" &&
                            path.find("\\typelib\\") != std::string::npos;
  // Wine's service control manager stores a new service's ImagePath as
  // REG_SZ (XP: REG_EXPAND_SZ) and adds PreshutdownTimeout, which XP does
  // not know.
  const bool service = wine && path.find("\\currentcontrolset\\services\\") != std::string::npos;
  std::uint32_t type;
  for (const auto& v : key.values) {
    if (service && Lower(v.name) == "preshutdowntimeout") continue;
    type = v.type;
    if (service && Lower(v.name) == "imagepath" && type == 1) type = 2;
    std::vector<std::uint8_t> data = v.data;
    if (libraryFlags && v.name.empty() && data == std::vector<std::uint8_t>{'8', 0, 0, 0}) {
      data[0] = '0';
    }
    values.insert(Lower(v.name) + "=" + std::to_string(type) + ":" +
                  sim::HexBytes(data.data(), data.size()));
  }
  for (const auto& sub : key.subKeys) {
    std::string name = Lower(sub->name);
    // A 64-bit build registers its type library for win64; the product,
    // for win32.
    if (win64 && name == "win64" && path.find("\\typelib\\") != std::string::npos) name = "win32";
    Flatten(*sub, path + "\\" + name, wine, win64, out);
  }
}

bool LoadHive(const fs::path& file, sim::Hive* hive) {
  std::string bytes, error;
  return ReadBytes(file, &bytes) && sim::ParseRegFile(bytes, hive, &error);
}

void CompareRegistry(const fs::path& a, const fs::path& b, bool win64, Report* r) {
  sim::Hive simHive, wineHive;
  if (!LoadHive(a / "registry.reg", &simHive) || !LoadHive(b / "registry.reg", &wineHive)) {
    r->Differ("registry.reg cannot be read on both sides");
    return;
  }
  Flat s, w;
  Flatten(simHive.LocalMachine(), "hklm", false, false, &s);
  Flatten(wineHive.LocalMachine(), "hklm", true, win64, &w);
  for (const auto& [key, values] : s) {
    auto it = w.find(key);
    if (it == w.end()) {
      r->Differ("registry key only on vorn-sim: " + key);
      continue;
    }
    for (const auto& v : values) {
      if (!it->second.count(v)) r->Differ("registry " + key + ": vorn-sim has " + v);
    }
    for (const auto& v : it->second) {
      if (!values.count(v)) r->Differ("registry " + key + ": Wine has " + v);
    }
  }
  for (const auto& [key, values] : w) {
    if (!s.count(key)) r->Differ("registry key only on Wine: " + key);
  }
}

std::vector<std::vector<Json>> Runs(const fs::path& device) {
  std::ifstream in(device / "journal.jsonl");
  std::vector<std::vector<Json>> runs;
  std::string line;
  while (std::getline(in, line)) {
    Json r = Json::parse(line, nullptr, false);
    if (r.is_discarded()) continue;
    if (r.value("kind", "") == "run") runs.emplace_back();
    if (!runs.empty()) runs.back().push_back(r);
  }
  return runs;
}

// The records of one kind, each reduced to the fields both backends see.
std::vector<std::string> Pick(const std::vector<Json>& run, const std::string& kind,
                              const std::vector<std::string>& fields, bool okOnly = false) {
  std::vector<std::string> out;
  for (const Json& r : run) {
    if (r.value("kind", "") != kind) continue;
    if (okOnly && !r.value("ok", true)) continue;
    Json picked = Json::object();
    for (const auto& f : fields) picked[f] = r.contains(f) ? r[f] : Json();
    // The stand-in knows its file name only; the runner puts it where the
    // system looks for it.
    if (picked.contains("library") && picked["library"].is_string()) {
      std::string name = picked["library"].get<std::string>();
      name = name.substr(name.find_last_of('\\') + 1);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      picked["library"] = name;
    }
    out.push_back(picked.dump());
  }
  return out;
}

void Same(const std::vector<std::string>& a, const std::vector<std::string>& b,
          const std::string& what, Report* r) {
  if (a == b) return;
  std::ostringstream s;
  s << what << ":";
  if (a.size() + b.size() <= 12) {
    s << "\n  vorn-sim:";
    for (const auto& x : a) s << "\n    " << x;
    s << "\n  Wine:";
    for (const auto& x : b) s << "\n    " << x;
  } else {
    // Long lists (a document's nodes): the first place they part and the
    // entries only one side has.
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    s << " first difference at entry " << i + 1;
    std::multiset<std::string> onlyA(a.begin(), a.end()), onlyB(b.begin(), b.end());
    for (const auto& x : b) if (auto it = onlyA.find(x); it != onlyA.end()) onlyA.erase(it);
    for (const auto& x : a) if (auto it = onlyB.find(x); it != onlyB.end()) onlyB.erase(it);
    for (const auto& x : onlyA) s << "\n  - vorn-sim: " << x;
    for (const auto& x : onlyB) s << "\n  + Wine:     " << x;
  }
  r->Differ(s.str());
}

std::string Stdout(const std::vector<Json>& run) {
  std::string text;
  for (const Json& r : run) {
    if (r.value("kind", "") == "stdout") text += r.value("text", "");
  }
  return text;
}

// Wine's states are polled: each must be one vorn-sim went through, in its
// order, and the last ones agree.
void CompareStates(const std::vector<Json>& a, const std::vector<Json>& b, const std::string& n,
                   Report* r) {
  std::vector<std::string> s = Pick(a, "serviceStatus", {"state"});
  std::vector<std::string> w = Pick(b, "serviceStatus", {"state"});
  std::size_t i = 0;
  for (const auto& state : w) {
    while (i < s.size() && s[i] != state) ++i;
    if (i == s.size()) {
      Same(s, w, n + "service states (Wine's not a subsequence)", r);
      return;
    }
  }
  if (!s.empty() || !w.empty()) {
    Same({s.empty() ? "" : s.back()}, {w.empty() ? "" : w.back()}, n + "last service state", r);
    Same(Pick(a, "serviceStatus", {"exitCode"}).empty() ? std::vector<std::string>{}
                                                         : std::vector<std::string>{Pick(a, "serviceStatus", {"exitCode"}).back()},
         Pick(b, "serviceStatus", {"exitCode"}).empty() ? std::vector<std::string>{}
                                                         : std::vector<std::string>{Pick(b, "serviceStatus", {"exitCode"}).back()},
         n + "service exit code", r);
  }
}

void CompareRun(const std::vector<Json>& a, const std::vector<Json>& b, std::size_t index,
                Report* r) {
  const std::string n = "run " + std::to_string(index + 1) + ": ";
  Same(Pick(a, "run", {"commandLine", "startedBy"}), Pick(b, "run", {"commandLine", "startedBy"}),
       n + "command line", r);
  Same(Pick(a, "event", {"source", "type", "text"}), Pick(b, "event", {"source", "type", "text"}),
       n + "events", r);
  // The answerer sees caption and text; the style is not shown on screen.
  Same(Pick(a, "messageBox", {"caption", "text"}), Pick(b, "messageBox", {"caption", "text"}),
       n + "message boxes", r);
  Same({Stdout(a)}, {Stdout(b)}, n + "standard output", r);
  Same(Pick(a, "libraryCall", {"library", "entry", "result"}),
       Pick(b, "libraryCall", {"library", "entry", "result"}), n + "library calls", r);
  Same(Pick(a, "processStart", {"commandLine"}, true), Pick(b, "processStart", {"commandLine"}),
       n + "processes started", r);
  Same(Pick(a, "restartRequest", {"message", "timeout", "force", "reboot"}, true),
       Pick(b, "restartRequest", {"message", "timeout", "force", "reboot"}), n + "restart requests",
       r);
  Same(Pick(a, "computerNameSet", {"name", "ok"}), Pick(b, "computerNameSet", {"name", "ok"}),
       n + "computer name set", r);
  // A service's process exit code is not visible through Wine's sc: the
  // service's own exit code is compared with its states.
  const bool scm = !b.empty() && b.front().value("startedBy", "") == "scm";
  if (!scm) Same(Pick(a, "exit", {"code"}), Pick(b, "exit", {"code"}), n + "exit code", r);
  CompareStates(a, b, n, r);
}

Json DeviceJson(const fs::path& device) {
  std::string bytes;
  ReadBytes(device / "device.json", &bytes);
  Json j = Json::parse(bytes, nullptr, false);
  return j.is_object() ? j : Json::object();
}

// ---- XML: elements, attributes (as a set: MSXML writes namespace
// declarations first) and texts; text between elements that is only white
// space is layout (MSXML's save drops it). ----
std::string Attributes(xmlNode* n) {
  std::set<std::string> all;
  for (xmlNs* ns = n->nsDef; ns; ns = ns->next) {
    all.insert(std::string("xmlns:") + (ns->prefix ? reinterpret_cast<const char*>(ns->prefix) : "") +
               "=" + reinterpret_cast<const char*>(ns->href));
  }
  for (xmlAttr* a = n->properties; a; a = a->next) {
    xmlChar* v = xmlNodeListGetString(n->doc, a->children, 1);
    all.insert(std::string(a->ns && a->ns->prefix ? reinterpret_cast<const char*>(a->ns->prefix) : "") +
               ":" + reinterpret_cast<const char*>(a->name) + "=" +
               (v ? reinterpret_cast<const char*>(v) : ""));
    xmlFree(v);
  }
  std::string out;
  for (const auto& s : all) out += " " + s;
  return out;
}

bool Layout(xmlNode* n) {
  if (n->type != XML_TEXT_NODE) return false;
  for (const xmlChar* c = n->content; c && *c; ++c) {
    if (!std::isspace(*c)) return false;
  }
  return true;
}

std::string Hex(const std::string& text) {
  return sim::HexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// vorn-sim's display text names the computer in effect before the restart,
// Wine's the new one. The name is replaced as text and as the display
// line's hexadecimal digits, where the line's padding of "00" pairs takes up
// the difference in length.
void ReplaceName(std::string* text, const std::string& from, const std::string& to) {
  for (std::size_t at; (at = text->find(from)) != std::string::npos;) text->replace(at, from.size(), to);
  std::string lower = *text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string hexFrom = Hex(from), hexTo = Hex(to);
  const std::size_t at = lower.find(hexFrom);
  if (at == std::string::npos) return;
  std::size_t end = at + hexFrom.size(), pad = 0;
  while (lower.compare(end + pad, 2, "00") == 0) pad += 2;
  const std::ptrdiff_t keep = static_cast<std::ptrdiff_t>(pad) -
                              static_cast<std::ptrdiff_t>(hexTo.size() - hexFrom.size());
  text->replace(at, hexFrom.size() + pad, hexTo + std::string(keep > 0 ? keep : 0, '0'));
}

void Describe(xmlNode* n, const std::string& path, const std::string& oldName,
              const std::string& newName, std::vector<std::string>* out) {
  for (; n; n = n->next) {
    if (Layout(n)) continue;
    if (n->type == XML_ELEMENT_NODE) {
      std::string p = path + "/" + reinterpret_cast<const char*>(n->name);
      out->push_back(p + Attributes(n));
      Describe(n->children, p, oldName, newName, out);
    } else {
      std::string text = n->content ? reinterpret_cast<const char*>(n->content) : "";
      // vorn-sim shows the name in effect before the restart; Wine has the
      // new one in effect at once.
      if (!oldName.empty()) ReplaceName(&text, oldName, newName);
      // Wine's MSXML (on libxml2, which hands a text over a line at a time)
      // drops the last piece of a text when that piece is only white space
      // after a line break: "\n  33\n  " is saved as "\n  33". Native MSXML
      // keeps a text node whole. Both sides are compared without such a tail.
      const std::size_t content = text.find_last_not_of(" \t\r\n");
      if (content != std::string::npos) {
        const std::size_t tail = text.find('\n', content);
        if (tail != std::string::npos) text.erase(tail);
      }
      out->push_back(path + " #" + std::to_string(n->type) + " " + text);
    }
  }
}

// Wine's MSXML saves a document declared as UTF-16 in UTF-8 bytes under that
// declaration (no byte order mark, no NUL byte); the MSXML of XP saves it in
// the declared encoding, with the mark, as the simulated device does. Only
// that pair is compared with Wine's file read as the UTF-8 it is: the bytes
// still differ, the XML must not.
bool WineUtf8UnderUtf16(const std::string& sim, const std::string& wine) {
  if (sim.size() < 2 || sim[0] != '\xFF' || sim[1] != '\xFE') return false;
  if (wine.rfind("<?xml", 0) != 0 || wine.find('\0') != std::string::npos) return false;
  std::string decl = wine.substr(0, wine.find("?>"));
  for (char& c : decl) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return decl.find("encoding=\"utf-16\"") != std::string::npos ||
         decl.find("encoding='utf-16'") != std::string::npos;
}

bool XmlLines(const fs::path& file, const std::string& oldName, const std::string& newName,
              std::vector<std::string>* out, const char* encoding = nullptr) {
  const int options = XML_PARSE_NONET | XML_PARSE_NOENT;
  xmlDoc* doc = encoding == nullptr
                    ? xmlReadFile(file.c_str(), nullptr, options)
                    : xmlReadFile(file.c_str(), encoding, options | XML_PARSE_IGNORE_ENC);
  if (doc == nullptr) return false;
  Describe(doc->children, "", oldName, newName, out);
  xmlFreeDoc(doc);
  return true;
}

std::set<std::string> Files(const fs::path& root) {
  std::set<std::string> out;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return out;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->is_regular_file()) out.insert(fs::relative(it->path(), root).string());
  }
  return out;
}

void CompareFiles(const fs::path& a, const fs::path& b, const std::string& oldName,
                  const std::string& newName, Report* r) {
  std::set<std::string> s = Files(a / "c"), w = Files(b / "c");
  for (const auto& f : s) {
    if (!w.count(f)) r->Differ("file only on vorn-sim: c/" + f);
  }
  for (const auto& f : w) {
    if (!s.count(f)) r->Differ("file only on Wine: c/" + f);
  }
  for (const auto& f : s) {
    if (!w.count(f)) continue;
    std::string x, y;
    ReadBytes(a / "c" / f, &x);
    ReadBytes(b / "c" / f, &y);
    if (x == y) continue;
    std::vector<std::string> xs, ys;
    const char* wineEncoding = WineUtf8UnderUtf16(x, y) ? "UTF-8" : nullptr;
    if (f.size() > 4 && f.substr(f.size() - 4) == ".xml" &&
        XmlLines(a / "c" / f, oldName, newName, &xs) &&
        XmlLines(b / "c" / f, "", "", &ys, wineEncoding)) {
      Same(xs, ys, "c/" + f + " as XML", r);
    } else {
      r->Differ("c/" + f + " bytes");
    }
  }
}

}  // namespace

int Compare(const fs::path& a, const fs::path& b) {
  Report r;
  CompareRegistry(a, b, Win64Run(), &r);
  const auto simRuns = Runs(a), wineRuns = Runs(b);
  if (simRuns.size() != wineRuns.size()) {
    r.Differ("number of runs: vorn-sim " + std::to_string(simRuns.size()) + ", Wine " +
             std::to_string(wineRuns.size()));
  }
  for (std::size_t i = 0; i < std::min(simRuns.size(), wineRuns.size()); ++i) {
    CompareRun(simRuns[i], wineRuns[i], i, &r);
  }
  // The name in effect after the restart: the one set, else the device's.
  Json s = DeviceJson(a), w = DeviceJson(b);
  auto text = [](const Json& j, const char* f) {
    return j.contains(f) && j[f].is_string() ? j[f].get<std::string>() : std::string();
  };
  // device.json names the host only once a run changed it.
  auto host = [&](const Json& j) {
    return text(j, "hostName").empty() ? std::string("QZ_IPC") : text(j, "hostName");
  };
  auto next = [&](const Json& j) {
    return text(j, "pendingHostName").empty() ? host(j) : text(j, "pendingHostName");
  };
  Same({host(s)}, {host(w)}, "host name", &r);
  Same({next(s)}, {next(w)}, "host name after the restart", &r);
  Same({text(s, "restartScheduled")}, {text(w, "restartScheduled")}, "restart scheduled", &r);
  // Files that show the name hold it as Wine reports it: at once, upper-cased
  // and cut to 15 characters.
  std::string shown = next(w).substr(0, 15);
  for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string before = host(s);
  CompareFiles(a, b, before != shown ? before : "", shown, &r);
  if (r.count() == 0) std::cout << "same on both backends\n";
  return r.count() == 0 ? 0 : 1;
}

}  // namespace wine
