// The device identity the identity tasks work on: the computer name in
// effect, the chosen adapter's MAC address and the computer-name prefix.
#pragma once

#include <cstdint>

#include "host/event_reporter.h"
#include "identity/upnp_library.h"
#include "os/platform.h"

namespace vorn {

class IDCheck {
 public:
  // Reads the computer name and chooses the adapter; failures are logged
  // and leave the field empty (name) or all 00/FF (address).
  IDCheck(const os::Platform& platform, EventReporter& events,
          UpnpLibrary& upnpLibrary, const char* namePrefix);
  virtual ~IDCheck() = default;

  bool CheckComputerName();
  bool CheckUpnp();
  bool SetOlmNetId();

  char computerName[256] = {};
  std::uint8_t macId[6] = {};
  char namePrefix[16] = {};

 private:
  const os::Platform& platform_;
  EventReporter& events_;
  UpnpLibrary& upnpLibrary_;
};

}  // namespace vorn
