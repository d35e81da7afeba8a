// The damaged forms of the bad-input catalogue: registry values as
// registry.reg writes them and DefaultConfig.xml files. Shared by the
// catalogue's unit tests (vorn-sim) and by the device folders that run it on
// both backends (tests/wine/bad_inputs.sh).
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vorn::catalogue {

// "00,01,ff": bytes as registry.reg's hex lists write them.
inline std::string HexList(const std::string& bytes) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
    out += b;
  }
  return out;
}

// UTF-16LE bytes of 8-bit text taken as Latin-1 code units.
inline std::string Wide(const std::string& text, bool terminated) {
  std::string out;
  for (char c : text) out += std::string(1, c) + '\0';
  if (terminated) out += std::string(2, '\0');
  return out;
}

inline std::string HighBytes(unsigned from = 0x80, unsigned to = 0xFF) {
  std::string s;
  for (unsigned c = from; c <= to; ++c) s.push_back(static_cast<char>(c));
  return s;
}

struct Planted {
  std::string what;
  std::string data;  // behind '=' in registry.reg
};

// A REG_SZ value that should hold `good`, in every form it can take.
inline std::vector<Planted> TextForms(const std::string& good) {
  return {
      {"REG_DWORD", "dword:00000001"},
      {"REG_BINARY", "hex:" + HexList(Wide(good, true))},
      {"REG_MULTI_SZ", "hex(7):" + HexList(Wide(good, true)) + ",00,00"},
      {"REG_EXPAND_SZ", "hex(2):" + HexList(Wide(good, true))},
      {"empty", "\"\""},
      {"zero bytes", "hex(1):"},
      {"unterminated", "hex(1):" + HexList(Wide(good, false))},
      {"300 characters", "\"" + std::string(300, 'x') + "\""},
      {"70000 characters", "\"" + std::string(70000, 'x') + "\""},
      {"bytes 0x80-0xFF", "hex(1):" + HexList(Wide(HighBytes(), true))},
  };
}

// The image values' forms: the types, the sizes and the NULs a REG_SZ can
// be damaged by.
inline std::vector<Planted> ImageForms(const std::string& good) {
  const std::string wide = HexList(Wide(good, true));
  return {
      {"REG_EXPAND_SZ", "hex(2):" + wide},
      {"REG_MULTI_SZ", "hex(7):" + wide + ",00,00"},
      {"REG_BINARY", "hex:" + wide},
      {"REG_DWORD", "dword:00000001"},
      {"REG_NONE", "hex(0):" + wide},
      {"type 0x12345", "hex(12345):" + wide},
      {"empty text", "\"\""},
      {"zero bytes", "hex(1):"},
      {"unterminated", "hex(1):" + HexList(Wide(good, false))},
      {"odd byte count", "hex(1):" + HexList(Wide(good, false)) + ",41"},
      {"inner NUL", "hex(1):" + HexList(Wide(good + std::string(1, '\0') + "x", true))},
  };
}

inline std::vector<Planted> BinaryForms() {
  return {
      {"REG_SZ", "\"00-01-05\""},
      {"REG_DWORD", "dword:00000001"},
      {"zero bytes", "hex:"},
      {"5 bytes", "hex:05,12,ab,3c,01"},
      {"7 bytes", "hex:05,12,ab,3c,01,01,00"},
      {"300 bytes", "hex:" + HexList(std::string(300, '\x05'))},
      {"bytes 0x80-0xFF", "hex:" + HexList(HighBytes())},
      {"REG_MULTI_SZ", "hex(7):" + HexList(Wide("051", true)) + ",00,00"},
  };
}

inline std::vector<Planted> DwordForms() {
  return {
      {"REG_SZ", "\"1\""},
      {"REG_BINARY", "hex:01,00,00,00"},
      {"zero bytes", "hex(4):"},
      {"2 bytes", "hex(4):01,00"},
      {"8 bytes", "hex(4):01,00,00,00,01,00,00,00"},
      {"0xFFFFFFFF", "dword:ffffffff"},
      {"0x80", "dword:00000080"},
      {"bytes 0x80-0xFF", "hex(4):" + HexList(HighBytes())},
  };
}

// The image, the installation, the DST switch and the runtime: a device
// before its first boot, as registry.reg sections. Each planted line
// (key, name, data) replaces the good one of that name or is added.
struct PlantedLine {
  std::string key;
  std::string name;
  std::string data;
};

inline std::string Registry(const std::vector<PlantedLine>& planted) {
  std::map<std::string, std::string> keys = {
      {"SOFTWARE\\DSTPatch", "\"enableDSTPatch\"=dword:00000001\r\n\"DST\"=dword:00000001\r\n"},
      {"SOFTWARE\\Talvenor", "\"DST\"=dword:00000001\r\n"},
      {"SOFTWARE\\Talvenor\\IPC",
       "\"Image\"=\"KQ5020 Image\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n"
       "\"PlatformShort\"=\"KQ5\"\r\n"},
      {"SOFTWARE\\Talvenor\\Quorvex", "\"InstallationPath\"=\"C:\\\\Quorvex\"\r\n"},
      {"SOFTWARE\\Talvenor\\Quorvex\\System", ""},
  };
  for (const PlantedLine& p : planted) {
    std::string& lines = keys[p.key];
    const std::string prefix = "\"" + p.name + "\"=";
    const std::size_t at = lines.find(prefix);
    if (at != std::string::npos) lines.erase(at, lines.find("\r\n", at) + 2 - at);
    lines += prefix + p.data + "\r\n";
  }
  std::string out =
      "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n@=\"VORN\"\r\n\r\n";
  for (const auto& [k, v] : keys) out += "[HKEY_LOCAL_MACHINE\\" + k + "]\r\n" + v + "\r\n";
  return out;
}

inline std::string Registry(const std::string& key, const std::string& name,
                            const std::string& data) {
  if (name.empty()) return Registry(std::vector<PlantedLine>{});
  return Registry(std::vector<PlantedLine>{{key, name, data}});
}

// ---------------------------------------------------------------------------
// DefaultConfig.xml.

// 100 digits: upper case outside the lines, stale lines inside.
inline const std::string kOldData =
    "0A0000000100000014000000" + std::string(68, 'E') + "C8000000";

inline std::string DisplayCommand() {
  return "<InitCmd><key>Init1\\IO: Create Devices</key><port>300</port><iGrp>20481</iGrp>"
         "<iOffs>33</iOffs><data>" + kOldData + "</data><comment>LCD</comment></InitCmd>";
}

inline std::string Project(const std::string& doctype = "", const std::string& before = "",
                           const std::string& encoding = "utf-8") {
  return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n" + doctype +
         "<QvBootProject>\n  <InitCmds>" + before + DisplayCommand() +
         "</InitCmds>\n</QvBootProject>\n";
}

inline std::string Utf16WithBom(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

// An internal entity naming a file by `system` and referring to it.
inline std::string ExternalEntity(const std::string& system) {
  return Project("<!DOCTYPE QvBootProject [<!ENTITY x SYSTEM \"" + system + "\">]>",
                 "<InitCmd><key>k</key><comment>[&x;]</comment></InitCmd>");
}

inline std::string ExternalDtd(const std::string& system) {
  return Project("<!DOCTYPE QvBootProject SYSTEM \"" + system + "\">");
}

// Ten levels of ten references: 10^10 characters if expanded.
inline std::string ExponentialEntities() {
  std::string laughs = "<!DOCTYPE QvBootProject [<!ENTITY l0 \"lollollollollol\">";
  for (int i = 1; i <= 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]>";
  return Project(laughs, "<InitCmd><comment>&l10;</comment></InitCmd>");
}

// Six commands before the display command whose comments take 8.5 MB each:
// over 50 MB, every text under libxml2's 10 MB limit for one text.
inline std::string FiftyMegabytes() {
  std::string many;
  for (int i = 0; i < 6; ++i) {
    many += "<InitCmd><key>Init0\\Sys: Other</key><comment>" + std::string(8'500'000, 'c') +
            "</comment></InitCmd>\n";
  }
  return Project("", many);
}

}  // namespace vorn::catalogue
