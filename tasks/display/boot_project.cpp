// The display init command in DefaultConfig.xml: found through the XML DOM,
// its data rewritten with the current display lines, the file saved only
// when the data changed.
#include "tasks/display/boot_project.h"

#include <cstring>
#include <memory>

#include "tasks/display/display_text.h"

namespace vorn {
namespace {

constexpr char kEventHostName[] = "Zentravise : Failed to get Computer name";
constexpr char kEventLoad[] = "Failed to load DefaultConfig.xml";
constexpr char kEventUnexpected[] = "Unexpected error while setting display string.";
constexpr char kEventRestored[] = "Restored DefaultConfig.xml from an interrupted save";

// The first four children of the display init command: local name and text.
struct ExpectedChild {
  const char16_t* name;
  const char16_t* text;
};
constexpr ExpectedChild kDisplayCommand[] = {
    {u"key", u"Init1\\IO: Create Devices"},
    {u"port", u"300"},
    {u"iGrp", u"20481"},
    {u"iOffs", u"33"},
};
constexpr std::int32_t kDisplayCommandChildren = 6;
constexpr std::int32_t kDataChild = 4;

// Why a search ended.
enum class Search { kNotFound, kFound, kFailed };

// Whether `node` has the local name and the text given; a DOM failure is
// reported through *failed.
bool Matches(os::XmlNode& node, const ExpectedChild& expected, bool* failed) {
  std::u16string value;
  if (os::Failed(node.BaseName(&value))) return !(*failed = true);
  if (value != expected.name) return false;
  value.clear();
  if (os::Failed(node.Text(&value))) return !(*failed = true);
  return value == expected.text;
}

// Item that must exist: a failure status, or no node for an index the
// length promised, is a DOM failure.
bool ItemAt(os::XmlNodeList& list, std::int32_t index, std::unique_ptr<os::XmlNode>* node) {
  return !os::Failed(list.Item(index, node)) && *node;
}

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
std::string NewFileName(const std::string& path) { return path + ".new"; }
// Left by earlier versions, whose save renamed the original to it.
std::string BackupName(const std::string& path) { return path + ".bak"; }

// A save cut short (by a power failure, say) may leave its new file or the
// backup beside the configuration. Called only once the configuration has
// loaded from `path`, so neither is the only copy of it.
void RemoveLeftovers(os::Files& files, const std::string& path) {
  for (const std::string& leftover : {NewFileName(path), BackupName(path)}) {
    if (files.Exists(leftover)) files.DeleteFile(leftover);
  }
}

// When the configuration's name is missing and a save of ours was cut
// short after its new file was flushed, the new file goes back to the
// name; else the backup an earlier version's save made. The new file is
// whole whenever the name is missing: it is renamed only after its flush,
// and a cut before the flush leaves the original under its name. The move
// does not replace: a configuration that is there after all (FindFirstFileA
// failed) stays. True when a leftover took the name.
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

// On any failure the original stays as it was under its name and the new
// file is removed.
bool SaveBootProject(const os::Platform& platform, os::XmlDocument& document,
                     const std::string& path) {
  os::Files& files = platform.files;
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

// Visits the InitCmd elements in document order and updates the first
// display init command. kFailed stands for a DOM failure, a failed save and
// display data too short to hold both lines. `secondLine` is null when the
// host name could not be read.
Search UpdateFirstDisplayCommand(const os::Platform& platform, os::XmlDocument& document,
                                 const std::string& path, const std::string& firstLine,
                                 const std::string* secondLine) {
  std::unique_ptr<os::XmlNodeList> commands;
  if (os::Failed(document.SelectNodes(u"/QvBootProject/InitCmds/InitCmd", &commands)) ||
      !commands) {
    return Search::kFailed;
  }
  for (std::int32_t index = 0;; ++index) {
    std::int32_t count = 0;
    if (os::Failed(commands->Length(&count))) return Search::kFailed;
    if (index >= count) return Search::kNotFound;

    std::unique_ptr<os::XmlNode> command;
    if (!ItemAt(*commands, index, &command)) return Search::kFailed;
    std::unique_ptr<os::XmlNodeList> children;
    if (os::Failed(command->SelectNodes(u"*", &children)) || !children) return Search::kFailed;
    std::int32_t childCount = 0;
    if (os::Failed(children->Length(&childCount))) return Search::kFailed;
    if (childCount != kDisplayCommandChildren) continue;

    bool failed = false;
    bool matches = true;
    for (std::int32_t i = 0; i < 4 && matches; ++i) {
      std::unique_ptr<os::XmlNode> child;
      if (!ItemAt(*children, i, &child)) return Search::kFailed;
      matches = Matches(*child, kDisplayCommand[i], &failed);
      if (failed) return Search::kFailed;
    }
    if (!matches) continue;

    std::unique_ptr<os::XmlNode> dataNode;
    if (!ItemAt(*children, kDataChild, &dataNode)) return Search::kFailed;
    std::u16string currentWide;
    if (os::Failed(dataNode->Text(&currentWide))) return Search::kFailed;
    const std::string current = platform.text.FromWide(currentWide);
    // Data too short for both lines: the command is the one sought, but its
    // data is left alone (nothing may be written beyond its end) and the
    // task fails.
    if (current.size() < kDisplayDataMinDigits) return Search::kFailed;

    // Without the host name the second line keeps what the data holds.
    const std::string second =
        secondLine ? *secondLine : current.substr(kSecondLineDigit, kDisplayLineDigits);
    const std::u16string updated =
        platform.text.ToWide(ComposeDisplayData(current, firstLine, second));
    if (updated != currentWide) {
      if (os::Failed(dataNode->PutText(updated))) return Search::kFailed;
      if (!SaveBootProject(platform, document, path)) return Search::kFailed;
    }
    return Search::kFound;
  }
}

}  // namespace

bool LoadBootProject(const os::Platform& platform, EventReporter& events,
                     os::XmlDocument& document, std::string* path) {
  // "InstallationPath" into 64 bytes that start empty; whatever fails leaves
  // the directory part empty and the file is looked for in the root of the
  // current drive. The value's type is not examined.
  char directory[64] = {};
  std::unique_ptr<os::RegistryKey> key;
  platform.registry.OpenKey(os::RootKey::kLocalMachine, "SOFTWARE\\Talvenor\\Quorvex",
                            os::kKeyRead, &key);
  if (key) {
    std::uint32_t size = sizeof(directory);
    if (key->QueryValue("InstallationPath", nullptr, reinterpret_cast<std::uint8_t*>(directory),
                        &size) != os::kSuccess) {
      directory[0] = '\0';
    }
    key.reset();
  }
  directory[sizeof(directory) - 1] = '\0';  // a value stored without terminator
  *path = std::string(directory, strnlen(directory, sizeof(directory))) + "\\DefaultConfig.xml";
  if (RestoreInterruptedSave(platform.files, *path)) {
    events.ReportText(EVENTLOG_INFORMATION_TYPE, kEventRestored);
  }

  if (os::Failed(document.PutAsync(false))) return false;
  bool loaded = false;
  if (os::Failed(document.Load(*path, &loaded))) return false;
  return loaded;
}

bool UpdateDisplayText(const os::Platform& platform, EventReporter& events, const char* text) {
  std::string first = text;
  if (!first.empty() && first.back() == '\n') first.pop_back();
  const std::string firstLine = EncodeDisplayLine(first.c_str());

  std::string nameLine;
  const bool haveName = BuildNameLine(platform.network, &nameLine);
  if (!haveName) events.ReportText(EVENTLOG_ERROR_TYPE, kEventHostName);

  // The job thread holds COM already, so this nests. A failed Initialize is
  // not paired: an extra CoUninitialize would end the job's own apartment.
  const os::HResult com = platform.com.Initialize();
  bool result = false;
  {
    std::unique_ptr<os::XmlDocument> document;
    platform.com.CreateXmlDocument(&document);
    std::string path;
    // No document object is as good as a file that would not load.
    if (!document || !LoadBootProject(platform, events, *document, &path)) {
      events.ReportText(EVENTLOG_ERROR_TYPE, kEventLoad);
    } else {
      RemoveLeftovers(platform.files, path);
      switch (UpdateFirstDisplayCommand(platform, *document, path, firstLine,
                                        haveName ? &nameLine : nullptr)) {
        case Search::kFound:
          result = true;
          break;
        case Search::kNotFound:
          break;
        case Search::kFailed:
          events.ReportText(EVENTLOG_ERROR_TYPE, kEventUnexpected);
          break;
      }
    }
  }  // every DOM object is released before COM goes
  if (!os::Failed(com)) platform.com.Uninitialize();
  return result;
}

}  // namespace vorn
