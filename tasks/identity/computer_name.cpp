// The computer name derived from the MAC address: the short platform name,
// an underscore and the address's last three bytes in hexadecimal.
#include <cstdio>
#include <cstring>
#include <string>

#include "tasks/identity/id_check.h"
#include "tasks/identity/restart.h"

namespace vorn {
namespace {

// The name every device image ships with; it is always replaced.
constexpr char kDefaultComputerName[] = "QZ_IPC";
// Word for word as devices have always logged it ("Computername"): stored
// logs and the operators' searches match this text.
constexpr char kNameRestartText[] =
    "The Computername was changed. Machine has to be restarted.";

}  // namespace

bool IDCheck::MakeComputerName(char* buffer, std::size_t size) {
  MacId address = {};
  const int n = ReadMacId(address);
  if (n < 6 || size == 0) return false;
  // The last three bytes of the address taken (n is 6: longer addresses
  // are never taken).
  std::snprintf(buffer, size, "%s_%02X%02X%02X", namePrefix, address[n - 3],
                address[n - 2], address[n - 1]);
  buffer[size - 1] = '\0';
  return true;
}

bool IDCheck::CheckComputerName() {
  char message[128];
  Log("Checking if computername has to be changed:", kTraceType);
  char derived[16] = {};
  if (!MakeComputerName(derived, sizeof derived)) {
    std::snprintf(message, sizeof message,
                  "Error generating computer name from MACId.\n current Name is %s\n",
                  computerName);
    Log(message, EVENTLOG_ERROR_TYPE);
    return false;
  }

  os::Text& text = platform_.text;
  const std::string current = computerName;
  if (text.CompareNoCase(current, kDefaultComputerName) != 0) {
    // Only the first character of the prefix decides whether the name is
    // one of ours: a name beginning otherwise was given by hand.
    const std::string prefix = namePrefix;
    std::size_t first = 1;
    if (!prefix.empty() && text.IsLeadByte(static_cast<std::uint8_t>(prefix[0]))) first = 2;
    if (text.CompareNoCase(current.substr(0, first), prefix.substr(0, first)) != 0 ||
        current == derived) {
      Log("Computername has not to be changed\n", kTraceType);
      return true;
    }
  }

  if (!platform_.network.SetComputerName(derived)) {
    std::snprintf(message, sizeof message, "Changing Computername to %s failed\n", derived);
    Log(message, EVENTLOG_ERROR_TYPE);
    return false;
  }
  std::snprintf(message, sizeof message, "The computer name was changed from %s to %s\n",
                computerName, derived);
  Log(message, EVENTLOG_INFORMATION_TYPE);
  std::snprintf(computerName, sizeof computerName, "%s", derived);
  // Neither result changes the task's: both report (or drop) their own
  // failures, and the name has been set.
  RegisterUpnp();
  RequestRestart(platform_.power, kNameRestartText);
  return true;
}

}  // namespace vorn
