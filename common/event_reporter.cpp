#include "common/event_reporter.h"

#include <cstdio>

namespace vorn {

constexpr char kEventSource[] = "VORN";
constexpr std::size_t kEventBufferSize = 256;

std::string FormatEventText(const char* format, va_list args) {
  char buffer[kEventBufferSize];
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n < 0) buffer[0] = '\0';
  return buffer;
}

EventReporter::EventReporter(os::EventLog& eventLog)
    : source_(eventLog.RegisterSource(kEventSource)) {}

void EventReporter::Report(std::uint16_t type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatEventText(format, args);
  va_end(args);
  ReportText(type, text);
}

void EventReporter::ReportText(std::uint16_t type, const std::string& text) {
  if (!source_) return;
  source_->Report(type, 0, 0, text.substr(0, kEventBufferSize - 1));
}

}  // namespace vorn
