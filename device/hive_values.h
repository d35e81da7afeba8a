// Values written straight into the simulated hive by the device's own
// facilities (the service control manager's database, type library
// registration), which do not go through the registry port. Text is in the
// active code page (Windows-1252) and stored as the hive stores it: UTF-16LE
// with its terminator. The caller holds the device's mutex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/registry.h"
#include "device/hive.h"

namespace sim {

void PutString(HiveKey& key, const std::string& name, std::uint32_t type,
               const std::string& text);
void PutDword(HiveKey& key, const std::string& name, std::uint32_t value);
void PutMultiString(HiveKey& key, const std::string& name,
                    const std::vector<std::string>& entries);

// The text of a string value up to its first NUL, or nothing when the value
// is missing or not a string type.
std::optional<std::string> GetString(HiveKey& key, const std::string& name);
std::optional<std::uint32_t> GetDword(HiveKey& key, const std::string& name);

}  // namespace sim
