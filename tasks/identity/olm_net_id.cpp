// The automation runtime's route net id, derived from the MAC address: the
// address's last four bytes followed by 1 and 1.
#include <algorithm>
#include <cstdio>

#include "common/reg_access.h"
#include "tasks/identity/id_check.h"

namespace vorn {

bool IDCheck::MakeOlmNetId(MacId& out) {
  MacId address = {};
  const int n = ReadMacId(address);
  if (n < 4) return false;
  std::copy_n(address + (n - 4), 4, out);
  out[4] = 1;
  out[5] = 1;
  return true;
}

bool IDCheck::SetOlmNetId() {
  MacId id = {};
  if (!MakeOlmNetId(id)) {
    // No address to derive the id from. Nothing is written: a made-up id
    // would be kept for good, as an existing id is never replaced. The
    // adapter failure is already in the log (from the construction and
    // the address read just made), so nothing is added. The task fails:
    // the runtime is installed and still has no id, which the run's
    // summary must not call a success; the next boot tries again.
    return false;
  }
  char message[128];
  std::snprintf(message, sizeof message, "Setting OlmNetId = %02X %02X %02X %02X %02X %02X",
                id[0], id[1], id[2], id[3], id[4], id[5]);
  Log(message, EVENTLOG_INFORMATION_TYPE);
  // A failed write is not reported: the guard finds the id unset at the
  // next boot and the task runs again.
  RegCls(platform_.registry)
      .SetBinary(os::RootKey::kLocalMachine, "SOFTWARE\\Talvenor\\Quorvex\\System",
                 "OlmNetId", id, sizeof id);
  return true;
}

}  // namespace vorn
