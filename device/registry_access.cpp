// The registry as the device's access rules see it: key names as stored and
// device.json's "protectedKeys".
#include "device/codepage.h"
#include "device/device.h"

namespace sim {

std::string Device::KeyName(const std::vector<std::u16string>& path) {
  std::u16string name = u"HKEY_LOCAL_MACHINE";
  HiveKey* key = &hive().LocalMachine();
  for (const auto& part : path) {
    HiveKey* next = key != nullptr ? key->FindSubKey(part) : nullptr;
    name += u"\\" + (next != nullptr ? next->name : part);
    key = next;
  }
  return Utf16ToCp1252(name);
}

std::vector<std::u16string> ProtectedKeyPath(const std::string& text) {
  std::vector<std::u16string> parts = SplitKeyPath(Cp1252ToUtf16(text));
  if (parts.empty()) return parts;
  const bool classes = NamesEqual(parts[0], u"HKEY_CLASSES_ROOT");
  if (classes || NamesEqual(parts[0], u"HKEY_LOCAL_MACHINE")) parts.erase(parts.begin());
  if (classes) parts.insert(parts.begin(), {u"SOFTWARE", u"Classes"});
  return parts;
}

bool Device::KeyProtected(const std::vector<std::u16string>& path) {
  for (const auto& text : state().protectedKeys) {
    const std::vector<std::u16string> parts = ProtectedKeyPath(text);
    if (parts.size() != path.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < parts.size() && same; ++i) {
      same = NamesEqual(parts[i], path[i]);
    }
    if (same) return true;
  }
  return false;
}

}  // namespace sim
