// Message boxes and standard output of a windowed process.
//
// A GUI-subsystem process has a valid standard output only when its starter
// redirected it (a file, a pipe). Output is written as the C runtime's
// text-mode stdout would write it: line feeds become CR LF. Wide text is
// converted to the ANSI code page first, as an 8-bit file holds it.
#include "os/win32/backend.h"

namespace os::win32 {
namespace {

void WriteRaw(const std::string& text) {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  std::string translated;
  translated.reserve(text.size());
  for (char c : text) {
    if (c == '\n') translated.push_back('\r');
    translated.push_back(c);
  }
  const char* data = translated.data();
  DWORD left = static_cast<DWORD>(translated.size());
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(output, data, left, &written, nullptr) || written == 0)
      return;  // a closed pipe or a full disk: the text goes nowhere
    data += written;
    left -= written;
  }
}

}  // namespace

int Ui::MessageBox(const std::string& text, const std::string& caption,
                   std::uint32_t style) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

void Ui::WriteStdout(const std::string& text) { WriteRaw(text); }

void Ui::WriteStdoutWide(const std::u16string& text) { WriteRaw(Narrow(text)); }

}  // namespace os::win32
