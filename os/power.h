// The shutdown privilege and the scheduled restart (advapi32).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace os {

// A process token opened with TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
// destroying it is CloseHandle.
class Token {
 public:
  virtual ~Token() = default;

  // AdjustTokenPrivileges with a one-entry list: SeShutdownPrivilege
  // enabled or disabled, the others untouched. True when the call
  // succeeded; as on Windows, it succeeds even when the process does not
  // hold the privilege (ERROR_NOT_ALL_ASSIGNED is not a failure).
  virtual bool AdjustShutdownPrivilege(bool enable) = 0;
};

class Power {
 public:
  virtual ~Power() = default;

  // OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES |
  // TOKEN_QUERY). Null on failure.
  virtual std::unique_ptr<Token> OpenProcessToken() = 0;

  // LookupPrivilegeValueA(NULL, "SeShutdownPrivilege"). False on failure.
  virtual bool LookupShutdownPrivilege() = 0;

  // InitiateSystemShutdownA on the local machine. False when the request
  // was refused: without the privilege (held and enabled), or while another
  // shutdown is already scheduled (the first stays in force).
  virtual bool InitiateShutdown(const std::string& message,
                                std::uint32_t timeoutSeconds, bool forceAppsClosed,
                                bool rebootAfterShutdown) = 0;
};

}  // namespace os
