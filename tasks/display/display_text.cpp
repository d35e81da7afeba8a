#include "tasks/display/display_text.h"

#include <cstring>

namespace vorn {

std::string EncodeDisplayLine(const char* text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line;
  line.reserve(kDisplayLineDigits);
  const std::size_t length = std::strlen(text);
  for (std::size_t i = 0; i < length && i < kDisplayLineBytes; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
  }
  line.resize(kDisplayLineDigits, '0');
  return line;
}

bool BuildNameLine(os::Network& network, std::string* line) {
  std::string host;
  // 16 characters with the terminator: a longer name counts as unreadable.
  if (!network.GetComputerName(16, &host)) return false;
  *line = EncodeDisplayLine(("Name: " + host).c_str());
  return true;
}

std::string ComposeDisplayData(const std::string& current, const std::string& firstLine,
                               const std::string& secondLine) {
  std::string data = current;
  data.replace(kFirstLineDigit, kDisplayLineDigits, firstLine, 0, kDisplayLineDigits);
  data.replace(kSecondLineDigit, kDisplayLineDigits, secondLine, 0, kDisplayLineDigits);
  return data;
}

}  // namespace vorn
