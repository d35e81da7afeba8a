// The plan of a boot as text for a person.
#include <algorithm>
#include <set>
#include <sstream>

#include "device/journal_text.h"
#include "tools/vorn-sim/plan.h"

namespace sim {
namespace {

constexpr char kArrow[] = " \u2192 ";
constexpr std::size_t kShortText = 60;  // longer texts are shown around their difference
constexpr std::size_t kContext = 8;     // characters kept on each side of a difference
constexpr std::size_t kXmlShown = 10;   // XML differences listed per file

std::vector<Json> Records(const BootPlan& plan, const std::set<std::string>& kinds) {
  std::vector<Json> records;
  for (const Json& r : plan.run.journal) {
    if (kinds.count(r.value("kind", ""))) records.push_back(r);
  }
  return records;
}

std::string Side(const std::optional<std::string>& text, const std::string& note = "") {
  if (!text) return "(none)";
  return note.empty() ? *text : *text + " " + note;
}

std::string RegistryLine(const RegistryChange& c) {
  if (c.isKey) return c.key + (c.after ? ": key created" : ": key deleted");
  return c.key + "\\" + (c.value.empty() ? "@" : c.value) + ": " + Side(c.before, c.beforeNote) +
         kArrow + Side(c.after, c.afterNote);
}

// Both texts shortened to the part that differs with a little context,
// when they are long: "…2076322e30…".
std::pair<std::string, std::string> AroundDifference(const std::string& a,
                                                     const std::string& b) {
  if (a.size() <= kShortText && b.size() <= kShortText) return {a, b};
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  const std::size_t from = head > kContext ? head - kContext : 0;
  const std::size_t keep = tail > kContext ? tail - kContext : 0;
  auto cut = [&](const std::string& s) {
    std::string middle = s.substr(from, s.size() - keep - from);
    if (middle.size() > 2 * kShortText) middle = middle.substr(0, 2 * kShortText) + "\u2026";
    return (from > 0 ? "\u2026" : "") + middle + (keep > 0 ? "\u2026" : "");
  };
  return {cut(a), cut(b)};
}

std::string XmlLine(const XmlChange& c) {
  if (!c.before) return c.path + ": added \"" + OneLine(*c.after) + "\"";
  if (!c.after) return c.path + ": removed (was \"" + OneLine(*c.before) + "\")";
  auto [a, b] = AroundDifference(OneLine(*c.before), OneLine(*c.after));
  return c.path + ": \"" + a + "\"" + kArrow + "\"" + b + "\"";
}

void FileLines(const PlannedFile& f, std::ostream& out) {
  const FileChange& c = f.change;
  if (!c.before) {
    out << "    " << c.path << ": created (" << c.after->size() << " bytes)\n";
    return;
  }
  if (!c.after) {
    out << "    " << c.path << ": deleted (was " << c.before->size() << " bytes)\n";
    return;
  }
  out << "    " << c.path << ": changed (" << c.before->size() << kArrow << c.after->size()
      << " bytes)\n";
  if (!f.xml) return;
  if (f.xmlDiff.total == 0) out << "      the same document; only its layout or comments differ\n";
  for (std::size_t i = 0; i < f.xmlDiff.changes.size() && i < kXmlShown; ++i) {
    out << "      " << XmlLine(f.xmlDiff.changes[i]) << "\n";
  }
  if (f.xmlDiff.total > kXmlShown) {
    out << "      and " << f.xmlDiff.total - kXmlShown << " more differences\n";
  }
}

void Lines(std::ostream& out, const char* title, const std::vector<std::string>& lines,
           const char* none) {
  out << "  " << title << ":";
  if (lines.empty()) {
    out << " " << none << "\n";
    return;
  }
  out << "\n";
  for (const std::string& line : lines) out << "    " << line << "\n";
}

std::vector<std::string> Described(const std::vector<Json>& records) {
  std::vector<std::string> lines;
  for (const Json& r : records) lines.push_back(DescribeRecord(r));
  return lines;
}

std::string NameLine(const BootPlan& p) {
  std::string line = "computer name: " + p.nameBefore;
  if (p.nameAfter != p.nameBefore) line += kArrow + p.nameAfter;
  if (p.pendingAfter && *p.pendingAfter != p.nameAfter && p.pendingAfter != p.pendingBefore) {
    line += kArrow + *p.pendingAfter +
            (p.restartScheduled ? " after the restart" : " at the next restart");
  } else if (p.nameAfter == p.nameBefore) {
    line += " (unchanged)";
  }
  return line;
}

void Identity(const BootPlan& p, std::ostream& out) {
  std::vector<std::string> lines = {NameLine(p)};
  for (const Json& r : Records(p, {"computerNameSet", "restartRequest"})) {
    lines.push_back(DescribeRecord(r));
  }
  static const std::set<std::string> kIdentityValues = {"FIRSTMACID", "LASTCOMPUTERNAME",
                                                        "OLMNETID"};
  for (const RegistryChange& c : p.registry) {
    std::string name = c.value;
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    if (!c.isKey && kIdentityValues.count(name)) lines.push_back(RegistryLine(c));
  }
  Lines(out, "identity", lines, "");
}

void Display(const BootPlan& p, std::ostream& out) {
  std::vector<std::string> lines;
  for (const DisplayChange& d : p.display) {
    lines.push_back(d.file + " would be saved (" + d.element + ")");
    lines.push_back("line 1: \"" + d.before.first + "\"" + kArrow + "\"" + d.after.first + "\"");
    lines.push_back("line 2: \"" + d.before.second + "\"" + kArrow + "\"" + d.after.second +
                    "\"");
  }
  Lines(out, "display", lines, "unchanged");
}

void RegistryAndFiles(const BootPlan& p, std::ostream& out) {
  std::vector<std::string> lines;
  for (const RegistryChange& c : p.registry) lines.push_back(RegistryLine(c));
  for (const RegistryChange& c : p.rewrittenValues) {
    lines.push_back(c.key + "\\" + (c.value.empty() ? "@" : c.value) + ": " + Side(c.after, c.afterNote) +
                    " (written again, unchanged)");
  }
  Lines(out, "registry", lines, "no change");
  out << "  files:";
  if (p.files.empty() && p.rewrittenFiles.empty()) out << " none written";
  out << "\n";
  for (const PlannedFile& f : p.files) FileLines(f, out);
  for (const std::string& path : p.rewrittenFiles) {
    out << "    " << path << ": written again with the same bytes\n";
  }
}

}  // namespace

std::string ChangeSummary(const BootPlan& p) {
  if (!p.changed) return "nothing changed";
  std::vector<std::string> parts;
  for (const Json& r : Records(p, {"computerNameSet"})) {
    const std::string name = r.value("name", "");
    parts.push_back(r.value("ok", false) ? "computer name set to " + name
                                         : "computer name " + name + " refused");
  }
  for (const Json& r : Records(p, {"restartRequest"})) {
    parts.push_back(r.value("ok", false) ? "restart requested" : "restart request failed");
  }
  for (const Json& r : Records(p, {"clockSet"})) {
    parts.push_back((r.value("ok", false) ? "clock set to " : "clock setting to ") +
                    r.value("to", "") + (r.value("ok", false) ? "" : " failed"));
  }
  if (!Records(p, {"libraryCall", "processStart"}).empty()) parts.push_back("UPnP re-registered");
  if (!p.display.empty()) parts.push_back("display lines rewritten");
  auto count = [&](std::size_t n, const std::string& one, const std::string& more) {
    if (n) parts.push_back(std::to_string(n) + " " + (n > 1 ? more : one));
  };
  count(p.registry.size(), "registry change", "registry changes");
  count(p.rewrittenValues.size(), "registry value written again",
        "registry values written again");
  count(p.files.size(), "file changed", "files changed");
  count(p.rewrittenFiles.size(), "file written again", "files written again");
  if (parts.empty()) parts.push_back("changes");
  std::string summary = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) summary += ", " + parts[i];
  return summary;
}

std::string PlanText(const BootPlan& p) {
  std::ostringstream out;
  out << "Boot " << p.boot;
  if (p.run.restartApplied) out << ", after the restart (" << p.nameBefore << " in effect)";
  out << ": " << p.run.commandLine << " (started by " << p.run.startedBy << ")\n";
  Identity(p, out);
  Lines(out, "UPnP", Described(Records(p, {"libraryCall", "processStart"})), "not re-registered");
  Display(p, out);
  RegistryAndFiles(p, out);
  std::vector<std::string> events;
  for (const Json& r : Records(p, {"event"})) {
    events.push_back(EventTypeName(r.value("type", 0u)) + " " + r.value("source", "") + ": " +
                     OneLine(r.value("text", "")));
  }
  Lines(out, "events", events, "none");
  Lines(out, "message boxes", Described(Records(p, {"messageBox"})), "none");
  const auto other = Records(p, {"stdout", "clockSet", "timeZoneChange", "serviceConfig",
                                 "serviceControl", "typeLibrary", "powerCut", "idle"});
  if (!other.empty()) Lines(out, "also", Described(other), "");
  out << "  exit code: " << p.run.exitCode << "\n";
  out << "  " << (p.changed ? "changes: " + ChangeSummary(p) : "nothing to change") << "\n";
  return out.str();
}

}  // namespace sim
