// The save writes the document to a new file beside the configuration and
// flushes it before anything touches the name. The new file is made by the
// save itself, exclusively: the folder may let other users create files,
// and a file someone else made would keep its owner and access list however
// it is rewritten, and take them to the configuration with the move. The
// new file then takes the name with MoveFileExA (MOVEFILE_REPLACE_EXISTING
// | MOVEFILE_WRITE_THROUGH): one rename of the directory entry, so the name
// always holds the old file or the new one. ReplaceFileA is not used
// although it keeps the old file's attributes and ACL by itself: it takes
// the name away before the replacement gets it (with a backup it renames
// the original to the backup first; without one its failure codes say the
// original may be gone or under another name), and a power cut in between
// leaves the runtime without its configuration. What users rely on of
// ReplaceFileA's keeping, the ACL and the hidden, system and archive
// attributes, is put on the new file before the move; creation time and
// short name are the new file's.
//
// MOVEFILE_WRITE_THROUGH only waits for a move made as copy and delete. A
// rename on FAT (the compact-flash system volumes are often FAT) is a
// delete and a new directory entry that stay in the cache, so the volume is
// flushed after the move.
#include "tasks/display/atomic_save.h"

namespace vorn {
namespace {

std::string NewFileName(const std::string& path) { return path + ".new"; }
// Left by earlier versions, whose save renamed the original to it.
std::string BackupName(const std::string& path) { return path + ".bak"; }

// The new file's name is taken by someone else's file when it is there and
// cannot be removed, or when it is back by the time the save creates it.
// Nothing is then written, and that file is left as it is.
std::unique_ptr<os::NewFile> CreateNewFile(os::Files& files, const std::string& fresh) {
  if (files.Exists(fresh) && files.DeleteFile(fresh) != os::kSuccess) return nullptr;
  std::unique_ptr<os::NewFile> file;
  if (files.CreateNew(fresh, &file) != os::kSuccess) return nullptr;
  return file;
}

// The document into its own new file, flushed, with the old file's
// protection. The file is closed before the move: an open handle without
// sharing would refuse the rename.
bool WriteNewFile(os::Files& files, os::XmlDocument& document, const std::string& path,
                  const std::string& fresh) {
  std::unique_ptr<os::NewFile> file = CreateNewFile(files, fresh);
  if (!file) return false;
  const bool written = !os::Failed(document.Save(*file)) && file->Flush() == os::kSuccess &&
                       files.CopyAttributesAndSecurity(path, fresh) == os::kSuccess;
  file.reset();
  if (!written) files.DeleteFile(fresh);
  return written;
}

}  // namespace

// A read-only configuration is refused before anything is written: whoever
// set the attribute protected the file from changes, and Windows would
// refuse to replace it only after the new file had been made (carrying its
// access list, which on some file systems keeps that new file from being
// removed again).
bool SaveAtomically(os::Files& files, os::XmlDocument& document, const std::string& path) {
  if (files.IsReadOnly(path)) return false;
  const std::string fresh = NewFileName(path);
  if (!WriteNewFile(files, document, path, fresh)) return false;
  if (files.MoveFile(fresh, path, os::kMoveFileReplaceExisting | os::kMoveFileWriteThrough) ==
      os::kSuccess) {
    // The name holds the new file whatever the flush answers; a failed
    // flush leaves the rename to the cache, as before it.
    files.FlushVolume(path);
    return true;
  }
  // A failed move leaves both names as they were. Were the name ever
  // missing, the new file, flushed, stays for the next load to restore.
  if (files.Exists(path)) files.DeleteFile(fresh);
  return false;
}

// The new file is whole whenever the name is missing: it is renamed only
// after its flush, and a cut before the flush leaves the original under its
// name. The move does not replace: a configuration that is there after all
// (FindFirstFileA failed) stays.
bool RestoreInterruptedSave(os::Files& files, const std::string& path) {
  if (files.Exists(path)) return false;
  for (const std::string& leftover : {NewFileName(path), BackupName(path)}) {
    if (files.Exists(leftover) &&
        files.MoveFile(leftover, path, os::kMoveFileWriteThrough) == os::kSuccess) {
      return true;
    }
  }
  return false;
}

void RemoveSaveLeftovers(os::Files& files, const std::string& path) {
  for (const std::string& leftover : {NewFileName(path), BackupName(path)}) {
    if (files.Exists(leftover)) files.DeleteFile(leftover);
  }
}

}  // namespace vorn
