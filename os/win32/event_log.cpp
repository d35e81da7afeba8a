// The Application event log through advapi32.
#include "os/win32/backend.h"
#include "os/win32/handles.h"

namespace os::win32 {
namespace {

class Source final : public EventSource {
 public:
  explicit Source(HANDLE handle) : handle_(handle) {}

  bool Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
              const std::string& text) override {
    const char* strings[] = {text.c_str()};
    return ::ReportEventA(handle_.Get(), type, category, eventId, nullptr, 1, 0,
                          strings, nullptr) != FALSE;
  }

 private:
  UniqueEventSource handle_;
};

}  // namespace

std::unique_ptr<EventSource> EventLog::RegisterSource(
    const std::string& sourceName) {
  HANDLE handle = ::RegisterEventSourceA(nullptr, sourceName.c_str());
  if (!handle) return nullptr;
  return std::make_unique<Source>(handle);
}

}  // namespace os::win32
