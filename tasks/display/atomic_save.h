// Saving DefaultConfig.xml so that its name always holds a whole file: the
// old one or the new one, never none and never a part.
#pragma once

#include <string>

#include "os/platform.h"

namespace vorn {

// Writes the document to a new file beside `path` that it creates itself
// (a file already under that name is removed first; one that cannot be, or
// is back by then, fails the save and is left alone), flushes it, gives it
// the old file's ACL and attributes, moves it onto the name and flushes the
// volume. False on any failure, and at once for a read-only file; the old
// file then stays as it was under its name and the new file is removed
// (kept only when the name is missing, for the next load to restore).
bool SaveAtomically(os::Files& files, os::XmlDocument& document, const std::string& path);

// When `path` is missing, puts the leftover of a save cut short in its place:
// our new file, else the backup an earlier version's save made. True when a
// leftover took the name.
bool RestoreInterruptedSave(os::Files& files, const std::string& path);

// Deletes the new file and the backup a save cut short may have left beside
// `path`. Only for a configuration that has loaded from `path`, so neither
// is the only copy of it.
void RemoveSaveLeftovers(os::Files& files, const std::string& path);

}  // namespace vorn
