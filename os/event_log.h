// The event log: RegisterEventSourceA, ReportEventA, DeregisterEventSource.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace os {

constexpr std::uint16_t kEventError = 1;
constexpr std::uint16_t kEventWarning = 2;
constexpr std::uint16_t kEventInformation = 4;

class EventSource {
 public:
  virtual ~EventSource() = default;  // DeregisterEventSource

  // ReportEventA with no user SID, the one string `text` and no raw data.
  // Returns false when the report was not written; callers may ignore it.
  virtual bool Report(std::uint16_t type, std::uint16_t category,
                      std::uint32_t eventId, const std::string& text) = 0;
};

class EventLog {
 public:
  virtual ~EventLog() = default;

  // RegisterEventSourceA on the local machine. Returns null when no handle
  // was obtained; nothing else is reported.
  virtual std::unique_ptr<EventSource> RegisterSource(
      const std::string& sourceName) = 0;
};

}  // namespace os
