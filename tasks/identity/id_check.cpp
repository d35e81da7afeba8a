// IDCheck's construction, the adapter choice and the identity tasks' log.
#include "tasks/identity/id_check.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vorn {

IDCheck::IDCheck(const os::Platform& platform, EventReporter& events,
                 UpnpLibrary& upnpLibrary, const char* prefix)
    : platform_(platform), events_(events), upnpLibrary_(upnpLibrary) {
  std::snprintf(namePrefix, sizeof namePrefix, "%s", prefix);
  std::string name;
  // 16 bytes: a name of more than 15 characters is a failed read.
  if (platform_.network.GetComputerName(16, &name)) {
    std::snprintf(computerName, sizeof computerName, "%s", name.c_str());
  } else {
    computerName[0] = '\0';
    Log("Reading Computername failed", EVENTLOG_ERROR_TYPE);
  }
  if (ReadMacId(macId) == 0) Log("Reading MACID from Hardware failed", EVENTLOG_ERROR_TYPE);
}

int IDCheck::ReadMacId(MacId& out) {
  std::fill(std::begin(out), std::end(out), 0x00);
  std::uint32_t size = 0;
  std::vector<os::AdapterInfo> adapters;
  bool haveList = false;
  os::Status status = platform_.network.GetAdaptersInfo(nullptr, &size);
  if (status == os::kErrorBufferOverflow) {
    // One retry with the size asked for, none after that.
    status = platform_.network.GetAdaptersInfo(&adapters, &size);
    haveList = true;
  }
  if (status != os::kSuccess) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "GetAdapterInfo failed with code 0x%x\ncan't change computer name",
                  static_cast<unsigned>(status));
    Log(text, EVENTLOG_ERROR_TYPE);
    return 0;
  }
  if (!haveList) return 0;

  // An address longer than the 6-byte identity cannot be taken without
  // cutting it, and a cut address could match another device's. Such an
  // adapter is left out of the choice as if it were not listed, so the
  // adapters that do fit (the last of them included) are chosen as usual.
  std::vector<const os::AdapterInfo*> fitting;
  for (const os::AdapterInfo& a : adapters) {
    if (a.addressLength <= kMacIdSize) fitting.push_back(&a);
  }

  std::fill(std::begin(out), std::end(out), 0xFF);
  int taken = 0;
  bool anyCandidate = false;
  for (std::size_t i = 0; i < fitting.size(); ++i) {
    const os::AdapterInfo& a = *fitting[i];
    const bool intel = platform_.text.FindNoCase(a.description, "Intel") != std::string::npos;
    const bool lastResort = i + 1 == fitting.size() && !anyCandidate;
    if (!intel && !lastResort) continue;
    anyCandidate = true;
    const std::size_t n = a.addressLength;
    // The smallest address wins; equal ones keep the earlier adapter.
    for (std::size_t k = 0; k < n; ++k) {
      if (a.address[k] == out[k]) continue;
      if (a.address[k] < out[k]) {
        std::copy_n(a.address.begin(), n, std::begin(out));
        taken = static_cast<int>(n);
      }
      break;
    }
  }
  return taken;
}

void IDCheck::Log(const std::string& text, std::uint16_t type) {
  if (type == kTraceType) return;
  // The text is finished: a '%' in it (a computer name, say) stays as is.
  events_.ReportText(type, text);
}

}  // namespace vorn
