// The .reg reader: any bytes are read or refused with a message, and what is
// read survives writing and reading again: parse(write(parse(x))) equals
// parse(x), and writing that again gives the same bytes.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "device/hive.h"
#include "device/reg_file.h"

namespace {

bool SameKey(const sim::HiveKey& a, const sim::HiveKey& b, std::string* where) {
  if (a.name != b.name) return *where = "key name", false;
  if (a.values.size() != b.values.size()) return *where = "value count", false;
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const auto& x = a.values[i];
    const auto& y = b.values[i];
    if (x.name != y.name || x.type != y.type || x.data != y.data) {
      return *where = "value " + std::to_string(i), false;
    }
  }
  if (a.subKeys.size() != b.subKeys.size()) return *where = "sub-key count", false;
  for (std::size_t i = 0; i < a.subKeys.size(); ++i) {
    if (!SameKey(*a.subKeys[i], *b.subKeys[i], where)) return false;
  }
  return true;
}

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "reg_file_fuzzer: " << what << "\n";
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  sim::Hive first;
  std::string error;
  if (!sim::ParseRegFile(bytes, &first, &error)) {
    if (error.empty()) Fail("refused without a message");
    return 0;
  }
  const std::string written = sim::WriteRegFile(first);
  sim::Hive second;
  if (!sim::ParseRegFile(written, &second, &error)) Fail("its own output refused: " + error);
  std::string where;
  if (!SameKey(first.LocalMachine(), second.LocalMachine(), &where)) {
    Fail("read, written and read again differs at " + where);
  }
  if (sim::WriteRegFile(second) != written) Fail("writing again gives other bytes");
  return 0;
}
