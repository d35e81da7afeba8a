// Plain value types and Win32 status numbers shared by every port interface.
// No Windows header is included anywhere above os/win32/: these constants
// carry the values the platform uses so that system code can compare results.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// A Win32 error code as GetLastError or the registry functions give it.
// 0 is success.
using Status = std::uint32_t;

// A COM status. Negative values are failures.
using HResult = std::int32_t;

constexpr Status kSuccess = 0;
constexpr Status kErrorFileNotFound = 2;
constexpr Status kErrorPathNotFound = 3;
constexpr Status kErrorAccessDenied = 5;
constexpr Status kErrorInvalidHandle = 6;
constexpr Status kErrorNotEnoughMemory = 8;
constexpr Status kErrorGenFailure = 31;
constexpr Status kErrorSharingViolation = 32;
constexpr Status kErrorInvalidParameter = 87;
constexpr Status kErrorBufferOverflow = 111;
constexpr Status kErrorInsufficientBuffer = 122;
constexpr Status kErrorNoData = 232;
constexpr Status kErrorMoreData = 234;
constexpr Status kErrorNoMoreItems = 259;
constexpr Status kErrorNoToken = 1008;
constexpr Status kErrorServiceDoesNotExist = 1060;
constexpr Status kErrorServiceExists = 1073;
constexpr Status kErrorFailedServiceControllerConnect = 1063;
constexpr Status kErrorShutdownInProgress = 1115;
constexpr Status kErrorNotAllAssigned = 1300;
constexpr Status kErrorPrivilegeNotHeld = 1314;

constexpr HResult kSOk = 0;
constexpr HResult kSFalse = 1;
constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005u);
constexpr HResult kRegdbEClassNotReg = static_cast<HResult>(0x80040154u);

inline bool Failed(HResult hr) { return hr < 0; }

// HRESULT_FROM_WIN32.
inline HResult HResultFromWin32(Status status) {
  return status == 0 ? kSOk
                     : static_cast<HResult>((status & 0xFFFFu) | 0x80070000u);
}

}  // namespace os
