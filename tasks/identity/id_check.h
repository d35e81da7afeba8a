// The device identity the identity tasks work on: the computer name in
// effect, the chosen adapter's MAC address and the computer-name prefix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/event_reporter.h"
#include "os/platform.h"
#include "tasks/identity/upnp_library.h"

namespace vorn {

// The device identity: 6 bytes in the order the adapter reports them.
constexpr std::size_t kMacIdSize = 6;
using MacId = std::uint8_t[kMacIdSize];

class IDCheck {
 public:
  // Reads the computer name and chooses the adapter; failures are logged
  // and leave the field empty (name) or all 00/FF (address).
  IDCheck(const os::Platform& platform, EventReporter& events,
          UpnpLibrary& upnpLibrary, const char* namePrefix);

  // The adapter choice (tasks/identity/id_check.cpp): fills `out` and returns the
  // length of the address taken, or 0 when none was taken (`out` is then
  // all 00 when the list could not be read, all FF when no adapter fitted).
  int ReadMacId(MacId& out);

  // Computer name from the address (tasks/identity/computer_name.cpp).
  bool MakeComputerName(char* buffer, std::size_t size);
  bool CheckComputerName();

  // Route net id (tasks/identity/olm_net_id.cpp).
  bool MakeOlmNetId(MacId& out);
  bool SetOlmNetId();

  // UPnP re-registration (tasks/identity/upnp.cpp).
  bool CheckUpnp();
  bool RegisterUpnp();

  // Reports a finished text; the trace type 17 is dropped.
  void Log(const std::string& text, std::uint16_t type);

  char computerName[256] = {};
  MacId macId = {};
  char namePrefix[16] = {};

 private:
  os::Platform platform_;  // a bundle of references: cheap to copy, never dangles
  EventReporter& events_;
  UpnpLibrary& upnpLibrary_;
};

}  // namespace vorn
