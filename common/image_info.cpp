#include "common/image_info.h"

#include <cstdio>
#include <cstring>

namespace vorn {
namespace {

constexpr char kImageKey[] = "SOFTWARE\\Talvenor\\IPC";

// One 100-byte read. The buffer always ends up terminated: a value stored
// without its terminator that fills the buffer exactly would otherwise run
// past it.
bool ReadField(RegAccess& reg, const char* name, char (&field)[100]) {
  char buffer[100] = {};
  std::uint32_t size = sizeof buffer;
  bool ok;
  try {
    ok = reg.ReadString(os::RootKey::kLocalMachine, kImageKey, name, buffer, &size);
  } catch (unsigned) {
    ok = false;  // a value of another type is no image information
  }
  if (!ok) {
    field[0] = '\0';
    return false;
  }
  if (size >= sizeof buffer) {
    // 100 bytes without a terminator among them: the text does not fit.
    if (std::memchr(buffer, '\0', sizeof buffer) == nullptr) {
      field[0] = '\0';
      return false;
    }
  } else {
    buffer[size] = '\0';
  }
  std::memcpy(field, buffer, sizeof buffer);
  field[sizeof field - 1] = '\0';
  return true;
}

}  // namespace

bool ImageInfo::Read(RegAccess& reg) {
  bool ok = ReadField(reg, "Image", Image);
  ok = ReadField(reg, "Platform", Platform) && ok;
  ok = ReadField(reg, "Version", Version) && ok;
  char shortName[100] = {};
  if (ReadField(reg, "PlatformShort", shortName)) {
    std::snprintf(PlatformShort, sizeof PlatformShort, "%s", shortName);
  } else {
    std::snprintf(PlatformShort, sizeof PlatformShort, "%.3s", Platform);
  }
  std::snprintf(displayForms[0], sizeof displayForms[0], "%s v%s", Image, Version);
  std::snprintf(displayForms[1], sizeof displayForms[1], "%s XPE v%s", Platform, Version);
  return ok;
}

bool ImageInfo::IsFamilyPlatform() const { return Platform[0] == 'K' && Platform[1] == 'Q'; }

const char* ImageInfo::DisplayText(std::int8_t index) const {
  if (index < 0 || index > 1) return "";
  return displayForms[index];
}

}  // namespace vorn
