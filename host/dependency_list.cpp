#include "host/dependency_list.h"

namespace vorn {
namespace {
constexpr char kValueName[] = "DependOnService";
}  // namespace

DependencyList DependencyList::FromBytes(const std::uint8_t* data, std::size_t size) {
  DependencyList list;
  std::size_t pos = 0;
  while (pos < size && data[pos] != 0) {
    std::size_t end = pos;
    while (end < size && data[end] != 0) ++end;
    list.entries.emplace_back(reinterpret_cast<const char*>(data + pos), end - pos);
    pos = end + 1;
  }
  return list;
}

std::vector<std::uint8_t> DependencyList::ToBytes() const {
  std::vector<std::uint8_t> bytes;
  for (const std::string& entry : entries) {
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    bytes.push_back(0);
  }
  bytes.push_back(0);
  return bytes;
}

std::size_t DependencyList::RemoveNoCase(const std::string& name, os::Text& text) {
  std::size_t before = entries.size();
  std::erase_if(entries, [&](const std::string& e) { return text.CompareNoCase(e, name) == 0; });
  return before - entries.size();
}

bool ReadDependencies(os::RegistryKey& key, DependencyList* list) {
  std::uint32_t size = 0;
  if (key.QueryValue(kValueName, nullptr, nullptr, &size) != os::kSuccess) return false;
  std::vector<std::uint8_t> bytes(size);
  if (size > 0 && key.QueryValue(kValueName, nullptr, bytes.data(), &size) != os::kSuccess) {
    // Writing back a list that was not read would drop the runtime's other
    // dependencies.
    return false;
  }
  *list = DependencyList::FromBytes(bytes.data(), size);
  return true;
}

os::Status WriteDependencies(os::RegistryKey& key, const DependencyList& list) {
  std::vector<std::uint8_t> bytes = list.ToBytes();
  return key.SetValue(kValueName, os::kRegMultiSz, bytes.data(),
                      static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace vorn
