// The plan of a boot as JSON for tools (documented in docs/device-format.md).
#include "device/journal_text.h"
#include "tools/vorn-sim/plan.h"

namespace sim {
namespace {

Json Optional(const std::optional<std::string>& text) { return text ? Json(*text) : Json(); }

Json Records(const BootPlan& p, std::initializer_list<const char*> kinds) {
  Json records = Json::array();
  for (const Json& r : p.run.journal) {
    for (const char* kind : kinds) {
      if (r.value("kind", "") == kind) records.push_back(r);
    }
  }
  return records;
}

Json RegistryJson(const std::vector<RegistryChange>& changes) {
  Json out = Json::array();
  for (const RegistryChange& c : changes) {
    Json j = {{"key", c.key}};
    if (!c.isKey) j["value"] = c.value;
    if (c.isKey) {
      j["change"] = c.after ? "keyCreated" : "keyDeleted";
    } else {
      j["change"] = !c.before ? "created" : !c.after ? "deleted" : "set";
      j["before"] = Optional(c.before);
      j["after"] = Optional(c.after);
      if (!c.beforeNote.empty()) j["beforeNote"] = c.beforeNote;
      if (!c.afterNote.empty()) j["afterNote"] = c.afterNote;
    }
    out.push_back(j);
  }
  return out;
}

Json FileJson(const PlannedFile& f) {
  const FileChange& c = f.change;
  Json j = {{"path", c.path},
            {"change", !c.before ? "created" : !c.after ? "deleted" : "changed"},
            {"bytesBefore", c.before ? Json(c.before->size()) : Json()},
            {"bytesAfter", c.after ? Json(c.after->size()) : Json()}};
  if (!f.xml) return j;
  Json xml = Json::array();
  for (const XmlChange& x : f.xmlDiff.changes) {
    xml.push_back({{"path", x.path}, {"before", Optional(x.before)}, {"after", Optional(x.after)}});
  }
  j["xml"] = xml;
  j["xmlChanges"] = f.xmlDiff.total;
  return j;
}

Json FilesJson(const BootPlan& p) {
  Json files = Json::array();
  for (const PlannedFile& f : p.files) files.push_back(FileJson(f));
  for (const std::string& path : p.rewrittenFiles) {
    files.push_back({{"path", path}, {"change", "rewritten"}});
  }
  return files;
}

Json DisplayJson(const BootPlan& p) {
  Json display = Json::array();
  for (const DisplayChange& d : p.display) {
    display.push_back({{"file", d.file},
                       {"element", d.element},
                       {"before", {d.before.first, d.before.second}},
                       {"after", {d.after.first, d.after.second}}});
  }
  return display;
}

Json EventsJson(const BootPlan& p) {
  Json events = Records(p, {"event"});
  for (Json& e : events) {
    e.erase("kind");
    e["typeName"] = EventTypeName(e.value("type", 0u));
  }
  return events;
}

}  // namespace

Json PlanJson(const BootPlan& p) {
  Json registry = RegistryJson(p.registry);
  for (Json& j : RegistryJson(p.rewrittenValues)) {
    j["change"] = "rewritten";
    registry.push_back(j);
  }
  return {{"boot", p.boot},
          {"restartApplied", p.run.restartApplied},
          {"commandLine", p.run.commandLine},
          {"startedBy", p.run.startedBy},
          {"identity",
           {{"computerNameBefore", p.nameBefore},
            {"computerNameAfter", p.nameAfter},
            {"pendingComputerName", Optional(p.pendingAfter)},
            {"restartScheduled", Optional(p.restartScheduled)},
            {"records", Records(p, {"computerNameSet", "restartRequest"})}}},
          {"upnp", Records(p, {"libraryCall", "processStart"})},
          {"display", DisplayJson(p)},
          {"registry", registry},
          {"files", FilesJson(p)},
          {"events", EventsJson(p)},
          {"messageBoxes", Records(p, {"messageBox"})},
          {"journal", p.run.journal},
          {"exitCode", p.run.exitCode},
          {"changed", p.changed},
          {"summary", ChangeSummary(p)}};
}

}  // namespace sim
