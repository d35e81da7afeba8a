#include "device/drives.h"

#include <cctype>

namespace sim {

std::string WindowsPath(const std::string& relative) {
  if (relative.empty()) return relative;
  std::string path(1, static_cast<char>(std::toupper(static_cast<unsigned char>(relative[0]))));
  path += ":";
  for (std::size_t i = 1; i < relative.size(); ++i) {
    path += relative[i] == '/' ? '\\' : relative[i];
  }
  return path;
}

}  // namespace sim
