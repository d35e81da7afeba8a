// Every function VORN.EXE imports from a delay-loaded DLL (cmake/win32.cmake
// lists the DLLs), as X(function, argument bytes, how it fails): the bytes
// are the "@N" of its x86 name, checked against its declaration where the
// list is used. VariantInit, which cannot fail, is listed apart.
// tests/xp/check_delay_stubs.sh holds the list to the executable's table.
#pragma once

#define VORN_DELAYED(X)                     \
  /* iphlpapi.dll */                        \
  X(GetAdaptersInfo, 8, kStatus)            \
  /* oleaut32.dll */                        \
  X(LoadTypeLibEx, 12, kHResult)            \
  X(RegisterTypeLib, 12, kHResult)          \
  X(UnRegisterTypeLib, 20, kHResult)        \
  X(VariantClear, 4, kHResult)              \
  X(SysAllocStringLen, 8, kZero)            \
  X(SysFreeString, 4, kZero)                \
  X(SysStringLen, 4, kZero)                 \
  /* shlwapi.dll */                         \
  X(SHDeleteKeyA, 8, kStatus)               \
  X(StrStrIA, 8, kZero)                     \
  /* user32.dll */                          \
  X(CreateWindowExA, 48, kZero)             \
  X(DefWindowProcA, 16, kZero)              \
  X(GetClassWord, 8, kZero)                 \
  X(GetMessageA, 16, kMinusOne)             \
  X(LoadStringA, 16, kZero)                 \
  X(MessageBoxA, 16, kZero)                 \
  X(PostThreadMessageA, 16, kZero)          \
  X(RegisterClassExA, 4, kZero)
