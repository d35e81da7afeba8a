// vorn_power_cut DEVICE_DIR: the power fails at every step of a first boot.
//
// A copy of the device folder (a device that has never run VORN) boots once
// with {"powerCut": {"after": N}} for N = 1, 2, ... until a boot ends before
// its Nth step; first with the disk's steps only (a file written, flushed,
// renamed, deleted), then with every registry change and computer name set
// counted as a step too. After each cut:
//   - DefaultConfig.xml is the old file or the one a whole first boot
//     writes, and well-formed; so after every further boot;
//   - at most two further boots give the device its identity: the new
//     computer name in effect, the route net id, the UPnP registration's
//     remembered name and adapter address, and the display lines;
//   - no file is left beside the configuration that an uncut run does not
//     leave.
// The save never takes the configuration's name away, so no cut of the
// sweep can leave it missing. An earlier save could: its ReplaceFileA
// renamed the original to DefaultConfig.xml.bak and then the new file
// (flushed) to the name. The devices such a cut left behind (both
// leftovers and no configuration; the backup alone, where that save's
// repair gave up) boot too: the first boot restores the configuration and
// reports so, and the same three checks hold.
// Prints how many cut points were tried and how many held; exit 1 on any
// failure.
#include <libxml/parser.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/process.h"
#include "device/device.h"
#include "os/sim/sim_platform.h"

namespace {

namespace fs = std::filesystem;
using sim::Json;

constexpr char kConfig[] = "c/Quorvex/DefaultConfig.xml";
constexpr int kFurtherBoots = 2;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "(missing)";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WellFormedXml(const std::string& bytes) {
  xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  xmlFreeDoc(doc);
  return true;
}

std::set<std::string> DriveFiles(const fs::path& folder) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder / "c")) {
    if (e.is_regular_file()) out.insert(fs::relative(e.path(), folder).generic_string());
  }
  return out;
}

// One boot as vorn-sim makes it. Returns the run's journal, or empty with
// *error set when the device could not be loaded or saved.
std::vector<Json> Boot(const fs::path& folder, std::string* error) {
  sim::Device device;
  if (!device.Load(folder, error)) return {};
  device.ApplyRestartBetweenRuns();
  {
    sim::SimPlatform sim(device, device.state().imagePath);
    device.Journal({{"kind", "exit"}, {"code", vorn::RunProcess(sim.platform())}});
  }
  std::vector<Json> journal = device.JournalRecords();
  if (!device.Save(error)) return {};
  return journal;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

// A 17-byte display line as the configuration holds it.
std::string EncodeLine(const std::string& text) {
  std::string padded = text;
  padded.resize(17, '\0');
  return Hex(padded);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What is wrong with the device's identity; empty when it is right.
std::vector<std::string> IdentityProblems(const fs::path& folder) {
  std::vector<std::string> problems;
  sim::Device device;
  std::string error;
  if (!device.Load(folder, &error)) return {"cannot load the device: " + error};
  if (device.state().hostName != "KQ5_12AB3C") {
    problems.push_back("computer name in effect is " + device.state().hostName);
  }
  sim::SimPlatform sim(device, device.state().imagePath);
  os::Platform p = sim.platform();
  auto value = [&](const std::string& key, const std::string& name) -> std::string {
    std::unique_ptr<os::RegistryKey> k;
    if (p.registry.OpenKey(os::RootKey::kLocalMachine, key, os::kKeyRead, &k) != 0) {
      return "(no key)";
    }
    std::uint8_t data[256];
    std::uint32_t size = sizeof data;
    if (k->QueryValue(name, nullptr, data, &size) != 0) return "(no value)";
    std::string bytes(reinterpret_cast<char*>(data), size);
    while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    return bytes;
  };
  auto expect = [&](const std::string& what, const std::string& got, const std::string& want) {
    if (got != want) problems.push_back(what + " is " + Hex(got) + ", not " + Hex(want));
  };
  expect("OlmNetId", value("SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId"),
         "\x05\x12\xab\x3c\x01\x01");
  expect("LastComputerName", value("SOFTWARE\\Talvenor\\IPC", "LastComputerName"),
         "KQ5_12AB3C");
  expect("FirstMACId", value("SOFTWARE\\Talvenor\\IPC", "FirstMACId"),
         std::string("\x00\x01\x05\x12\xab\x3c", 6));
  const std::string config = Lower(ReadBytes(folder / kConfig));
  if (config.find(EncodeLine("KQ5020 XPE v2.1") + EncodeLine("Name: KQ5_12AB3C")) ==
      std::string::npos) {
    problems.push_back("the display lines are not \"KQ5020 XPE v2.1\" / \"Name: KQ5_12AB3C\"");
  }
  return problems;
}

void SetPowerCut(const fs::path& folder, std::uint32_t after, bool registry) {
  std::ifstream in(folder / "device.json");
  Json json = Json::parse(in);
  json["powerCut"] = {{"after", after}, {"registry", registry}};
  std::ofstream(folder / "device.json", std::ios::trunc) << json.dump(2) << "\n";
}

struct Figures {
  int tried = 0;
  int held = 0;
};

class PowerCutTest {
 public:
  explicit PowerCutTest(fs::path source) : source_(std::move(source)) {
    scratch_ = fs::temp_directory_path() / ("vorn-power-cut-" + std::to_string(::getpid()));
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
  }
  ~PowerCutTest() {
    std::error_code ec;
    fs::remove_all(scratch_, ec);
  }

  fs::path Fresh(const std::string& name) {
    fs::path folder = scratch_ / name;
    fs::remove_all(folder);
    fs::copy(source_, folder, fs::copy_options::recursive);
    return folder;
  }

  // The uncut first boot and the boots after it.
  bool Reference() {
    const fs::path folder = Fresh("reference");
    oldConfig_ = ReadBytes(folder / kConfig);
    std::string error;
    if (Boot(folder, &error).empty()) return Fail("reference: " + error);
    newConfig_ = ReadBytes(folder / kConfig);
    for (int i = 0; i < kFurtherBoots; ++i) {
      if (Boot(folder, &error).empty()) return Fail("reference: " + error);
    }
    for (const auto& p : IdentityProblems(folder)) Fail("reference: " + p);
    files_ = DriveFiles(folder);
    return failures_ == 0;
  }

  // Every cut point of one kind of step. Returns the number tried.
  void Sweep(bool registry, Figures* figures) {
    const char* mode = registry ? "disk and registry" : "disk";
    for (std::uint32_t after = 1;; ++after) {
      const std::string label = std::string(mode) + " step " + std::to_string(after);
      const fs::path folder = Fresh("cut");
      SetPowerCut(folder, after, registry);
      std::string error;
      std::vector<Json> journal = Boot(folder, &error);
      if (journal.empty()) {
        Fail(label + ": " + error);
        return;
      }
      bool cut = false;
      for (const Json& r : journal) cut = cut || r.value("kind", "") == "powerCut";
      if (!cut) return;  // the boot ended before its Nth step
      ++figures->tried;
      const int before = failures_;
      CheckConfig(folder, label + ", after the cut", true);
      int boots = 0;
      std::vector<std::string> problems = IdentityProblems(folder);
      while (!problems.empty() && boots < kFurtherBoots) {
        ++boots;
        if (Boot(folder, &error).empty()) {
          Fail(label + ": boot " + std::to_string(boots) + ": " + error);
          break;
        }
        CheckConfig(folder, label + ", boot " + std::to_string(boots), false);
        problems = IdentityProblems(folder);
      }
      for (const auto& p : problems) {
        Fail(label + ": after " + std::to_string(boots) + " further boots " + p);
      }
      for (const auto& f : DriveFiles(folder)) {
        if (files_.count(f) == 0) Fail(label + ": " + f + " is still there");
      }
      if (failures_ == before) ++figures->held;
    }
  }

  // A device left by a cut inside an earlier save: the configuration
  // moved to the backup name, the new file (as a whole first boot writes
  // it) beside it or gone.
  void Interrupted(Figures* figures) {
    for (const bool withNew : {true, false}) {
      const std::string label =
          withNew ? "cut between the renames of an earlier save" : "backup of an earlier save";
      const fs::path folder = Fresh("interrupted");
      fs::rename(folder / kConfig, folder / (std::string(kConfig) + ".bak"));
      if (withNew) std::ofstream(folder / (std::string(kConfig) + ".new")) << newConfig_;
      ++figures->tried;
      const int before = failures_;
      std::string error;
      const std::vector<Json> journal = Boot(folder, &error);
      if (journal.empty()) {
        Fail(label + ": " + error);
        continue;
      }
      bool reported = false;
      for (const Json& r : journal) {
        reported = reported || (r.value("kind", "") == "event" && r.value("type", 0) == 4 &&
                                r.value("text", "") ==
                                    "Restored DefaultConfig.xml from an interrupted save");
      }
      if (!reported) Fail(label + ": the restore is not reported");
      CheckConfig(folder, label + ", boot 1", true);
      for (int boot = 2; boot <= kFurtherBoots + 1; ++boot) {
        if (Boot(folder, &error).empty()) {
          Fail(label + ": boot " + std::to_string(boot) + ": " + error);
        }
        CheckConfig(folder, label + ", boot " + std::to_string(boot), false);
      }
      for (const auto& p : IdentityProblems(folder)) Fail(label + ": " + p);
      for (const auto& f : DriveFiles(folder)) {
        if (files_.count(f) == 0) Fail(label + ": " + f + " is still there");
      }
      if (failures_ == before) ++figures->held;
    }
  }

  int failures() const { return failures_; }

 private:
  bool Fail(const std::string& what) {
    std::cout << "FAILED " << what << "\n";
    ++failures_;
    return false;
  }

  void CheckConfig(const fs::path& folder, const std::string& label, bool oldOrNew) {
    const std::string bytes = ReadBytes(folder / kConfig);
    if (!WellFormedXml(bytes)) Fail(label + ": DefaultConfig.xml is not well-formed");
    if (oldOrNew && bytes != oldConfig_ && bytes != newConfig_) {
      Fail(label + ": DefaultConfig.xml is neither the old nor the new file (" +
           std::to_string(bytes.size()) + " bytes)");
    }
  }

  fs::path source_;
  fs::path scratch_;
  std::string oldConfig_;
  std::string newConfig_;
  std::set<std::string> files_;
  int failures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vorn_power_cut DEVICE_DIR\n";
    return 64;
  }
  xmlInitParser();
  PowerCutTest test(argv[1]);
  if (!test.Reference()) return 1;
  Figures disk;
  Figures registry;
  Figures interrupted;
  test.Sweep(false, &disk);
  test.Sweep(true, &registry);
  test.Interrupted(&interrupted);
  std::cout << "power cuts: " << disk.tried << " disk steps tried, " << disk.held << " held; "
            << registry.tried << " disk and registry steps tried, " << registry.held
            << " held; " << interrupted.tried << " devices left by an earlier save's cut, "
            << interrupted.held << " held\n";
  const bool ok = test.failures() == 0 && disk.tried > 0 && registry.tried > disk.tried &&
                  interrupted.held == 2;
  xmlCleanupParser();
  return ok ? 0 : 1;
}
