// The registry, as the 8-bit ("A") registry functions of advapi32 see it.
//
// Keys are move-only objects: destroying one is RegCloseKey. String data
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) crosses this interface in the active
// code page, exactly as RegQueryValueExA and RegSetValueExA deliver and take
// it; every other type is raw bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/types.h"

namespace os {

enum class RootKey { kLocalMachine, kClassesRoot };

constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyReadWrite = 0x2001F;  // KEY_READ | KEY_WRITE
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;  // RegCloseKey; never fails visibly.

  // RegOpenKeyExA relative to this key. On failure returns the status
  // (2 when the key does not exist, 5 when the access is denied) and leaves
  // *key untouched.
  virtual Status OpenKey(const std::string& subKey, std::uint32_t access,
                         std::unique_ptr<RegistryKey>* key) = 0;

  // RegCreateKeyExA (non-volatile, default security) relative to this key:
  // opens the key or creates it and every missing intermediate key. On
  // failure returns the status and leaves *key untouched.
  virtual Status CreateKey(const std::string& subKey, std::uint32_t access,
                           std::unique_ptr<RegistryKey>* key) = 0;

  // RegQueryValueExA. An empty name is the default value.
  // - Value missing: returns 2 and writes neither *type nor *size.
  // - data null: size query; returns 0, *type and *size set.
  // - *size smaller than the data: returns 234 (ERROR_MORE_DATA), *type and
  //   *size (the size needed) set, buffer contents unspecified.
  // - Otherwise: returns 0, copies the data, sets *type and *size.
  // `type` may be null. `size` may be null only when `data` is null.
  // No terminator is added to string data that was stored without one.
  virtual Status QueryValue(const std::string& name, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size) = 0;

  // RegSetValueExA. Stores `size` bytes of `data` (string types converted
  // from the active code page). A string whose count leaves out the
  // terminator that follows it is stored with it, as NT does: for string
  // types with a last counted byte that is not NUL, the byte after `size` is
  // read. Returns 5 when the key was not opened with KEY_SET_VALUE or its
  // security denies writing.
  virtual Status SetValue(const std::string& name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) = 0;

  // RegDeleteValueA. Returns 2 when the value does not exist.
  virtual Status DeleteValue(const std::string& name) = 0;

  // SHDeleteKeyA: deletes the sub-key with all its sub-keys and values.
  // Returns 2 when it does not exist.
  virtual Status DeleteTree(const std::string& subKey) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExA on a root key. Contract as RegistryKey::OpenKey. An empty
  // sub-key opens the root itself.
  virtual Status OpenKey(RootKey root, const std::string& subKey,
                         std::uint32_t access,
                         std::unique_ptr<RegistryKey>* key) = 0;

  // RegCreateKeyExA on a root key. Contract as RegistryKey::CreateKey.
  virtual Status CreateKey(RootKey root, const std::string& subKey,
                           std::uint32_t access,
                           std::unique_ptr<RegistryKey>* key) = 0;

  // SHDeleteKeyA on a root key. Returns 2 when the key does not exist.
  virtual Status DeleteTree(RootKey root, const std::string& subKey) = 0;
};

}  // namespace os
