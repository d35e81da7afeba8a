// The few file operations the system makes itself (kernel32, advapi32):
// flushing a file to disk, giving it another file's protection and moving
// it over that file in one step.
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

  // GetFileAttributesA and GetFileSecurityA (the DACL) of `from`, then
  // SetFileAttributesA and SetFileSecurityA on `to`, so that a file taking
  // `from`'s name by a move keeps its protection: the hidden, system,
  // archive and not-indexed attributes and the access control list. The
  // read-only attribute is not carried (a read-only `from` refuses the move
  // anyway, and a read-only `to` could not be removed). Returns 0 or the
  // status of the step that failed (2 when a file does not exist); after a
  // failure `to` may have the attributes but not the DACL.
  virtual Status CopyAttributesAndSecurity(const std::string& from,
                                           const std::string& to) = 0;

  // MoveFileExA(from, to, flags). On one volume this is one rename of the
  // directory entry: with kMoveFileReplaceExisting `to` names the old file
  // or the moved one at every moment, and kMoveFileWriteThrough returns
  // only once the rename is on the disk. Returns 0 or the failure status;
  // on failure both names stay as they were.
  virtual Status MoveFile(const std::string& from, const std::string& to,
                          unsigned flags) = 0;

  // DeleteFileA. Returns 0 or the failure status (2 when absent).
  virtual Status DeleteFile(const std::string& path) = 0;

  // FindFirstFileA: true when anything matches the path.
  virtual bool Exists(const std::string& path) = 0;

  // GetFileAttributesA: true when the file carries the read-only
  // attribute. False when it does not, is missing, or the call fails.
  virtual bool IsReadOnly(const std::string& path) = 0;
};

}  // namespace os
