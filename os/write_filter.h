// The two write filters of Windows XP Embedded: FBWFLIB.dll and EWFAPI.dll.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/types.h"

namespace os {

constexpr std::uint32_t kEwfEnabled = 0;
constexpr std::uint32_t kEwfDisabled = 1;

// An open protected volume (the HANDLE of EwfMgrOpenProtected).
class EwfVolume {
 public:
  // Calls EwfMgrClose when the handle is still held (never closed, or the
  // last Close failed); its result is not reported.
  virtual ~EwfVolume() = default;

  // EwfMgrGetProtectedVolumeConfig, then LocalFree of the block. True with
  // *state = the block's State; false when no block was returned, with
  // *lastError the last-error code.
  virtual bool GetConfigState(std::uint32_t* state, Status* lastError) = 0;

  // EwfMgrClose. True on success; false with *lastError set, the handle is
  // then still held and Close may be called again.
  virtual bool Close(Status* lastError) = 0;
};

// The protected-volume list of EwfMgrGetProtectedVolumeList. Destroying it
// deletes what is left of it (EwfMgrVolumeNameListDelete).
class EwfVolumeList {
 public:
  virtual ~EwfVolumeList() = default;

  // EwfMgrVolumeNameListIsEmpty.
  virtual bool IsEmpty() = 0;

  // EwfMgrOpenProtected with the head entry's volume name. Null for
  // INVALID_HANDLE_VALUE.
  virtual std::unique_ptr<EwfVolume> OpenHead() = 0;

  // EwfMgrVolumeNameEntryPop: releases the head entry and advances.
  virtual void PopHead() = 0;
};

class WriteFilters {
 public:
  virtual ~WriteFilters() = default;

  // FbwfIsFilterEnabled(&current, &next). Returns the library's status (0
  // on success); the out-values are written only on success.
  virtual Status FbwfIsFilterEnabled(std::uint32_t* current,
                                     std::uint32_t* next) = 0;

  // EwfMgrGetProtectedVolumeList. Null when there is no list.
  virtual std::unique_ptr<EwfVolumeList> GetProtectedVolumeList() = 0;
};

}  // namespace os
