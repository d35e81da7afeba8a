// The registry script: any text is parsed or refused with a message naming
// its line; a parsed script is applied (registering, then unregistering) on
// a simulated registry without a crash, and after a successful registration
// every key it names exists.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "host/registrar.h"
#include "tests/support/testing.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "registrar_fuzzer: " << what << "\n";
  std::abort();
}

bool AllExist(os::Registry& registry, os::RootKey root, const std::string& parent,
              const std::vector<vorn::ScriptKey>& keys) {
  for (const vorn::ScriptKey& k : keys) {
    const std::string path = parent.empty() ? k.name : parent + "\\" + k.name;
    std::unique_ptr<os::RegistryKey> key;
    if (registry.OpenKey(root, path, os::kKeyRead, &key) != os::kSuccess) return false;
    if (!AllExist(registry, root, path, k.subKeys)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vorn::RegistryScript script;
  std::string error;
  if (!vorn::ParseRegistryScript(text, &script, &error)) {
    if (error.rfind("line ", 0) != 0) Fail("refused without naming the line: " + error);
    return 0;
  }
  sim::TestDevice device;
  os::Registry& registry = device.platform().registry;
  if (vorn::ApplyRegistryScript(registry, script, true) == os::kSuccess) {
    for (const vorn::ScriptSection& section : script) {
      if (!AllExist(registry, section.root, "", section.keys)) {
        Fail("registered, but a key of the script is missing");
      }
    }
  }
  vorn::ApplyRegistryScript(registry, script, false);
  return 0;
}
