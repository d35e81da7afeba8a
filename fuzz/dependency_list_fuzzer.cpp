// The "DependOnService" list: any bytes split into entries that hold no NUL
// and are not empty, and writing the list and reading it back gives the
// same entries in the same order, in exactly the bytes the format names.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "host/dependency_list.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "dependency_list_fuzzer: " << what << "\n";
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vorn::DependencyList list = vorn::DependencyList::FromBytes(data, size);
  std::size_t expected = 1;
  for (const std::string& entry : list.entries) {
    if (entry.empty()) Fail("an empty entry");
    if (entry.find('\0') != std::string::npos) Fail("an entry holding a NUL");
    expected += entry.size() + 1;
  }
  const std::vector<std::uint8_t> bytes = list.ToBytes();
  if (bytes.size() != expected) Fail("written size is not the entries plus their NULs plus one");
  if (bytes.back() != 0) Fail("the list does not end in NUL");
  const vorn::DependencyList again = vorn::DependencyList::FromBytes(bytes.data(), bytes.size());
  if (again.entries != list.entries) Fail("written and read back differs");
  return 0;
}
