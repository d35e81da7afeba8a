// The display-data update of the boot configuration: any bytes as
// DefaultConfig.xml on a simulated device. A file the update does not take
// stays byte for byte; one it updates is a document it loads again, and a
// second update finds the lines current and writes nothing.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/support/testing.h"
#include "tasks/display/boot_project.h"

namespace {

constexpr char kConfig[] = "c/Quorvex/DefaultConfig.xml";

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "display_update_fuzzer: " << what << "\n";
  std::abort();
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  sim::TestDevice device("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex]\r\n"
                         "\"InstallationPath\"=\"C:\\\\Quorvex\"\r\n\r\n",
                         R"({"hostName": "HOST1"})");
  device.Write(kConfig, bytes);
  vorn::EventReporter events(device.platform().eventLog);
  const bool updated = vorn::UpdateDisplayText(device.platform(), events, "KQ5020 XPE v2.1\n");
  const std::string after = ReadAll(device.folder() / kConfig);
  if (!updated) {
    if (after != bytes) Fail("a file the update did not take was changed");
    return 0;
  }
  const std::size_t writes = device.Records("fileWrite").size();
  if (!vorn::UpdateDisplayText(device.platform(), events, "KQ5020 XPE v2.1\n")) {
    Fail("the updated file is not taken again");
  }
  if (device.Records("fileWrite").size() != writes) Fail("current lines were written again");
  if (ReadAll(device.folder() / kConfig) != after) Fail("the second update changed the file");
  return 0;
}
