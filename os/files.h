// The few file operations the system makes itself (kernel32): flushing a
// file to disk and replacing one file by another in one step.
#pragma once

#include <string>

#include "os/types.h"

namespace os {

constexpr unsigned kMoveFileReplaceExisting = 0x1;
constexpr unsigned kMoveFileWriteThrough = 0x8;

class Files {
 public:
  virtual ~Files() = default;

  // Opens the file for writing, FlushFileBuffers, closes it. Returns 0 or
  // the status of the step that failed (2 when the file does not exist).
  virtual Status FlushFile(const std::string& path) = 0;

  // ReplaceFileA(replaced, replacement, backup, 0): the replacement takes
  // the replaced file's name; the old content goes to `backup` (may be
  // empty: no backup). Returns 0 or the failure status; on failure the
  // replaced file is as it was unless the status says otherwise
  // (ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176 and _2 1177 are the cases where
  // it is not).
  virtual Status ReplaceFile(const std::string& replaced,
                             const std::string& replacement,
                             const std::string& backup) = 0;

  // MoveFileExA(from, to, flags). Returns 0 or the failure status.
  virtual Status MoveFile(const std::string& from, const std::string& to,
                          unsigned flags) = 0;

  // DeleteFileA. Returns 0 or the failure status (2 when absent).
  virtual Status DeleteFile(const std::string& path) = 0;

  // FindFirstFileA: true when anything matches the path.
  virtual bool Exists(const std::string& path) = 0;
};

}  // namespace os
