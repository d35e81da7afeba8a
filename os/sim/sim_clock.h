// The simulated device's clock and time zone, over the device's local time
// (device/calendar.h).
#pragma once

#include <cstdint>

#include "device/device.h"
#include "os/clock.h"

namespace sim {

class SimClock : public os::Clock {
 public:
  explicit SimClock(Device& device) : device_(device) {}
  std::uint32_t GetTimeZoneInformation(os::TimeZoneInfo* info) override;
  void GetLocalTime(os::SystemTime* time) override;
  bool SetLocalTime(const os::SystemTime& time) override;
  bool SystemTimeToFileTime(const os::SystemTime& time, std::uint64_t* fileTime) override;
  bool FileTimeToSystemTime(std::uint64_t fileTime, os::SystemTime* time) override;

 private:
  Device& device_;
};

}  // namespace sim
