#include "device/hive.h"

namespace sim {
namespace {

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

}  // namespace

std::vector<std::uint8_t> DwordData(std::uint32_t number) {
  return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}

std::optional<std::uint32_t> DwordOf(const HiveValue& value) {
  if (value.type != 4 || value.data.size() != 4) return std::nullopt;
  const auto& d = value.data;
  return static_cast<std::uint32_t>(d[0] | (d[1] << 8) | (d[2] << 16) |
                                    (static_cast<std::uint32_t>(d[3]) << 24));
}

bool NamesEqual(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

std::vector<std::u16string> SplitKeyPath(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

HiveKey* HiveKey::FindSubKey(const std::u16string& subName) {
  for (auto& key : subKeys) {
    if (NamesEqual(key->name, subName)) return key.get();
  }
  return nullptr;
}

HiveValue* HiveKey::FindValue(const std::u16string& valueName) {
  for (auto& value : values) {
    if (NamesEqual(value.name, valueName)) return &value;
  }
  return nullptr;
}

bool HiveKey::EraseValue(const std::u16string& valueName) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (NamesEqual(it->name, valueName)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

bool HiveKey::EraseSubKey(const std::u16string& subName) {
  for (auto it = subKeys.begin(); it != subKeys.end(); ++it) {
    if (NamesEqual((*it)->name, subName)) {
      subKeys.erase(it);
      return true;
    }
  }
  return false;
}

Hive::Hive() : localMachine_(std::make_unique<HiveKey>()) {
  localMachine_->name = u"HKEY_LOCAL_MACHINE";
}

std::vector<std::u16string> Hive::Resolve(bool classesRoot,
                                          const std::u16string& path) {
  std::vector<std::u16string> parts;
  if (classesRoot) parts = {u"SOFTWARE", u"Classes"};
  for (auto& p : SplitKeyPath(path)) parts.push_back(p);
  return parts;
}

HiveKey* Hive::Find(const std::vector<std::u16string>& components) {
  HiveKey* key = localMachine_.get();
  for (const auto& part : components) {
    key = key->FindSubKey(part);
    if (key == nullptr) return nullptr;
  }
  return key;
}

HiveKey* Hive::Create(const std::vector<std::u16string>& components,
                      bool classesRoot, bool* created) {
  HiveKey* key = localMachine_.get();
  bool last = false;
  for (std::size_t i = 0; i < components.size(); ++i) {
    HiveKey* next = key->FindSubKey(components[i]);
    last = next == nullptr;
    if (next == nullptr) {
      auto fresh = std::make_unique<HiveKey>();
      fresh->name = components[i];
      fresh->hasSection = true;
      // Keys under SOFTWARE\Classes made through HKEY_CLASSES_ROOT are
      // written back under that root.
      fresh->classesRoot = classesRoot && i >= 2;
      next = fresh.get();
      key->subKeys.push_back(std::move(fresh));
    }
    key = next;
  }
  if (created != nullptr) *created = last;
  return key;
}

bool Hive::Erase(const std::vector<std::u16string>& components) {
  if (components.empty()) return false;
  std::vector<std::u16string> parent(components.begin(), components.end() - 1);
  HiveKey* key = Find(parent);
  return key != nullptr && key->EraseSubKey(components.back());
}

}  // namespace sim
