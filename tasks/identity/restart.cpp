#include "tasks/identity/restart.h"

namespace vorn {

bool RequestRestart(os::Power& power, const char* message) {
  std::unique_ptr<os::Token> token = power.OpenProcessToken();
  if (!token) return false;
  // A failed look-up does not stop the request: enabling the privilege or
  // the request itself then fails.
  power.LookupShutdownPrivilege();
  if (!token->AdjustShutdownPrivilege(true)) return false;
  if (!power.InitiateShutdown(message, 60, true, true)) return false;
  return token->AdjustShutdownPrivilege(false);
}

}  // namespace vorn
