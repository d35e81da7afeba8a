// The parts of the XP Embedded write-filter APIs (EWFAPI.dll, FBWFLIB.dll)
// that VORN calls, declared from their published interface; the toolchain
// has no headers for them. Import libraries come from resources/*.def.
#pragma once

#include "os/win32/win32.h"

extern "C" {

// One entry of the protected-volume list: the link, then the volume's
// name, NUL-terminated, in place.
typedef struct _EWF_VOLUME_NAME_ENTRY {
  struct _EWF_VOLUME_NAME_ENTRY* Next;
  WCHAR Name[1];
} EWF_VOLUME_NAME_ENTRY, *PEWF_VOLUME_NAME_ENTRY;

// The volume configuration, up to the only member read. Both leading
// members are enums (EWF_TYPE, EWF_STATE), 32 bits wide. The library
// allocates the full block; it is only ever read through this prefix and
// released with LocalFree.
typedef struct _EWF_VOLUME_CONFIG_PREFIX {
  DWORD Type;
  DWORD State;  // EWF_ENABLED 0, EWF_DISABLED 1
} EWF_VOLUME_CONFIG_PREFIX, *PEWF_VOLUME_CONFIG_PREFIX;

PEWF_VOLUME_NAME_ENTRY WINAPI EwfMgrGetProtectedVolumeList(void);
BOOL WINAPI EwfMgrVolumeNameListIsEmpty(PEWF_VOLUME_NAME_ENTRY list);
HANDLE WINAPI EwfMgrOpenProtected(LPCWSTR volumeName);
PEWF_VOLUME_CONFIG_PREFIX WINAPI EwfMgrGetProtectedVolumeConfig(HANDLE device);
BOOL WINAPI EwfMgrClose(HANDLE device);
VOID WINAPI EwfMgrVolumeNameEntryPop(PEWF_VOLUME_NAME_ENTRY* list);
VOID WINAPI EwfMgrVolumeNameListDelete(PEWF_VOLUME_NAME_ENTRY list);

ULONG WINAPI FbwfIsFilterEnabled(PULONG currentSession, PULONG nextSession);

}  // extern "C"
