#include "common/reg_access.h"

#include <cstring>

namespace vorn {

bool RegAccess::Fail(os::Status status) {
  process_.SetLastError(status);
  return false;
}

// The one read path: open for reading, one query, close. *type in: the type
// asked for, out: the type stored; *size in: capacity, out: what the query
// reported. Both stay untouched when the key does not open, so a caller's
// type test passes and the open's status decides.
os::Status RegAccess::Query(os::RootKey root, const char* subKey, const char* valueName,
                            std::uint32_t* type, std::uint8_t* buffer, std::uint32_t* size) {
  std::unique_ptr<os::RegistryKey> key;
  const os::Status status = registry_.OpenKey(root, subKey, os::kKeyRead, &key);
  if (status != os::kSuccess) return status;
  return key->QueryValue(valueName, type, buffer, size);
}

// The one write path: open an existing key for writing, one set, close.
bool RegAccess::Write(os::RootKey root, const char* subKey, const char* valueName,
                      std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  std::unique_ptr<os::RegistryKey> key;
  os::Status status = registry_.OpenKey(root, subKey, os::kKeyWrite, &key);
  if (status == os::kSuccess) status = key->SetValue(valueName, type, data, size);
  key.reset();
  return status == os::kSuccess || Fail(status);
}

bool RegAccess::ReadBinary(os::RootKey root, const char* subKey, const char* valueName,
                           std::uint8_t* buffer, std::uint32_t* size) {
  std::uint32_t type = os::kRegBinary;
  const os::Status status = Query(root, subKey, valueName, &type, buffer, size);
  if (status != os::kSuccess) return Fail(status);
  if (type != os::kRegBinary) throw kRegErrorWrongType;
  return true;
}

bool RegAccess::ReadDword(os::RootKey root, const char* subKey, const char* valueName,
                          std::uint32_t* value) {
  *value = 0;
  std::uint8_t data[4] = {};
  std::uint32_t size = sizeof data;
  std::uint32_t type = os::kRegDword;
  const os::Status status = Query(root, subKey, valueName, &type, data, &size);
  if (type != os::kRegDword) throw kRegErrorWrongType;
  if (status != os::kSuccess) return Fail(status);
  // Little-endian, as the registry stores it (DwordBytes is the way back).
  *value = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  return true;
}

bool RegAccess::ReadString(os::RootKey root, const char* subKey, const char* valueName,
                           char* buffer, std::uint32_t* size) {
  if (buffer == nullptr) throw kRegErrorNoBuffer;
  std::uint32_t type = os::kRegSz;
  const os::Status status =
      Query(root, subKey, valueName, &type, reinterpret_cast<std::uint8_t*>(buffer), size);
  if (type != os::kRegSz) throw kRegErrorWrongType;
  if (status != os::kSuccess) return Fail(status);
  return true;
}

bool RegAccess::WriteBinary(os::RootKey root, const char* subKey, const char* valueName,
                            const std::uint8_t* data, std::uint32_t size) {
  return Write(root, subKey, valueName, os::kRegBinary, data, size);
}

bool RegAccess::WriteDword(os::RootKey root, const char* subKey, const char* valueName,
                           std::uint32_t value) {
  const std::array<std::uint8_t, 4> data = DwordBytes(value);
  return Write(root, subKey, valueName, os::kRegDword, data.data(), data.size());
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

std::array<std::uint8_t, 4> DwordBytes(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

os::Status SetString(os::RegistryKey& key, const std::string& name, const std::string& text) {
  return key.SetValue(name, os::kRegSz, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                      static_cast<std::uint32_t>(text.size() + 1));
}

os::Status SetDword(os::RegistryKey& key, const std::string& name, std::uint32_t value) {
  const std::array<std::uint8_t, 4> bytes = DwordBytes(value);
  return key.SetValue(name, os::kRegDword, bytes.data(), bytes.size());
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
