// The failure hook of delay_load.cpp, run under Wine (tests/wine/delay_load_test.sh):
// functions VORN delay-loads, bound here through delay-import libraries of a
// DLL that does not exist and of kernel32.dll, which lacks them
// (cmake/win32.cmake makes both). Each must fail as the real function fails,
// with ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND, on the first call (through
// the helper) and on the second (straight to the stand-in), and leave the
// stack as it was (on x86 the stand-in removes the arguments itself).
#include <cstdio>

#include "os/win32/win32.h"

namespace {

int failures = 0;

void Expect(bool condition, const char* what) {
  std::printf("%s - %s\n", condition ? "ok  " : "FAIL", what);
  if (!condition) ++failures;
}

// From the missing DLL: each kind of failure the stand-ins report.
void MissingLibrary() {
  for (int call = 0; call < 2; ++call) {
    ULONG size = 0;
    Expect(::GetAdaptersInfo(nullptr, &size) == ERROR_MOD_NOT_FOUND,
           "GetAdaptersInfo returns ERROR_MOD_NOT_FOUND");
    MSG message;
    ::SetLastError(0);
    Expect(::GetMessageA(&message, nullptr, 0, 0) == -1 && ::GetLastError() == ERROR_MOD_NOT_FOUND,
           "GetMessageA returns -1, GetLastError ERROR_MOD_NOT_FOUND");
    ITypeLib* library = nullptr;
    Expect(::LoadTypeLibEx(L"x.tlb", REGKIND_NONE, &library) ==
               HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
           "LoadTypeLibEx returns HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)");
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    ::VariantInit(&value);
    Expect(V_VT(&value) == VT_EMPTY, "VariantInit leaves the VARIANT empty");
  }
}

// From kernel32.dll, which is there but has not these functions.
void MissingFunction() {
  for (int call = 0; call < 2; ++call) {
    Expect(::SHDeleteKeyA(HKEY_CURRENT_USER, "VornDelayLoadTest") == ERROR_PROC_NOT_FOUND,
           "SHDeleteKeyA returns ERROR_PROC_NOT_FOUND");
    ::SetLastError(0);
    Expect(::StrStrIA("abc", "b") == nullptr && ::GetLastError() == ERROR_PROC_NOT_FOUND,
           "StrStrIA returns null, GetLastError ERROR_PROC_NOT_FOUND");
  }
}

}  // namespace

int main() {
  MissingLibrary();
  MissingFunction();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
