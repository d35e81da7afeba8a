#include "os/sim/sim_registry.h"

#include <cstring>

#include "device/codepage.h"

namespace sim {
namespace {

constexpr os::Status kErrorKeyDeleted = 1018;

bool IsStringType(std::uint32_t type) {
  return type == os::kRegSz || type == os::kRegExpandSz || type == os::kRegMultiSz;
}

bool WantsWrite(std::uint32_t access) {
  return (access & (os::kKeySetValue | os::kKeyCreateSubKey)) != 0;
}

std::vector<std::u16string> Join(const std::vector<std::u16string>& base,
                                 const std::string& subKey) {
  std::vector<std::u16string> path = base;
  for (auto& part : SplitKeyPath(Cp1252ToUtf16(subKey))) path.push_back(part);
  return path;
}

class SimKey : public os::RegistryKey {
 public:
  SimKey(SimRegistry& registry, std::vector<std::u16string> path,
         bool classesRoot, std::uint32_t access)
      : registry_(registry), path_(std::move(path)), classesRoot_(classesRoot),
        access_(access) {}

  os::Status OpenKey(const std::string& subKey, std::uint32_t access,
                     std::unique_ptr<os::RegistryKey>* key) override {
    if (auto e = registry_.device().Fault("RegOpenKeyExA")) return *e;
    if (Key() == nullptr) return kErrorKeyDeleted;
    return registry_.Open(Join(path_, subKey), classesRoot_, access, key);
  }

  os::Status CreateKey(const std::string& subKey, std::uint32_t access,
                       std::unique_ptr<os::RegistryKey>* key) override {
    if (auto e = registry_.device().Fault("RegCreateKeyExA")) return *e;
    if (Key() == nullptr) return kErrorKeyDeleted;
    return registry_.Create(Join(path_, subKey), classesRoot_, access,
                            (access_ & os::kKeyCreateSubKey) != 0, key);
  }

  os::Status QueryValue(const std::string& name, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* size) override {
    if (auto e = registry_.device().Fault("RegQueryValueExA")) return *e;
    std::lock_guard<std::mutex> lock(registry_.device().mutex());
    HiveKey* key = Key();
    if (key == nullptr) return kErrorKeyDeleted;
    if ((access_ & os::kKeyQueryValue) == 0) return os::kErrorAccessDenied;
    HiveValue* value = key->FindValue(Cp1252ToUtf16(name));
    if (value == nullptr) return os::kErrorFileNotFound;
    std::vector<std::uint8_t> bytes = value->data;
    if (IsStringType(value->type)) {
      std::string narrow = Utf16ToCp1252(Utf16LeText(bytes));
      bytes.assign(narrow.begin(), narrow.end());
    }
    if (type != nullptr) *type = value->type;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) {
      if (size != nullptr) *size = needed;
      return os::kSuccess;
    }
    if (*size < needed) {
      *size = needed;
      return os::kErrorMoreData;
    }
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    *size = needed;
    return os::kSuccess;
  }

  os::Status SetValue(const std::string& name, std::uint32_t type,
                      const std::uint8_t* data, std::uint32_t size) override {
    if (auto e = registry_.device().Fault("RegSetValueExA")) return *e;
    std::lock_guard<std::mutex> lock(registry_.device().mutex());
    HiveKey* key;
    if (os::Status e = KeyToChange(&key)) return e;
    HiveValue value;
    value.name = Cp1252ToUtf16(name);
    value.type = type;
    if (IsStringType(type)) {
      // RegSetValueExA counts a terminator the caller forgot when it is there.
      if (size > 0 && data[size - 1] != 0 && data[size] == 0) ++size;
      AppendUtf16Le(Cp1252ToUtf16(std::string(reinterpret_cast<const char*>(data), size)),
                    &value.data);
    } else if (size > 0) {
      value.data.assign(data, data + size);
    }
    sim::Json record = {{"kind", "registryWrite"}, {"op", "setValue"},
                        {"key", registry_.device().KeyName(path_)}, {"value", name},
                        {"type", type},
                        {"data", HexBytes(value.data.data(), value.data.size())}};
    if (HiveValue* existing = key->FindValue(value.name)) {
      existing->type = value.type;
      existing->data = value.data;
    } else {
      key->values.push_back(value);
    }
    key->hasSection = true;
    registry_.device().MarkRegistryChanged();
    registry_.device().Journal(record);
    return os::kSuccess;
  }

  os::Status DeleteValue(const std::string& name) override {
    if (auto e = registry_.device().Fault("RegDeleteValueA")) return *e;
    std::lock_guard<std::mutex> lock(registry_.device().mutex());
    HiveKey* key;
    if (os::Status e = KeyToChange(&key)) return e;
    if (!key->EraseValue(Cp1252ToUtf16(name))) return os::kErrorFileNotFound;
    registry_.device().MarkRegistryChanged();
    registry_.device().Journal({{"kind", "registryWrite"}, {"op", "deleteValue"},
                                {"key", registry_.device().KeyName(path_)}, {"value", name}});
    return os::kSuccess;
  }

  os::Status DeleteTree(const std::string& subKey) override {
    if (auto e = registry_.device().Fault("SHDeleteKeyA")) return *e;
    if (Key() == nullptr) return kErrorKeyDeleted;
    return registry_.Erase(Join(path_, subKey));
  }

 private:
  HiveKey* Key() { return registry_.device().hive().Find(path_); }

  // The key, for a change to its values: gone if deleted meanwhile, denied
  // without KEY_SET_VALUE or under a protected key. Caller holds the
  // device's mutex.
  os::Status KeyToChange(HiveKey** key) {
    *key = Key();
    if (*key == nullptr) return kErrorKeyDeleted;
    if ((access_ & os::kKeySetValue) == 0 || registry_.device().KeyProtected(path_)) {
      return os::kErrorAccessDenied;
    }
    return os::kSuccess;
  }

  SimRegistry& registry_;
  std::vector<std::u16string> path_;
  bool classesRoot_;
  std::uint32_t access_;
};

}  // namespace

os::Status SimRegistry::Open(std::vector<std::u16string> path, bool classesRoot,
                             std::uint32_t access,
                             std::unique_ptr<os::RegistryKey>* key) {
  std::lock_guard<std::mutex> lock(device_.mutex());
  if (device_.hive().Find(path) == nullptr) return os::kErrorFileNotFound;
  if (access & os::kMaximumAllowed) {
    access = device_.KeyProtected(path) ? os::kKeyRead : os::kKeyAllAccess;
  }
  if (WantsWrite(access) && device_.KeyProtected(path)) return os::kErrorAccessDenied;
  *key = std::make_unique<SimKey>(*this, std::move(path), classesRoot, access);
  return os::kSuccess;
}

os::Status SimRegistry::Create(std::vector<std::u16string> path, bool classesRoot,
                               std::uint32_t access, bool parentMayCreate,
                               std::unique_ptr<os::RegistryKey>* key) {
  std::lock_guard<std::mutex> lock(device_.mutex());
  Hive& hive = device_.hive();
  if (hive.Find(path) == nullptr) {
    if (!parentMayCreate) return os::kErrorAccessDenied;
    // Creation needs write access to the deepest existing ancestor.
    std::vector<std::u16string> existing = path;
    while (!existing.empty() && hive.Find(existing) == nullptr) existing.pop_back();
    if (device_.KeyProtected(existing)) return os::kErrorAccessDenied;
    std::vector<std::u16string> prefix = existing;
    for (std::size_t i = existing.size(); i < path.size(); ++i) {
      prefix.push_back(path[i]);
      hive.Create(prefix, classesRoot, nullptr);
      device_.Journal({{"kind", "registryWrite"}, {"op", "createKey"},
                       {"key", device_.KeyName(prefix)}});
    }
    device_.MarkRegistryChanged();
  }
  if (WantsWrite(access) && device_.KeyProtected(path)) return os::kErrorAccessDenied;
  *key = std::make_unique<SimKey>(*this, std::move(path), classesRoot, access);
  return os::kSuccess;
}

os::Status SimRegistry::Erase(const std::vector<std::u16string>& path) {
  std::lock_guard<std::mutex> lock(device_.mutex());
  if (device_.hive().Find(path) == nullptr) return os::kErrorFileNotFound;
  std::vector<std::u16string> parent(path.begin(), path.end() - (path.empty() ? 0 : 1));
  if (path.empty() || device_.KeyProtected(parent) || device_.KeyProtected(path)) {
    return os::kErrorAccessDenied;
  }
  std::string name = device_.KeyName(path);
  device_.hive().Erase(path);
  device_.MarkRegistryChanged();
  device_.Journal({{"kind", "registryWrite"}, {"op", "deleteKey"}, {"key", name}});
  return os::kSuccess;
}

os::Status SimRegistry::OpenKey(os::RootKey root, const std::string& subKey,
                                std::uint32_t access,
                                std::unique_ptr<os::RegistryKey>* key) {
  if (auto e = device_.Fault("RegOpenKeyExA")) return *e;
  bool classes = root == os::RootKey::kClassesRoot;
  return Open(Hive::Resolve(classes, Cp1252ToUtf16(subKey)), classes, access, key);
}

os::Status SimRegistry::CreateKey(os::RootKey root, const std::string& subKey,
                                  std::uint32_t access,
                                  std::unique_ptr<os::RegistryKey>* key) {
  if (auto e = device_.Fault("RegCreateKeyExA")) return *e;
  bool classes = root == os::RootKey::kClassesRoot;
  return Create(Hive::Resolve(classes, Cp1252ToUtf16(subKey)), classes, access,
                true, key);
}

os::Status SimRegistry::DeleteTree(os::RootKey root, const std::string& subKey) {
  if (auto e = device_.Fault("SHDeleteKeyA")) return *e;
  return Erase(Hive::Resolve(root == os::RootKey::kClassesRoot, Cp1252ToUtf16(subKey)));
}

}  // namespace sim
