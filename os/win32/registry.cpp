// Registry keys through the 8-bit advapi32 functions.
#include "os/win32/backend.h"
#include "os/win32/handles.h"

namespace os::win32 {
namespace {

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RootKey::kLocalMachine:
      break;
  }
  return HKEY_LOCAL_MACHINE;
}

Status Open(HKEY parent, const std::string& subKey, std::uint32_t access,
            std::unique_ptr<RegistryKey>* key);
Status Create(HKEY parent, const std::string& subKey, std::uint32_t access,
              std::unique_ptr<RegistryKey>* key);

class Key final : public RegistryKey {
 public:
  explicit Key(HKEY key) : key_(key) {}

  Status OpenKey(const std::string& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>* key) override {
    return Open(key_.Get(), subKey, access, key);
  }

  Status CreateKey(const std::string& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>* key) override {
    return Create(key_.Get(), subKey, access, key);
  }

  Status QueryValue(const std::string& name, std::uint32_t* type,
                    std::uint8_t* data, std::uint32_t* size) override {
    // Through locals, so that a missing value or another failure leaves the
    // caller's type and size as they were whatever the function does.
    DWORD valueType = 0;
    DWORD valueSize = size ? *size : 0;
    LONG status = ::RegQueryValueExA(key_.Get(), name.c_str(), nullptr,
                                     &valueType, data, &valueSize);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      if (type) *type = valueType;
      if (size) *size = valueSize;
    }
    return static_cast<Status>(status);
  }

  Status SetValue(const std::string& name, std::uint32_t type,
                  const std::uint8_t* data, std::uint32_t size) override {
    return static_cast<Status>(
        ::RegSetValueExA(key_.Get(), name.c_str(), 0, type, data, size));
  }

  Status DeleteValue(const std::string& name) override {
    return static_cast<Status>(::RegDeleteValueA(key_.Get(), name.c_str()));
  }

  Status DeleteTree(const std::string& subKey) override {
    return static_cast<Status>(::SHDeleteKeyA(key_.Get(), subKey.c_str()));
  }

 private:
  UniqueRegKey key_;
};

Status Open(HKEY parent, const std::string& subKey, std::uint32_t access,
            std::unique_ptr<RegistryKey>* key) {
  HKEY opened = nullptr;
  LONG status = ::RegOpenKeyExA(parent, subKey.c_str(), 0, access, &opened);
  if (status != ERROR_SUCCESS) return static_cast<Status>(status);
  *key = std::make_unique<Key>(opened);
  return kSuccess;
}

Status Create(HKEY parent, const std::string& subKey, std::uint32_t access,
              std::unique_ptr<RegistryKey>* key) {
  HKEY created = nullptr;
  LONG status = ::RegCreateKeyExA(parent, subKey.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, access, nullptr,
                                  &created, nullptr);
  if (status != ERROR_SUCCESS) return static_cast<Status>(status);
  *key = std::make_unique<Key>(created);
  return kSuccess;
}

}  // namespace

Status Registry::OpenKey(RootKey root, const std::string& subKey,
                         std::uint32_t access,
                         std::unique_ptr<RegistryKey>* key) {
  return Open(RootHandle(root), subKey, access, key);
}

Status Registry::CreateKey(RootKey root, const std::string& subKey,
                           std::uint32_t access,
                           std::unique_ptr<RegistryKey>* key) {
  return Create(RootHandle(root), subKey, access, key);
}

Status Registry::DeleteTree(RootKey root, const std::string& subKey) {
  return static_cast<Status>(::SHDeleteKeyA(RootHandle(root), subKey.c_str()));
}

}  // namespace os::win32
