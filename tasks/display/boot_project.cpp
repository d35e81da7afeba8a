// The display init command in DefaultConfig.xml: found through the XML DOM,
// its data rewritten with the current display lines, the file saved only
// when the data changed.
#include "tasks/display/boot_project.h"

#include <cstring>
#include <memory>

#include "tasks/display/atomic_save.h"
#include "tasks/display/display_text.h"

namespace vorn {
namespace {

// The event texts stay word for word, the space before the colon included:
// stored logs and the operators' searches match them as written.
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

// The display init command among the children of `command`: exactly six
// child elements, the first four as kDisplayCommand names them. When it is
// one, *data is its fifth child, the display data.
Search MatchDisplayCommand(os::XmlNode& command, std::unique_ptr<os::XmlNode>* data) {
  std::unique_ptr<os::XmlNodeList> children;
  if (os::Failed(command.SelectNodes(u"*", &children)) || !children) return Search::kFailed;
  std::int32_t childCount = 0;
  if (os::Failed(children->Length(&childCount))) return Search::kFailed;
  if (childCount != kDisplayCommandChildren) return Search::kNotFound;
  for (std::int32_t i = 0; i < 4; ++i) {
    std::unique_ptr<os::XmlNode> child;
    if (!ItemAt(*children, i, &child)) return Search::kFailed;
    bool failed = false;
    const bool matches = Matches(*child, kDisplayCommand[i], &failed);
    if (failed) return Search::kFailed;
    if (!matches) return Search::kNotFound;
  }
  return ItemAt(*children, kDataChild, data) ? Search::kFound : Search::kFailed;
}

// Visits the InitCmd elements in document order; *data is the display data
// of the first display init command. The list's length is asked again
// before each item.
Search FindDisplayData(os::XmlDocument& document, std::unique_ptr<os::XmlNode>* data) {
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
    const Search match = MatchDisplayCommand(*command, data);
    if (match != Search::kNotFound) return match;
  }
}

// The display data with the current lines, from what `data` holds now
// (*current). False on a DOM failure and for data too short for both lines:
// nothing may be written beyond its end. `secondLine` is null when the host
// name could not be read; the second line then keeps what the data holds.
bool ComposeUpdate(os::Text& text, os::XmlNode& data, const std::string& firstLine,
                   const std::string* secondLine, std::u16string* current,
                   std::u16string* updated) {
  if (os::Failed(data.Text(current))) return false;
  const std::string narrow = text.FromWide(*current);
  if (narrow.size() < kDisplayDataMinDigits) return false;
  const std::string second =
      secondLine ? *secondLine : narrow.substr(kSecondLineDigit, kDisplayLineDigits);
  *updated = text.ToWide(ComposeDisplayData(narrow, firstLine, second));
  return true;
}

// Finds the first display init command, composes its new data and, when the
// data changed, puts it in and saves the file. kFailed stands for a DOM
// failure, a failed save and a display command whose data is too short (the
// command is the one sought, but its data is left alone).
Search UpdateFirstDisplayCommand(const os::Platform& platform, os::XmlDocument& document,
                                 const std::string& path, const std::string& firstLine,
                                 const std::string* secondLine) {
  std::unique_ptr<os::XmlNode> data;
  const Search found = FindDisplayData(document, &data);
  if (found != Search::kFound) return found;
  std::u16string current;
  std::u16string updated;
  if (!ComposeUpdate(platform.text, *data, firstLine, secondLine, &current, &updated)) {
    return Search::kFailed;
  }
  if (updated == current) return Search::kFound;
  if (os::Failed(data->PutText(updated)) ||
      !SaveAtomically(platform.files, document, path)) {
    return Search::kFailed;
  }
  return Search::kFound;
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
      RemoveSaveLeftovers(platform.files, path);
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
