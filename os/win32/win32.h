// The Windows headers for the Win32 backend, and nothing of them above
// os/win32/. Included first by every backend file.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>

// The port's operations carry the platform's names; the headers' A/W
// macros of the same names would rename them.
#undef CreateProcess
#undef CreateService
#undef DeleteFile
#undef GetComputerName
#undef GetMessage
#undef InitiateShutdown
#undef LoadLibrary
#undef LoadString
#undef MessageBox
#undef MoveFile
#undef OpenService
#undef PostThreadMessage
#undef SetComputerName

static_assert(sizeof(wchar_t) == sizeof(char16_t),
              "UTF-16 port text is handed to the W-side of COM unchanged");
