// Typed registry reads and writes. Each call opens its key, makes one query
// or one set, and closes the key again.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "os/platform.h"

namespace vorn {

// The payloads the typed reads throw (as an unsigned int).
constexpr unsigned kRegErrorWrongType = 1;
constexpr unsigned kRegErrorNoBuffer = 4;

// Reads and writes values of existing keys. A false result carries the
// failing registry status as the thread's last-error code. The reads throw
// kRegErrorWrongType when the stored value has another type than expected
// (an absent value is never a mismatch), and ReadString throws
// kRegErrorNoBuffer when given no buffer.
class RegAccess {
 public:
  RegAccess(os::Registry& registry, os::Process& process)
      : registry_(registry), process_(process) {}

  // REG_BINARY into buffer; *size in: capacity, out: the size the query
  // reported (also on failure, when the key could be opened). The status is
  // tested before the type.
  bool ReadBinary(os::RootKey root, const char* subKey, const char* valueName,
                  std::uint8_t* buffer, std::uint32_t* size);

  // REG_DWORD; *value is 0 unless the read succeeds. The type is tested
  // before the status.
  bool ReadDword(os::RootKey root, const char* subKey, const char* valueName,
                 std::uint32_t* value);

  // REG_SZ into buffer, exactly the bytes stored (no terminator added);
  // *size as for ReadBinary. The type is tested before the status.
  bool ReadString(os::RootKey root, const char* subKey, const char* valueName,
                  char* buffer, std::uint32_t* size);

  // Into an existing key only; a missing key is a failure, nothing created.
  bool WriteBinary(os::RootKey root, const char* subKey, const char* valueName,
                   const std::uint8_t* data, std::uint32_t size);
  bool WriteDword(os::RootKey root, const char* subKey, const char* valueName,
                  std::uint32_t value);

 private:
  os::Status Query(os::RootKey root, const char* subKey, const char* valueName,
                   std::uint32_t* type, std::uint8_t* buffer, std::uint32_t* size);
  bool Write(os::RootKey root, const char* subKey, const char* valueName,
             std::uint32_t type, const std::uint8_t* data, std::uint32_t size);
  bool Fail(os::Status status);

  os::Registry& registry_;
  os::Process& process_;
};

// Writers that create the key (and any missing parent) first. They leave
// the last-error code alone.
class RegCls {
 public:
  explicit RegCls(os::Registry& registry) : registry_(registry) {}

  // REG_SZ stored without its terminator (byte count = text length).
  bool SetString(os::RootKey root, const char* subKey, const char* valueName,
                 const char* text);
  bool SetBinary(os::RootKey root, const char* subKey, const char* valueName,
                 const std::uint8_t* data, std::uint32_t size);

 private:
  bool Set(os::RootKey root, const char* subKey, const char* valueName,
           std::uint32_t type, const std::uint8_t* data, std::uint32_t size);

  os::Registry& registry_;
};

// The four bytes of a REG_DWORD: little-endian, as the registry stores it.
std::array<std::uint8_t, 4> DwordBytes(std::uint32_t value);

// Values of a key the caller holds open, for registration and the registrar.
// The string is stored with its terminating NUL (unlike RegCls::SetString).
// Both return the status of the set.
os::Status SetString(os::RegistryKey& key, const std::string& name, const std::string& text);
os::Status SetDword(os::RegistryKey& key, const std::string& name, std::uint32_t value);

// True when the runtime's system key exists (and opens for reading and
// writing) and its "OlmNetId" is absent or empty, whatever its type.
bool IsRouteNetIdUnset(os::Registry& registry);

}  // namespace vorn
