#include "tools/vorn-sim/snapshot.h"

#include <fstream>
#include <set>
#include <sstream>

#include "device/codepage.h"
#include "device/device.h"
#include "device/drives.h"
#include "device/reg_file.h"
#include "device/whole_file.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

// The key's name as registry.reg writes it: keys that came in under
// HKEY_CLASSES_ROOT keep that name.
std::string KeyName(const HiveKey& key, const std::vector<std::u16string>& path) {
  const bool classes = key.classesRoot && path.size() > 2 && NamesEqual(path[0], u"SOFTWARE") &&
                       NamesEqual(path[1], u"Classes");
  std::u16string name = classes ? u"HKEY_CLASSES_ROOT" : u"HKEY_LOCAL_MACHINE";
  for (std::size_t i = classes ? 2 : 0; i < path.size(); ++i) name += u"\\" + path[i];
  return Utf16ToUtf8(name);
}

std::string Note(const HiveValue& value, const std::string& text) {
  if ((value.type != 1 && value.type != 2) || text.rfind("hex", 0) != 0) return "";
  const std::u16string units = Utf16LeText(value.data);
  const std::u16string chars = units.substr(0, units.find(u'\0'));
  const bool terminated = value.data.size() >= 2 && value.data[value.data.size() - 1] == 0 &&
                          value.data[value.data.size() - 2] == 0;
  return "(\"" + Utf16ToUtf8(chars) + "\"" + (terminated ? "" : " without its terminator") + ")";
}

void AddKey(const HiveKey& key, std::vector<std::u16string>* path,
            std::vector<RegistryItem>* items) {
  const std::string name = KeyName(key, *path);
  if (!path->empty()) items->push_back(RegistryItem{name, "", true, 0, {}, "", ""});
  for (const HiveValue& value : key.values) {
    const std::string text = RegValueText(value);
    items->push_back(RegistryItem{name, Utf16ToUtf8(value.name), false, value.type, value.data,
                                  text, Note(value, text)});
  }
  for (const auto& sub : key.subKeys) {
    path->push_back(sub->name);
    AddKey(*sub, path, items);
    path->pop_back();
  }
}

// The drive folders: one letter each, as Device::HostPath names them.
bool ReadDrives(const fs::path& folder, std::map<std::string, std::string>* files,
                std::string* error) {
  std::error_code ec;
  for (const auto& drive : fs::directory_iterator(folder, ec)) {
    const std::string name = drive.path().filename().string();
    if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0])) ||
        !drive.is_directory()) {
      continue;
    }
    for (const auto& entry : fs::recursive_directory_iterator(drive.path(), ec)) {
      if (!entry.is_regular_file()) continue;
      std::string& bytes = (*files)[fs::relative(entry.path(), folder).generic_string()];
      if (!ReadFileBytes(entry.path(), &bytes)) {
        *error = "cannot read " + entry.path().string();
        return false;
      }
    }
    if (ec) break;
  }
  if (ec) *error = "cannot list " + folder.string() + ": " + ec.message();
  return !ec;
}

std::string Fold(const std::string& text) {
  std::u16string wide = Utf8ToUtf16(text);
  for (char16_t& c : wide) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 32;
  }
  return Utf16ToUtf8(wide);
}

std::map<std::string, const RegistryItem*> Index(const DeviceSnapshot& snapshot) {
  std::map<std::string, const RegistryItem*> index;
  for (const RegistryItem& item : snapshot.registry) {
    index[RegistryId(item.key, item.value, item.isKey)] = &item;
  }
  return index;
}

}  // namespace

std::string RegistryId(const std::string& key, const std::string& value, bool isKey) {
  // Keys under HKEY_CLASSES_ROOT are the same as under HKLM\SOFTWARE\Classes.
  std::string full = Fold(key);
  const std::string classes = "HKEY_CLASSES_ROOT";
  if (full.compare(0, classes.size(), classes) == 0) {
    full = "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES" + full.substr(classes.size());
  }
  return isKey ? full : full + '\n' + Fold(value);
}

bool TakeSnapshot(const fs::path& folder, bool applyRestart, DeviceSnapshot* snapshot,
                  std::string* error) {
  Device device;
  if (!device.Load(folder, error)) return false;
  if (applyRestart) device.ApplyRestartBetweenRuns();
  snapshot->registry.clear();
  std::vector<std::u16string> path;
  AddKey(device.hive().LocalMachine(), &path, &snapshot->registry);
  snapshot->files.clear();
  if (!ReadDrives(folder, &snapshot->files, error)) return false;
  const DeviceState& state = device.state();
  snapshot->hostName = state.hostName;
  snapshot->pendingHostName = state.pendingHostName;
  snapshot->restartScheduled = state.restartScheduled;
  return true;
}

std::vector<RegistryChange> DiffRegistry(const DeviceSnapshot& before,
                                         const DeviceSnapshot& after) {
  const auto old = Index(before);
  std::set<std::string> seen;
  std::vector<RegistryChange> changes;
  for (const RegistryItem& item : after.registry) {
    const std::string id = RegistryId(item.key, item.value, item.isKey);
    seen.insert(id);
    auto it = old.find(id);
    if (it != old.end() && it->second->type == item.type && it->second->data == item.data) {
      continue;
    }
    RegistryChange change{item.key, item.value, item.isKey, std::nullopt, item.text,
                          "", item.note};
    if (it != old.end()) {
      change.before = it->second->text;
      change.beforeNote = it->second->note;
    }
    changes.push_back(change);
  }
  for (const RegistryItem& item : before.registry) {
    if (seen.count(RegistryId(item.key, item.value, item.isKey)) != 0) continue;
    changes.push_back(
        RegistryChange{item.key, item.value, item.isKey, item.text, std::nullopt, item.note, ""});
  }
  return changes;
}

std::vector<FileChange> DiffFiles(const DeviceSnapshot& before, const DeviceSnapshot& after) {
  std::vector<FileChange> changes;
  for (const auto& [path, bytes] : after.files) {
    auto it = before.files.find(path);
    if (it != before.files.end() && it->second == bytes) continue;
    FileChange change{WindowsPath(path), std::nullopt, bytes};
    if (it != before.files.end()) change.before = it->second;
    changes.push_back(change);
  }
  for (const auto& [path, bytes] : before.files) {
    if (after.files.count(path) == 0) {
      changes.push_back(FileChange{WindowsPath(path), bytes, std::nullopt});
    }
  }
  return changes;
}

}  // namespace sim
