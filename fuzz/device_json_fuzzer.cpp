// device.json: any bytes are loaded or refused with a message naming the
// file, never an exception or undefined conversion; a loaded device saved
// and loaded again has the same state.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "device/device.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "device_json_fuzzer: " << what << "\n";
  std::abort();
}

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() /
             ("vorn-fuzz-device-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f / "c");
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Folder(), ec);
    });
    return f;
  }();
  return folder;
}

void Put(const std::string& name, const std::string& bytes) {
  std::ofstream(Folder() / name, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Put("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n");
  Put("device.json", std::string(reinterpret_cast<const char*>(data), size));
  std::filesystem::remove(Folder() / "journal.jsonl");

  std::string error;
  sim::Device first;
  if (!first.Load(Folder(), &error)) {
    if (error.find("device.json") == std::string::npos) Fail("message without the file: " + error);
    return 0;
  }
  first.ApplyRestartBetweenRuns();
  first.MarkStateChanged();
  if (!first.Save(&error)) Fail("save: " + error);
  sim::Device second;
  if (!second.Load(Folder(), &error)) Fail("its own save refused: " + error);
  const sim::DeviceState& a = first.state();
  const sim::DeviceState& b = second.state();
  if (a.hostName != b.hostName || a.pendingHostName != b.pendingHostName ||
      a.restartScheduled != b.restartScheduled || a.localTimeMs != b.localTimeMs ||
      a.timeZoneId != b.timeZoneId || a.daylightBias != b.daylightBias ||
      a.adapters.size() != b.adapters.size() || a.faults.size() != b.faults.size() ||
      a.strings != b.strings || a.startedBy != b.startedBy) {
    Fail("saved and loaded again differs");
  }
  return 0;
}
