// vorn-bad-inputs OUTDIR SECRET: the bad-input catalogue's boot
// configurations and registry values as scenario folders for
// tests/wine/both.sh (docs/wine.md: a device/ folder and a "both" file each),
// so that MSXML and Wine's registry meet them as vorn-sim's do.
//
// Every device is the image of a KQ5020 before its first boot with the
// Intel adapter 00-01-05-12-AB-3C. config-*: DefaultConfig.xml in a damaged
// form, one boot. reg-*: registry values in a damaged form, the first boot
// and the one after its restart. SECRET is the path of a file outside
// every prefix that the external entities and the external DTD name; it
// must never be read (tests/wine/bad_inputs.sh watches it).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/unit/bad_input_catalogue.h"

namespace {

namespace fs = std::filesystem;
using vorn::catalogue::Planted;
using vorn::catalogue::PlantedLine;

constexpr char kDeviceJson[] =
    R"({"hostName": "QZ_IPC",
  "adapters": [{"description": "Intel(R) PRO/100 VE Network Connection",
                "address": "00-01-05-12-AB-3C"}],
  "upnp": {"library": true, "unregisterResult": 0, "registerResult": 0, "tool": true,
           "toolStartable": true, "toolRunsSeconds": 0.1}}
)";
constexpr char kLoadFailed[] = "Failed to load DefaultConfig.xml";
constexpr char kSucceeded[] = "VORN completed successfully";

// Folder names: letters, digits and '-' only.
std::string Slug(const std::string& what) {
  std::string out;
  for (char c : what) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (keep) out += c;
    else if (!out.empty() && out.back() != '-') out += '-';
  }
  while (!out.empty() && out.back() == '-') out.pop_back();
  return out;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Scenario {
  std::string name;
  std::string what;
  std::string registry;
  std::string config;       // DefaultConfig.xml
  int boots;
  std::vector<std::string> expects;
};

void Write(const fs::path& out, const Scenario& s) {
  const fs::path dir = out / s.name;
  WriteFile(dir / "device/registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + s.registry);
  WriteFile(dir / "device/device.json", kDeviceJson);
  WriteFile(dir / "device/c/Quorvex/DefaultConfig.xml", s.config);
  std::string both = "# " + s.what + "\n";
  for (int i = 0; i < s.boots; ++i) both += "run\n";
  for (const std::string& e : s.expects) both += "expect " + e + "\n";
  WriteFile(dir / "both", both);
}

std::vector<Scenario> ConfigScenarios(const std::string& secret) {
  using namespace vorn::catalogue;
  const std::string registry = Registry(std::vector<PlantedLine>{});
  const std::string whole = Project();
  // The secret by the names a Windows program would use for it.
  const std::string drive = "Z:" + secret;  // Wine's Z: is the root of the file system
  std::string backslashed = drive;
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  const std::string url = "file:///" + drive;
  struct Form {
    std::string what;
    std::string bytes;
    bool refused;
  };
  std::vector<Form> forms = {
      {"empty", "", true},
      {"not well-formed", "<QvBootProject><InitCmds>" + DisplayCommand() + "</QvBootProject>",
       true},
      {"two roots", whole + "<QvBootProject/>", true},
      {"whole", whole, false},
      {"external entity by path", ExternalEntity(backslashed), true},
      {"external entity by URL", ExternalEntity(url), true},
      {"external DTD", ExternalDtd(url), true},
      {"exponential entities", ExponentialEntities(), true},
      {"UTF-16 with BOM", Utf16WithBom(Project("", "", "utf-16")), false},
      {"50 MB", FiftyMegabytes(), false},
  };
  for (int tenth = 1; tenth <= 9; ++tenth) {
    forms.push_back({"cut at " + std::to_string(tenth * 10) + "%",
                     whole.substr(0, whole.size() * tenth / 10), true});
  }
  std::vector<Scenario> out;
  for (const Form& f : forms) {
    out.push_back({"config-" + Slug(f.what), "DefaultConfig.xml: " + f.what, registry, f.bytes,
                   1, {f.refused ? kLoadFailed : kSucceeded}});
  }
  return out;
}

// One planted form per device for each group of values that a boot reads
// independently of each other.
std::vector<Scenario> RegistryScenarios() {
  using namespace vorn::catalogue;
  std::vector<Scenario> out;
  auto add = [&](const std::string& group, const std::string& what,
                 const std::vector<PlantedLine>& lines) {
    out.push_back({"reg-" + group + "-" + Slug(what), group + ": " + what, Registry(lines),
                   Project(), 2, {}});
  };
  const auto names = TextForms("KQ5_12AB3C");
  const auto paths = TextForms("C:\\Quorvex");
  for (std::size_t i = 0; i < names.size(); ++i) {
    add("text", names[i].what,
        {{"SOFTWARE\\Talvenor\\IPC", "LastComputerName", names[i].data},
         {"SOFTWARE\\Talvenor\\Quorvex", "InstallationPath", paths[i].data}});
  }
  for (const Planted& f : BinaryForms()) {
    add("binary", f.what,
        {{"SOFTWARE\\Talvenor\\IPC", "FirstMACId", f.data},
         {"SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId", f.data}});
  }
  for (const Planted& f : DwordForms()) {
    add("dword", f.what,
        {{"SOFTWARE\\DSTPatch", "enableDSTPatch", f.data},
         {"SOFTWARE\\DSTPatch", "DST", f.data},
         {"SOFTWARE\\Talvenor", "DST", f.data}});
  }
  const std::vector<std::pair<std::string, std::string>> image = {
      {"Image", "KQ5020 Image"}, {"Platform", "KQ5020"}, {"Version", "2.1"},
      {"PlatformShort", "KQ5"}};
  std::vector<std::vector<Planted>> forms;
  for (const auto& [name, good] : image) forms.push_back(ImageForms(good));
  for (std::size_t i = 0; i < forms[0].size(); ++i) {
    std::vector<PlantedLine> lines;
    for (std::size_t v = 0; v < image.size(); ++v) {
      lines.push_back({"SOFTWARE\\Talvenor\\IPC", image[v].first, forms[v][i].data});
    }
    add("image", forms[0][i].what, lines);
  }
  // Characters above 0x7F: 0xA0-0xFF are Windows-1252's as they are, the
  // C1 controls 0x80-0x9F are not in the code page.
  for (const auto& [what, from, to] :
       {std::tuple{"bytes 0xA0-0xFF", 0xA0u, 0xFFu}, std::tuple{"bytes 0x80-0x9F", 0x80u, 0x9Fu}}) {
    const std::string data = "hex(1):" + HexList(Wide(HighBytes(from, to), true));
    add("image", what,
        {{"SOFTWARE\\Talvenor\\IPC", "Image", data}, {"SOFTWARE\\Talvenor\\IPC", "Version", data}});
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || argv[2][0] != '/') {
    std::cerr << "usage: vorn-bad-inputs OUTDIR /ABSOLUTE/SECRET\n";
    return 64;
  }
  const fs::path out = argv[1];
  int count = 0;
  for (const auto& list : {ConfigScenarios(argv[2]), RegistryScenarios()}) {
    for (const Scenario& s : list) {
      Write(out, s);
      std::cout << (out / s.name).string() << "\n";
      ++count;
    }
  }
  std::cerr << count << " scenarios in " << out.string() << "\n";
  return 0;
}
