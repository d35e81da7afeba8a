// The process-wide writer of the Application event log under the source
// "VORN".
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

#include "os/event_log.h"

namespace vorn {

constexpr std::uint16_t EVENTLOG_ERROR_TYPE = os::kEventError;
constexpr std::uint16_t EVENTLOG_WARNING_TYPE = os::kEventWarning;
constexpr std::uint16_t EVENTLOG_INFORMATION_TYPE = os::kEventInformation;
// Progress texts that are never reported.
constexpr std::uint16_t kTraceType = 17;

// Formats printf-style into the 256-byte event buffer: a longer text is cut
// to its first 255 characters.
std::string FormatEventText(const char* format, va_list args);

class EventReporter {
 public:
  // Registers the source; without a handle every report is dropped.
  explicit EventReporter(os::EventLog& eventLog);

  // Reports one event: category 0, event id 0, the formatted text as the one
  // string. Nothing is returned: a lost event is not noticed.
  void Report(std::uint16_t type, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  // Reports a finished text as it stands ("%" kept).
  void ReportText(std::uint16_t type, const std::string& text);

 private:
  std::unique_ptr<os::EventSource> source_;
};

}  // namespace vorn
