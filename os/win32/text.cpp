// The active ANSI code page: lead bytes, case rules and UTF-16 conversion.
#include "os/win32/backend.h"

namespace os::win32 {

std::u16string Widen(const std::string& text) {
  if (text.empty()) return {};
  int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(length), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t*>(wide.data()), length);
  return wide;
}

std::string Narrow(const std::u16string& text) {
  if (text.empty()) return {};
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  // No flags and no default character: unmappable characters become the
  // code page's default, '?'.
  int length = ::WideCharToMultiByte(CP_ACP, 0, wide,
                                     static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()),
                        narrow.data(), length, nullptr, nullptr);
  return narrow;
}

bool Text::IsLeadByte(std::uint8_t byte) { return ::IsDBCSLeadByte(byte) != 0; }

int Text::CompareNoCase(const std::string& a, const std::string& b) {
  return ::lstrcmpiA(a.c_str(), b.c_str());
}

std::size_t Text::FindNoCase(const std::string& haystack,
                             const std::string& needle) {
  const char* found = ::StrStrIA(haystack.c_str(), needle.c_str());
  if (!found) return std::string::npos;
  return static_cast<std::size_t>(found - haystack.c_str());
}

std::u16string Text::ToWide(const std::string& text) { return Widen(text); }

std::string Text::FromWide(const std::u16string& text) { return Narrow(text); }

}  // namespace os::win32
