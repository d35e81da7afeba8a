// The "DependOnService" value of a service (REG_MULTI_SZ) as an ordered list
// of 8-bit entries while it is edited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "os/registry.h"
#include "os/text.h"

namespace vorn {

class DependencyList {
 public:
  // Splits the bytes at NULs: empty when the first byte is NUL; otherwise
  // entries one after the other until the next would start at or beyond
  // `size` or an empty entry (two NULs in a row) ends the list. A last entry
  // without its NUL ends at `size`. Every entry is kept whole, whatever its
  // length: a cut entry written back would name another service.
  static DependencyList FromBytes(const std::uint8_t* data, std::size_t size);

  // Each entry followed by one NUL, then one more NUL; an empty list is the
  // single NUL byte.
  std::vector<std::uint8_t> ToBytes() const;

  void Append(const std::string& entry) { entries.push_back(entry); }

  // Removes every entry equal to `name` without regard to case (the active
  // code page's rules). Returns how many were removed.
  std::size_t RemoveNoCase(const std::string& name, os::Text& text);

  std::vector<std::string> entries;
};

// Reads "DependOnService" of `key` into *list: its size first, then its
// bytes. False when the value does not exist or cannot be read; *list is
// then unchanged. The value's registry type is not examined.
bool ReadDependencies(os::RegistryKey& key, DependencyList* list);

// Writes the list back as REG_MULTI_SZ "DependOnService". Returns the
// registry status.
os::Status WriteDependencies(os::RegistryKey& key, const DependencyList& list);

}  // namespace vorn
