// The image information the device image's installation leaves under
// "SOFTWARE\Talvenor\IPC".
#pragma once

#include <cstdint>

#include "common/reg_access.h"

namespace vorn {

class ImageInfo {
 public:
  // True when "Image", "Platform" and "Version" were all read. All four
  // values are read whatever fails; nothing is reported and nothing throws:
  // a value of another type than REG_SZ counts as a failed read.
  bool Read(RegAccess& reg);

  // "KQ" as the first two bytes of Platform, case-sensitive.
  bool IsFamilyPlatform() const;

  // 0: "%s v%s" of Image and Version; 1: "%s XPE v%s" of Platform and
  // Version. Any other index gives an empty text.
  const char* DisplayText(std::int8_t index) const;

  char Platform[100] = {};
  char Image[100] = {};
  char Version[100] = {};
  char displayForms[2][42] = {};
  // Cut to 15 characters when the stored value is longer.
  char PlatformShort[16] = {};
};

}  // namespace vorn
