#include "device/journal_text.h"

#include <cstdio>
#include <functional>
#include <map>

#include "device/reg_file.h"

namespace sim {
namespace {

std::string Str(const Json& r, const char* field) {
  auto it = r.find(field);
  if (it == r.end()) return "";
  return it->is_string() ? it->get<std::string>() : it->dump();
}

std::string Num(const Json& r, const char* field) {
  auto it = r.find(field);
  return it == r.end() ? "?" : it->dump();
}

bool Flag(const Json& r, const char* field) {
  auto it = r.find(field);
  return it != r.end() && it->is_boolean() && it->get<bool>();
}

std::string Quoted(const std::string& text) { return "\"" + OneLine(text) + "\""; }

std::string RegistryWrite(const Json& r) {
  const std::string op = Str(r, "op");
  const std::string key = Str(r, "key");
  if (op == "setValue") {
    const std::string name = Str(r, "value");
    return "registry set " + key + "\\" + (name.empty() ? "@" : name) + " = " +
           RegistryDataText(r.value("type", 0u), Str(r, "data"));
  }
  if (op == "deleteValue") {
    const std::string name = Str(r, "value");
    return "registry delete " + key + "\\" + (name.empty() ? "@" : name);
  }
  if (op == "createKey") return "registry create key " + key;
  if (op == "deleteKey") return "registry delete key " + key;
  return "registry " + op + " " + key;
}

std::string ServiceConfig(const Json& r) {
  const std::string op = Str(r, "op");
  const std::string name = Str(r, "name");
  if (op == "create") {
    return "service \"" + name + "\" created: " + Str(r, "imagePath") + " (start " +
           Num(r, "start") + ", type " + Num(r, "type") + ", depends on " +
           Num(r, "dependencies") + ")";
  }
  if (op == "delete") return "service \"" + name + "\" deleted";
  return "service \"" + name + "\" control " + Num(r, "code") + ": result " + Num(r, "result");
}

std::string Restart(const Json& r) {
  std::string text = Flag(r, "ok") ? "restart requested" : "restart request failed";
  text += " (" + Num(r, "timeout") + " s";
  if (Flag(r, "force")) text += ", forced";
  if (!Flag(r, "reboot")) text += ", shut down only";
  return text + "): " + Quoted(Str(r, "message"));
}

std::string ProcessStart(const Json& r) {
  if (!Flag(r, "ok")) return "process could not start: " + Str(r, "commandLine");
  return "process started: " + Str(r, "commandLine") + " (waited " + Num(r, "waitedMs") +
         " ms)";
}

std::string ServiceControl(const Json& r) {
  std::string text = "service control " + Num(r, "code") + " (" + Str(r, "at") + ")";
  if (Flag(r, "delivered")) return text + " delivered";
  return text + " refused: " + Num(r, "result");
}

using Describer = std::function<std::string(const Json&)>;

const std::map<std::string, Describer>& Describers() {
  static const std::map<std::string, Describer> describers = {
      {"run", [](const Json& r) {
         return "run: " + Str(r, "commandLine") + " (started by " + Str(r, "startedBy") + ")";
       }},
      {"event", [](const Json& r) {
         return "event (" + EventTypeName(r.value("type", 0u)) + ") " + Str(r, "source") +
                ": " + OneLine(Str(r, "text"));
       }},
      {"messageBox", [](const Json& r) {
         return "message box " + Quoted(Str(r, "caption")) + ": " + OneLine(Str(r, "text"));
       }},
      {"stdout", [](const Json& r) { return "stdout: " + OneLine(Str(r, "text")); }},
      {"serviceStatus", [](const Json& r) {
         return "service status " + Str(r, "state") + " (exit code " + Num(r, "exitCode") +
                ", check point " + Num(r, "checkPoint") + ", wait hint " +
                Num(r, "waitHint") + " ms)";
       }},
      {"computerNameSet", [](const Json& r) {
         return std::string(Flag(r, "ok") ? "computer name set to " : "computer name refused: ") +
                Str(r, "name");
       }},
      {"restartRequest", Restart},
      {"clockSet", [](const Json& r) {
         return std::string(Flag(r, "ok") ? "clock set" : "clock setting failed") + " from " +
                Str(r, "from") + " to " + Str(r, "to");
       }},
      {"timeZoneChange", [](const Json& r) {
         return "time zone change reaches the queue (state " + Num(r, "id") + ")";
       }},
      {"libraryCall", [](const Json& r) {
         return "library call " + Str(r, "library") + " " + Str(r, "entry") + ": result " +
                Num(r, "result");
       }},
      {"processStart", ProcessStart},
      {"registryWrite", RegistryWrite},
      {"fileWrite", [](const Json& r) {
         const std::string op = Str(r, "op");
         return "file " + op + " " + Str(r, "path") +
                (op == "delete" ? "" : " (" + Num(r, "bytes") + " bytes)");
       }},
      {"volumeFlush", [](const Json& r) { return "volume " + Str(r, "volume") + " flushed"; }},
      {"serviceConfig", ServiceConfig},
      {"serviceControl", ServiceControl},
      {"typeLibrary", [](const Json& r) {
         return "type library " + Str(r, "libid") + " " + Str(r, "op") + "ed" +
                (r.contains("path") ? " (" + Str(r, "path") + ")" : "");
       }},
      {"powerCut", [](const Json& r) {
         return "power cut after step " + Num(r, "after") + " (" + Str(r, "step") +
                "); files left short: " + Num(r, "shortened");
       }},
      {"idle", [](const Json& r) { return "idle: " + Str(r, "text"); }},
      {"exit", [](const Json& r) { return "exit code " + Num(r, "code"); }},
  };
  return describers;
}

}  // namespace

std::string EventTypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "error";
    case 2: return "warning";
    case 4: return "information";
    default: return "type " + std::to_string(type);
  }
}

std::string OneLine(const std::string& text) {
  std::size_t end = text.find_last_not_of("\r\n");
  std::string trimmed = end == std::string::npos ? "" : text.substr(0, end + 1);
  std::string out;
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c != '\r' && c != '\n') {
      out.push_back(c);
      continue;
    }
    if (c == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
    out += " / ";
  }
  return out;
}

std::string RegistryDataText(std::uint32_t type, const std::string& hexData) {
  HiveValue value;
  value.type = type;
  for (std::size_t i = 0; i + 1 < hexData.size(); i += 2) {
    unsigned byte = 0;
    if (std::sscanf(hexData.substr(i, 2).c_str(), "%2x", &byte) != 1) break;
    value.data.push_back(static_cast<std::uint8_t>(byte));
  }
  return RegValueText(value);
}

std::string DescribeRecord(const Json& record) {
  const auto& describers = Describers();
  auto it = describers.find(record.value("kind", ""));
  return it == describers.end() ? record.dump() : it->second(record);
}

}  // namespace sim
