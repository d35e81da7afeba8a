#include "common/reg_access.h"

#include <cstring>

namespace vorn {

bool RegAccess::Fail(os::Status status) {
  process_.SetLastError(status);
  return false;
}

bool RegAccess::ReadBinary(os::RootKey root, const char* subKey, const char* valueName,
                           std::uint8_t* buffer, std::uint32_t* size) {
  std::unique_ptr<os::RegistryKey> key;
  os::Status status = registry_.OpenKey(root, subKey, os::kKeyRead, &key);
  if (status != os::kSuccess) return Fail(status);
  std::uint32_t type = os::kRegBinary;
  std::uint32_t copy = *size;
  status = key->QueryValue(valueName, &type, buffer, &copy);
  *size = copy;
  key.reset();
  if (status != os::kSuccess) return Fail(status);
  if (type != os::kRegBinary) throw kRegErrorWrongType;
  return true;
}

bool RegAccess::ReadDword(os::RootKey root, const char* subKey, const char* valueName,
                          std::uint32_t* value) {
  *value = 0;
  std::unique_ptr<os::RegistryKey> key;
  os::Status status = registry_.OpenKey(root, subKey, os::kKeyRead, &key);
  if (status != os::kSuccess) return Fail(status);
  std::uint8_t data[4] = {};
  std::uint32_t size = sizeof data;
  std::uint32_t type = os::kRegDword;
  status = key->QueryValue(valueName, &type, data, &size);
  key.reset();
  if (type != os::kRegDword) throw kRegErrorWrongType;
  if (status != os::kSuccess) return Fail(status);
  std::memcpy(value, data, sizeof data);  // little-endian, as the registry stores it
  return true;
}

bool RegAccess::ReadString(os::RootKey root, const char* subKey, const char* valueName,
                           char* buffer, std::uint32_t* size) {
  if (buffer == nullptr) throw kRegErrorNoBuffer;
  std::unique_ptr<os::RegistryKey> key;
  os::Status status = registry_.OpenKey(root, subKey, os::kKeyRead, &key);
  if (status != os::kSuccess) return Fail(status);
  std::uint32_t type = os::kRegSz;
  std::uint32_t copy = *size;
  status = key->QueryValue(valueName, &type, reinterpret_cast<std::uint8_t*>(buffer), &copy);
  key.reset();
  *size = copy;
  if (type != os::kRegSz) throw kRegErrorWrongType;
  if (status != os::kSuccess) return Fail(status);
  return true;
}

bool RegAccess::WriteBinary(os::RootKey root, const char* subKey, const char* valueName,
                            const std::uint8_t* data, std::uint32_t size) {
  std::unique_ptr<os::RegistryKey> key;
  os::Status status = registry_.OpenKey(root, subKey, os::kKeyWrite, &key);
  if (status != os::kSuccess) return Fail(status);
  status = key->SetValue(valueName, os::kRegBinary, data, size);
  key.reset();
  if (status != os::kSuccess) return Fail(status);
  return true;
}

bool RegAccess::WriteDword(os::RootKey root, const char* subKey, const char* valueName,
                           std::uint32_t value) {
  std::uint8_t data[4];
  std::memcpy(data, &value, sizeof data);
  std::unique_ptr<os::RegistryKey> key;
  os::Status status = registry_.OpenKey(root, subKey, os::kKeyWrite, &key);
  if (status != os::kSuccess) return Fail(status);
  status = key->SetValue(valueName, os::kRegDword, data, sizeof data);
  key.reset();
  if (status != os::kSuccess) return Fail(status);
  return true;
}

bool RegCls::Set(os::RootKey root, const char* subKey, const char* valueName,
                 std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  std::unique_ptr<os::RegistryKey> key;
  // Judged by the handle delivered, not by the status.
  registry_.CreateKey(root, subKey, os::kKeyReadWrite, &key);
  if (!key) return false;
  return key->SetValue(valueName, type, data, size) == os::kSuccess;
}

bool RegCls::SetString(os::RootKey root, const char* subKey, const char* valueName,
                       const char* text) {
  return Set(root, subKey, valueName, os::kRegSz,
             reinterpret_cast<const std::uint8_t*>(text),
             static_cast<std::uint32_t>(std::strlen(text)));
}

bool RegCls::SetBinary(os::RootKey root, const char* subKey, const char* valueName,
                       const std::uint8_t* data, std::uint32_t size) {
  return Set(root, subKey, valueName, os::kRegBinary, data, size);
}

bool IsRouteNetIdUnset(os::Registry& registry) {
  std::unique_ptr<os::RegistryKey> key;
  registry.OpenKey(os::RootKey::kLocalMachine, "SOFTWARE\\Talvenor\\Quorvex\\System",
                   os::kKeyReadWrite, &key);
  if (!key) return false;
  std::uint32_t size = 0;
  os::Status status = key->QueryValue("OlmNetId", nullptr, nullptr, &size);
  return status != os::kSuccess || size == 0;
}

}  // namespace vorn
