// The few file operations the system makes itself (kernel32, advapi32):
// creating a file of its own, flushing it to disk, giving it another file's
// protection, moving it over that file in one step and flushing the volume.
#pragma once

#include <memory>
#include <string>

#include "os/types.h"

namespace os {

constexpr unsigned kMoveFileReplaceExisting = 0x1;
constexpr unsigned kMoveFileWriteThrough = 0x8;
// ERROR_FILE_EXISTS: CreateNew found the name taken.
constexpr Status kErrorFileExists = 80;

// A file this process created and holds open for writing, shared with no
// one; destroying it is CloseHandle. The XML document saves into it.
class NewFile {
 public:
  virtual ~NewFile() = default;

  // FlushFileBuffers on the handle. Returns 0 or the failure status.
  virtual Status Flush() = 0;
};

class Files {
 public:
  virtual ~Files() = default;

  // CreateFileA(path, GENERIC_WRITE, no sharing, CREATE_NEW): a file that
  // did not exist before, so this process's account owns it and it has
  // the folder's inherited access list, whoever may create files there.
  // Fails with kErrorFileExists when anything has the name (it is not
  // opened, whoever made it), 3 when the folder is missing, or the status
  // of the call; *file is set only on success.
  virtual Status CreateNew(const std::string& path, std::unique_ptr<NewFile>* file) = 0;

  // FlushFileBuffers on a handle of the volume that holds `path` (its
  // drive letter, from GetFullPathNameA; CreateFileA on "\\.\X:", which
  // needs administrative rights): everything the volume caches is written,
  // directory entries included. Returns 0 or the status of the step that
  // failed (123 when the path names no drive letter).
  virtual Status FlushVolume(const std::string& path) = 0;

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
