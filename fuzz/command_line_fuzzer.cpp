// The command-line tokenizer and the verb dispatch. The first input byte
// picks the code page (bit 0: double-byte, lead bytes as in Shift-JIS); the
// rest is the argument text behind the program's path. Checks: every token
// position lies behind a delimiter of the line; a verb found is the line's
// last token; and the whole process runs on a simulated device without
// anything escaping.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "host/entry.h"
#include "host/process.h"
#include "os/sim/sim_platform.h"
#include "tests/support/image_info_registry.h"

namespace {

class DoubleByteText : public sim::SimText {
 public:
  bool IsLeadByte(std::uint8_t b) override {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  }
};

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "command_line_fuzzer: " << what << "\n";
  std::abort();
}

const char* Word(vorn::Verb verb) {
  switch (verb) {
    case vorn::Verb::kVersion: return "Version";
    case vorn::Verb::kUnregServer: return "UnregServer";
    case vorn::Verb::kRegServer: return "RegServer";
    case vorn::Verb::kService: return "Service";
    case vorn::Verb::kEnableDst: return "enabledst";
    case vorn::Verb::kDisableDst: return "disabledst";
    case vorn::Verb::kNone: break;
  }
  return nullptr;
}

// A device folder for the dispatch: an image with its information and a
// registered AppID, read afresh for every input.
const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() /
             ("vorn-fuzz-cmdline-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f / "c");
    std::ofstream(f / "registry.reg", std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\DSTPatch]\r\n\r\n"
        << sim::ImageInfoRegistry({.platformShort = ""});
    std::ofstream(f / "device.json", std::ios::binary)
        << R"({"adapters": [{"description": "Intel", "address": "00-01-05-12-AB-3C"}]})";
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Folder(), ec);
    });
    return f;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool doubleByte = data[0] & 1;
  const std::string line = "C:\\WINDOWS\\system32\\VORN.EXE " +
                           std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
  sim::SimText plain;
  DoubleByteText dbcs;
  os::Text& text = doubleByte ? static_cast<os::Text&>(dbcs) : plain;

  for (std::size_t pos = 0, steps = 0; pos != std::string::npos; ++steps) {
    std::size_t next = vorn::NextToken(text, line, pos, "-/");
    if (next == std::string::npos) break;
    if (next <= pos || next > line.size()) Fail("token position out of order");
    if (line[next - 1] != '-' && line[next - 1] != '/') Fail("token not behind a delimiter");
    if (steps > line.size()) Fail("tokenizer does not advance");
    pos = next;
  }

  const vorn::Verb verb = vorn::ParseVerb(text, line);
  if (const char* word = Word(verb)) {
    const std::size_t n = std::string(word).size();
    if (line.size() < n + 1 || text.CompareNoCase(line.substr(line.size() - n), word) != 0 ||
        (line[line.size() - n - 1] != '-' && line[line.size() - n - 1] != '/')) {
      Fail(std::string("verb ") + word + " is not the line's last token");
    }
  }

  sim::Device device;
  std::string error;
  if (!device.Load(Folder(), &error)) Fail("device: " + error);
  sim::SimPlatform s(device, line);
  os::Platform p{s.registry, s.eventLog, s.process, text,    s.ui,    s.com,
                 s.services, s.network,  s.power,   s.modules, s.files, s.clock,
                 s.writeFilters};
  if (vorn::RunProcess(p) == static_cast<int>(0x8000FFFFu)) Fail("something escaped the entry");
  return 0;
}
