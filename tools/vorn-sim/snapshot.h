// What a boot changed on the simulated device: the device folder's state
// before and after (registry, the files of its drives, the computer name),
// and the differences between two such states.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One registry key or value, named in regedit's notation.
struct RegistryItem {
  std::string key;        // "HKEY_LOCAL_MACHINE\SOFTWARE\..." or "HKEY_CLASSES_ROOT\..."
  std::string value;      // the value's name ("" the default value)
  bool isKey = true;      // the key itself rather than one of its values
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  std::string text;       // the data as regedit writes it: "text", dword:..., hex:...
  // For a string value that regedit can only write in hex: its text, as
  // ("KQ5_12AB3C" without its terminator); else empty.
  std::string note;
};

struct DeviceSnapshot {
  std::vector<RegistryItem> registry;  // in the order registry.reg holds them
  // The files of the drive folders (c/, d/, ...), by their path relative
  // to the device folder ("c/Quorvex/DefaultConfig.xml"), with their bytes.
  std::map<std::string, std::string> files;
  std::string hostName;
  std::optional<std::string> pendingHostName;
  std::optional<std::string> restartScheduled;
};

// Reads the device folder. With `applyRestart`, the state as the next boot
// finds it: a scheduled restart taken as done. False with a message when
// the folder cannot be read.
bool TakeSnapshot(const std::filesystem::path& folder, bool applyRestart,
                  DeviceSnapshot* snapshot, std::string* error);

// A registry key or value that differs; a side that lacks it is empty.
struct RegistryChange {
  std::string key;
  std::string value;
  bool isKey = false;
  std::optional<std::string> before;  // regedit notation; "" for a key
  std::optional<std::string> after;
  std::string beforeNote;  // RegistryItem::note of each side
  std::string afterNote;
};

// A file that differs: created, changed or removed.
struct FileChange {
  std::string path;  // the Windows path: "C:\Quorvex\DefaultConfig.xml"
  std::optional<std::string> before;  // the bytes; empty: the file did not exist
  std::optional<std::string> after;
};

// Registry differences: keys and values of `after` that are new or changed,
// in its order, then those `before` had and `after` lacks. Names compare
// without regard to case, as the registry does.
std::vector<RegistryChange> DiffRegistry(const DeviceSnapshot& before,
                                         const DeviceSnapshot& after);
std::vector<FileChange> DiffFiles(const DeviceSnapshot& before, const DeviceSnapshot& after);

// The identity of a registry item for comparisons: its key and value name,
// case folded.
std::string RegistryId(const std::string& key, const std::string& value, bool isKey);

}  // namespace sim
