#include "tools/vorn-sim/plan.h"

#include <algorithm>
#include <set>

#include "device/codepage.h"
#include "device/drives.h"
#include "device/journal_text.h"

namespace sim {
namespace {

// Records of what changes the device or the world around it, or tries to.
// A steady boot journals none: VORN finds nothing to do, so it writes
// nothing, sets no name or clock, asks for no restart and re-registers
// nothing. A change tried and refused is no steady state either: the next
// boot tries again.
bool IsChange(const Json& r) {
  static const std::set<std::string> kinds = {
      "registryWrite", "fileWrite", "libraryCall", "typeLibrary",  "computerNameSet",
      "restartRequest", "clockSet", "processStart"};
  const std::string kind = r.value("kind", "");
  if (kinds.count(kind)) return true;
  return kind == "serviceConfig" && r.value("op", "") != "control";
}

bool SamePath(const std::string& a, const std::string& b) {
  return Cp1252CompareNoCase(a, b) == 0;
}

// Values the boot set to the data they already had: the journal names them,
// the difference of the two states does not.
std::vector<RegistryChange> RewrittenValues(const BootPlan& plan, const DeviceSnapshot& after) {
  std::set<std::string> changed, listed;
  for (const auto& c : plan.registry) changed.insert(RegistryId(c.key, c.value, c.isKey));
  std::vector<RegistryChange> rewritten;
  for (const Json& r : plan.run.journal) {
    if (r.value("kind", "") != "registryWrite" || r.value("op", "") != "setValue") continue;
    const std::string id = RegistryId(r.value("key", ""), r.value("value", ""), false);
    if (changed.count(id) || !listed.insert(id).second) continue;
    for (const RegistryItem& item : after.registry) {
      if (!item.isKey && RegistryId(item.key, item.value, false) == id) {
        rewritten.push_back(RegistryChange{item.key, item.value, false, item.text, item.text,
                                           item.note, item.note});
      }
    }
  }
  return rewritten;
}

// Files the boot wrote that ended with the bytes they had.
std::vector<std::string> RewrittenFiles(const BootPlan& plan, const DeviceSnapshot& after) {
  std::vector<std::string> rewritten;
  for (const Json& r : plan.run.journal) {
    if (r.value("kind", "") != "fileWrite" || r.value("op", "") == "delete") continue;
    const std::string path = r.value("path", "");
    auto same = [&](const std::string& p) { return SamePath(p, path); };
    if (std::any_of(rewritten.begin(), rewritten.end(), same)) continue;
    bool changed = false;
    for (const auto& f : plan.files) changed = changed || same(f.change.path);
    if (changed) continue;
    for (const auto& [relative, bytes] : after.files) {
      if (same(WindowsPath(relative))) rewritten.push_back(WindowsPath(relative));
    }
  }
  return rewritten;
}

PlannedFile PlanFile(FileChange change) {
  PlannedFile file{std::move(change), false, {}};
  if (file.change.before && file.change.after) {
    file.xml = DiffXml(*file.change.before, *file.change.after, &file.xmlDiff);
  }
  return file;
}

std::vector<DisplayChange> DisplayChanges(const std::vector<PlannedFile>& files) {
  std::vector<DisplayChange> display;
  for (const PlannedFile& file : files) {
    for (const XmlChange& c : file.xmlDiff.changes) {
      if (!c.before || !c.after) continue;
      auto before = ReadDisplayLines(*c.before);
      auto after = ReadDisplayLines(*c.after);
      if (before && after) display.push_back({file.change.path, c.path, *before, *after});
    }
  }
  return display;
}

std::string LineText(const std::string& digits) {
  std::string text;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    const char c = static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
}

}  // namespace

std::optional<DisplayLines> ReadDisplayLines(const std::string& data) {
  if (data.size() < 92 || !std::all_of(data.begin(), data.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    return std::nullopt;
  }
  return DisplayLines{LineText(data.substr(24, 34)), LineText(data.substr(58, 34))};
}

BootPlan MakeBootPlan(int boot, const DeviceSnapshot& before, const DeviceSnapshot& after,
                      BootResult run) {
  BootPlan plan;
  plan.boot = boot;
  plan.run = std::move(run);
  plan.nameBefore = before.hostName;
  plan.nameAfter = after.hostName;
  plan.pendingBefore = before.pendingHostName;
  plan.pendingAfter = after.pendingHostName;
  plan.restartScheduled = after.restartScheduled;
  plan.registry = DiffRegistry(before, after);
  for (FileChange& change : DiffFiles(before, after)) plan.files.push_back(PlanFile(change));
  plan.rewrittenValues = RewrittenValues(plan, after);
  plan.rewrittenFiles = RewrittenFiles(plan, after);
  plan.display = DisplayChanges(plan.files);
  plan.changed = !plan.registry.empty() || !plan.files.empty() ||
                 plan.nameAfter != plan.nameBefore || plan.pendingAfter != plan.pendingBefore ||
                 std::any_of(plan.run.journal.begin(), plan.run.journal.end(), IsChange);
  return plan;
}

}  // namespace sim
