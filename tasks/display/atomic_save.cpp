// The save writes the document to a new file beside the configuration and
// flushes it before anything touches the name. The new file then takes the
// name with MoveFileExA (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH):
// one rename of the directory entry, so the name always holds the old file
// or the new one. ReplaceFileA is not used although it keeps the old file's
// attributes and ACL by itself: it takes the name away before the
// replacement gets it (with a backup it renames the original to the backup
// first; without one its failure codes say the original may be gone or
// under another name), and a power cut in between leaves the runtime
// without its configuration. What users rely on of ReplaceFileA's keeping,
// the ACL and the hidden, system and archive attributes, is put on the new
// file before the move; creation time and short name are the new file's.
#include "tasks/display/atomic_save.h"

namespace vorn {
namespace {

std::string NewFileName(const std::string& path) { return path + ".new"; }
// Left by earlier versions, whose save renamed the original to it.
std::string BackupName(const std::string& path) { return path + ".bak"; }

}  // namespace

// A read-only configuration is refused before anything is written: whoever
// set the attribute protected the file from changes, and Windows would
// refuse to replace it only after the new file had been made (carrying its
// access list, which on some file systems keeps that new file from being
// removed again).
bool SaveAtomically(os::Files& files, os::XmlDocument& document, const std::string& path) {
  if (files.IsReadOnly(path)) return false;
  const std::string fresh = NewFileName(path);
  if (os::Failed(document.Save(fresh)) || files.FlushFile(fresh) != os::kSuccess ||
      files.CopyAttributesAndSecurity(path, fresh) != os::kSuccess) {
    if (files.Exists(fresh)) files.DeleteFile(fresh);
    return false;
  }
  if (files.MoveFile(fresh, path, os::kMoveFileReplaceExisting | os::kMoveFileWriteThrough) ==
      os::kSuccess) {
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
