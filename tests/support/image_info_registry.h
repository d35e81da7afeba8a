// The image information as registry.reg text: the key the system reads it
// from, written as tests set up a device. Lines end in CRLF as regedit
// writes them; a key ends in its blank line.
#pragma once

#include <string>

namespace sim {

// "Name"="text" as one value line.
inline std::string StringValueLine(const std::string& name, const std::string& text) {
  return "\"" + name + "\"=\"" + text + "\"\r\n";
}

// [HKEY_LOCAL_MACHINE\SOFTWARE\Talvenor\IPC] holding `valueLines` as given:
// for values of any type, or none.
inline std::string ImageInfoKey(const std::string& valueLines) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC]\r\n" + valueLines + "\r\n";
}

// The four string values of a complete image information.
struct ImageInfoValues {
  std::string image = "KQ5020 Image";
  std::string platform = "KQ5020";
  std::string version = "2.1";
  std::string platformShort = "KQ5";  // "": the value is missing
};

inline std::string ImageInfoLines(const ImageInfoValues& v = {}) {
  std::string lines = StringValueLine("Image", v.image) + StringValueLine("Platform", v.platform) +
                      StringValueLine("Version", v.version);
  if (!v.platformShort.empty()) lines += StringValueLine("PlatformShort", v.platformShort);
  return lines;
}

inline std::string ImageInfoRegistry(const ImageInfoValues& v = {}) {
  return ImageInfoKey(ImageInfoLines(v));
}

}  // namespace sim
