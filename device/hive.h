// The simulated device's registry: a tree of keys holding raw typed values,
// exactly as a Windows hive stores them (string types in UTF-16LE, with or
// without a terminator, any type number, any byte count).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct HiveValue {
  std::u16string name;  // empty: the default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// A REG_DWORD's 4 bytes, low byte first, and the way back: the number a
// REG_DWORD value of 4 bytes holds; nothing for any other value.
std::vector<std::uint8_t> DwordData(std::uint32_t number);
std::optional<std::uint32_t> DwordOf(const HiveValue& value);

struct HiveKey {
  std::u16string name;
  // Written back as a [HKEY_CLASSES_ROOT\...] section: it came from one, or
  // was created through HKEY_CLASSES_ROOT.
  bool classesRoot = false;
  // Has a section of its own in registry.reg (a key that only exists as the
  // parent of others in an export has none).
  bool hasSection = false;
  std::vector<HiveValue> values;  // in stored order
  std::vector<std::unique_ptr<HiveKey>> subKeys;  // in stored order

  HiveKey* FindSubKey(const std::u16string& subName);
  HiveValue* FindValue(const std::u16string& valueName);
  bool EraseValue(const std::u16string& valueName);
  bool EraseSubKey(const std::u16string& subName);
};

// Case-insensitive comparison of registry names (ASCII and Latin-1 letters).
bool NamesEqual(const std::u16string& a, const std::u16string& b);

// Splits "A\B\C" into its components; empty components are dropped.
std::vector<std::u16string> SplitKeyPath(const std::u16string& path);
// The path under HKEY_LOCAL_MACHINE of a key device.json's "protectedKeys"
// names: given under HKEY_LOCAL_MACHINE, under HKEY_CLASSES_ROOT
// (SOFTWARE\Classes there) or without a root (taken as under
// HKEY_LOCAL_MACHINE).
std::vector<std::u16string> ProtectedKeyPath(const std::string& text);

class Hive {
 public:
  Hive();

  // The HKEY_LOCAL_MACHINE root. HKEY_CLASSES_ROOT is
  // HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
  HiveKey& LocalMachine() { return *localMachine_; }

  // Full path below HKEY_LOCAL_MACHINE for a path under either root.
  static std::vector<std::u16string> Resolve(bool classesRoot,
                                             const std::u16string& path);

  // The key at `components` below HKEY_LOCAL_MACHINE, or null.
  HiveKey* Find(const std::vector<std::u16string>& components);

  // Finds or creates the key; *created tells whether the last component
  // was new. New keys get sections of their own; `classesRoot` marks the new
  // keys below HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
  HiveKey* Create(const std::vector<std::u16string>& components,
                  bool classesRoot, bool* created);

  // Removes the key and everything below it. False when it does not exist.
  bool Erase(const std::vector<std::u16string>& components);

 private:
  std::unique_ptr<HiveKey> localMachine_;
};

}  // namespace sim
