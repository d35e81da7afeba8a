// The shutdown privilege and the scheduled restart (advapi32).
#include <vector>

#include "os/win32/backend.h"
#include "os/win32/handles.h"

namespace os::win32 {
namespace {

class ProcessToken final : public Token {
 public:
  explicit ProcessToken(HANDLE token) : token_(token) {}

  bool AdjustShutdownPrivilege(bool enable) override {
    TOKEN_PRIVILEGES privileges{};
    if (!::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME,
                                 &privileges.Privileges[0].Luid))
      return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    // Succeeds with ERROR_NOT_ALL_ASSIGNED when the privilege is not held;
    // that is left to InitiateSystemShutdownA to refuse.
    return ::AdjustTokenPrivileges(token_.Get(), FALSE, &privileges, 0, nullptr,
                                   nullptr) != FALSE;
  }

 private:
  UniqueKernelHandle token_;
};

}  // namespace

std::unique_ptr<Token> Power::OpenProcessToken() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(),
                          TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return nullptr;
  return std::make_unique<ProcessToken>(token);
}

bool Power::LookupShutdownPrivilege() {
  LUID luid;
  return ::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid) != FALSE;
}

bool Power::InitiateShutdown(const std::string& message,
                             std::uint32_t timeoutSeconds, bool forceAppsClosed,
                             bool rebootAfterShutdown) {
  // The function takes a non-const message buffer.
  std::vector<char> text(message.begin(), message.end());
  text.push_back('\0');
  return ::InitiateSystemShutdownA(nullptr, text.data(), timeoutSeconds,
                                   forceAppsClosed ? TRUE : FALSE,
                                   rebootAfterShutdown ? TRUE : FALSE) != FALSE;
}

}  // namespace os::win32
