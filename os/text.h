// The active code page: character stepping, case rules, and the conversion
// to and from UTF-16. The simulated device uses Windows-1252.
#pragma once

#include <cstdint>
#include <string>

namespace os {

class Text {
 public:
  virtual ~Text() = default;

  // IsDBCSLeadByte: true when `byte` starts a double-byte character.
  virtual bool IsLeadByte(std::uint8_t byte) = 0;

  // lstrcmpiA: <0, 0, >0 comparing without regard to case.
  virtual int CompareNoCase(const std::string& a, const std::string& b) = 0;

  // StrStrIA: position of the first case-insensitive occurrence of
  // `needle` in `haystack`, or std::string::npos.
  virtual std::size_t FindNoCase(const std::string& haystack,
                                 const std::string& needle) = 0;

  // MultiByteToWideChar(CP_ACP) of the whole string. Never fails.
  virtual std::u16string ToWide(const std::string& text) = 0;

  // WideCharToMultiByte(CP_ACP), unmappable characters become '?'.
  virtual std::string FromWide(const std::u16string& text) = 0;
};

}  // namespace os
