// What a windowed process shows: message boxes and its standard output.
#pragma once

#include <cstdint>
#include <string>

namespace os {

constexpr std::uint32_t kMbOk = 0x00;
constexpr std::uint32_t kMbIconError = 0x10;
constexpr std::uint32_t kMbIconWarning = 0x30;

class Ui {
 public:
  virtual ~Ui() = default;

  // MessageBoxA with no owner window. Modal; returns the button pressed
  // (IDOK = 1), or 0 when the box could not be shown.
  virtual int MessageBox(const std::string& text, const std::string& caption,
                         std::uint32_t style) = 0;

  // Formatted 8-bit output to the process's standard output. Goes nowhere
  // when the starter did not give the process a standard output.
  virtual void WriteStdout(const std::string& text) = 0;

  // Wide-character output to the process's standard output (UTF-16 text,
  // as wprintf writes it). Same destination rule as WriteStdout.
  virtual void WriteStdoutWide(const std::u16string& text) = 0;
};

}  // namespace os
