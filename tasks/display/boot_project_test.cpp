#include "tasks/display/boot_project.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/testing.h"
#include "tasks/display/display_text.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using sim::ReadAll;

constexpr char kRegistry[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex]\r\n"
    "\"InstallationPath\"=\"C:\\\\Quorvex\"\r\n\r\n";
constexpr char kConfig[] = "c/Quorvex/DefaultConfig.xml";
constexpr char kText[] = "KQ5020 XPE v2.1\n";

// 100 digits: upper case outside the lines, stale lines inside.
const std::string kOldData = "0A0000000100000014000000" + std::string(68, 'E') + "C8000000";

std::string NewData(const std::string& old = kOldData, const char* host = "HOST1") {
  return ComposeDisplayData(old, EncodeDisplayLine("KQ5020 XPE v2.1"),
                            EncodeDisplayLine((std::string("Name: ") + host).c_str()));
}

std::string Command(const std::string& children) { return "<InitCmd>" + children + "</InitCmd>"; }

std::string DisplayCommand(const std::string& data = kOldData,
                           const std::string& port = "<port>300</port>") {
  return Command("<key>Init1\\IO: Create Devices</key>" + port +
                 "<iGrp>20481</iGrp><iOffs>33</iOffs><data>" + data +
                 "</data><comment>LCD</comment>");
}

std::string Project(const std::string& commands) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QvBootProject>\n  <InitCmds>" +
         commands + "</InitCmds>\n</QvBootProject>\n";
}

class BootProject : public ::testing::Test {
 protected:
  explicit BootProject(const std::string& deviceJson = R"({"hostName": "HOST1"})",
                       const std::string& registry = kRegistry)
      : device_(registry, deviceJson) {}

  bool Update(const char* text = kText) {
    EventReporter events(device_.platform().eventLog);
    return UpdateDisplayText(device_.platform(), events, text);
  }
  void WriteConfig(const std::string& xml) { device_.Write(kConfig, xml); }
  std::string Config() { return ReadAll(device_.folder() / kConfig); }
  std::vector<std::string> Events() {
    std::vector<std::string> texts;
    for (auto& r : device_.Records("event")) texts.push_back(r["text"]);
    return texts;
  }
  std::vector<std::string> FileOps() {
    std::vector<std::string> ops;
    for (auto& r : device_.Records("fileWrite")) {
      ops.push_back(r["op"].get<std::string>() + " " + r["path"].get<std::string>());
    }
    return ops;
  }
  std::vector<std::string> FolderFiles() {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(device_.folder() / "c/Quorvex")) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }

  sim::TestDevice device_;
};

TEST_F(BootProject, WritesBothLinesAndSavesThroughANewFile) {
  const std::string old = Project(Command("<key>x</key>") + DisplayCommand());
  WriteConfig(old);
  EXPECT_TRUE(Update());
  EXPECT_TRUE(Events().empty());
  std::string expected = old;
  expected.replace(expected.find(kOldData), kOldData.size(), NewData());
  EXPECT_EQ(Config(), expected);
  EXPECT_EQ(FileOps(), (std::vector<std::string>{
                           "write C:\\Quorvex\\DefaultConfig.xml.new",
                           "replace C:\\Quorvex\\DefaultConfig.xml"}));
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"DefaultConfig.xml"});
}

TEST_F(BootProject, CurrentDataIsNotSaved) {
  const std::string current = Project(DisplayCommand(NewData()));
  WriteConfig(current);
  const auto stamp = fs::last_write_time(device_.folder() / kConfig);
  EXPECT_TRUE(Update());
  EXPECT_EQ(Config(), current);
  EXPECT_EQ(fs::last_write_time(device_.folder() / kConfig), stamp);
  EXPECT_TRUE(FileOps().empty());
  EXPECT_TRUE(Events().empty());
}

TEST_F(BootProject, UpperCaseLineDigitsAreRewrittenInLowerCase) {
  std::string upper = NewData();
  for (std::size_t i = 24; i < 92; ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
  ASSERT_NE(upper, NewData());
  WriteConfig(Project(DisplayCommand(upper)));
  EXPECT_TRUE(Update());
  EXPECT_NE(Config().find(NewData()), std::string::npos);
}

TEST_F(BootProject, OnlyExactlySixChildElementsWithExactNamesAndTextsMatch) {
  const std::string commands =
      // five and seven child elements
      Command("<key>Init1\\IO: Create Devices</key><port>300</port><iGrp>20481</iGrp>"
              "<iOffs>33</iOffs><data>" + kOldData + "</data>") +
      Command("<key>Init1\\IO: Create Devices</key><port>300</port><iGrp>20481</iGrp>"
              "<iOffs>33</iOffs><data>" + kOldData + "</data><a/><b/>") +
      DisplayCommand(kOldData, "<Port>300</Port>") +
      Command("<key>Init1\\IO: Create Devices</key><port>300</port><iGrp>0x5001</iGrp>"
              "<iOffs>33</iOffs><data>" + kOldData + "</data><c/>") +
      Command("<key>init1\\IO: Create Devices</key><port>300</port><iGrp>20481</iGrp>"
              "<iOffs>33</iOffs><data>" + kOldData + "</data><c/>");
  const std::string xml = Project(commands);
  WriteConfig(xml);
  EXPECT_FALSE(Update());
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(Config(), xml);
  EXPECT_TRUE(FileOps().empty());
}

TEST_F(BootProject, CommentsWhiteSpaceAndPrefixesDoNotHideTheCommand) {
  // Issue-10 layout: white space around every compared text and the data.
  const std::string xml =
      "<?xml version=\"1.0\"?>\r\n<QvBootProject xmlns:p=\"urn:p\"><InitCmds>\r\n"
      "<InitCmd>\r\n  <!-- display -->\r\n  <key> Init1\\IO: Create Devices </key>\r\n"
      "  <p:port>\r\n    300\r\n  </p:port>\r\n  <iGrp> 20481</iGrp>\r\n"
      "  <!-- offset --><iOffs>33 </iOffs>\r\n  <data>\r\n    " + kOldData +
      "\r\n  </data>\r\n  <x:any xmlns:x=\"urn:x\">?</x:any>\r\n</InitCmd>\r\n"
      "</InitCmds></QvBootProject>\r\n";
  WriteConfig(xml);
  EXPECT_TRUE(Update());
  std::string expected = xml;
  const std::string oldContent = "\r\n    " + kOldData + "\r\n  ";
  expected.replace(expected.find(oldContent), oldContent.size(), NewData());
  EXPECT_EQ(Config(), expected);
}

TEST_F(BootProject, OnlyTheFirstOfTwoDisplayCommandsIsUpdated) {
  const std::string second = "1111111111111111111111111111" + kOldData.substr(28);
  WriteConfig(Project(DisplayCommand() + DisplayCommand(second)));
  EXPECT_TRUE(Update());
  const std::string config = Config();
  EXPECT_NE(config.find(NewData()), std::string::npos);
  EXPECT_NE(config.find("<data>" + second + "</data>"), std::string::npos);
}

TEST_F(BootProject, ShortDataIsLeftAloneAndFails) {
  const std::string xml = Project(DisplayCommand(kOldData.substr(0, 91)));
  WriteConfig(xml);
  EXPECT_FALSE(Update());
  EXPECT_EQ(Events(), std::vector<std::string>{"Unexpected error while setting display string."});
  EXPECT_EQ(Config(), xml);
}

TEST_F(BootProject, MissingMalformedOrForeignFilesAreNotWritten) {
  EXPECT_FALSE(Update());
  EXPECT_EQ(Events(), std::vector<std::string>{"Failed to load DefaultConfig.xml"});
  EXPECT_FALSE(fs::exists(device_.folder() / kConfig));
  EXPECT_TRUE(FileOps().empty());

  WriteConfig("<QvBootProject><InitCmds>");
  EXPECT_FALSE(Update());
  EXPECT_EQ(Events().size(), 2u);

  const std::string foreign =
      "<QvProject><InitCmds>" + DisplayCommand() + "</InitCmds></QvProject>";
  WriteConfig(foreign);
  EXPECT_FALSE(Update());
  EXPECT_EQ(Events().size(), 2u);  // no event for a document without the command
  EXPECT_EQ(Config(), foreign);
  EXPECT_TRUE(FileOps().empty());
}

class BootProjectNoHost : public BootProject {
 protected:
  BootProjectNoHost() : BootProject(R"({"hostName": "ABCDEFGHIJKLMNOPQ"})") {}
};

TEST_F(BootProjectNoHost, SecondLineKeepsWhatTheDataHeld) {
  WriteConfig(Project(DisplayCommand()));
  EXPECT_TRUE(Update("KQ5020 XPE v2.1\n\n"));  // the second line feed stays
  EXPECT_EQ(Events(), std::vector<std::string>{"Zentravise : Failed to get Computer name"});
  std::string expected = kOldData;
  expected.replace(24, 34, EncodeDisplayLine("KQ5020 XPE v2.1\n"));
  EXPECT_NE(Config().find("<data>" + expected + "</data>"), std::string::npos);
}

class BootProjectPaths : public BootProject {
 protected:
  BootProjectPaths()
      : BootProject(R"({"hostName": "HOST1"})",
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex]\r\n"
                    "\"InstallationPath\"=\"C:\\\\Quorvex\\\\\"\r\n\r\n") {}
};

TEST_F(BootProjectPaths, TrailingBackslashIsKeptAndMissingPathMeansTheDriveRoot) {
  WriteConfig(Project(DisplayCommand()));
  EXPECT_TRUE(Update());
  ASSERT_FALSE(FileOps().empty());
  EXPECT_EQ(FileOps().back(), "replace C:\\Quorvex\\\\DefaultConfig.xml");

  sim::TestDevice root("", R"({"hostName": "HOST1"})");
  root.Write("c/DefaultConfig.xml", Project(DisplayCommand()));
  EventReporter events(root.platform().eventLog);
  EXPECT_TRUE(UpdateDisplayText(root.platform(), events, kText));
  EXPECT_NE(ReadAll(root.folder() / "c/DefaultConfig.xml").find(NewData()), std::string::npos);

  // 64 characters do not fit the 64-byte buffer with their terminator.
  const std::string longPath = "C:\\\\" + std::string(61, 'q');
  sim::TestDevice tooLong("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex]\r\n"
                          "\"InstallationPath\"=\"" + longPath + "\"\r\n\r\n",
                          R"({"hostName": "HOST1"})");
  tooLong.Write("c/DefaultConfig.xml", Project(DisplayCommand()));
  tooLong.Write("c/" + std::string(61, 'q') + "/DefaultConfig.xml", Project(DisplayCommand()));
  EventReporter longEvents(tooLong.platform().eventLog);
  EXPECT_TRUE(UpdateDisplayText(tooLong.platform(), longEvents, kText));
  EXPECT_NE(ReadAll(tooLong.folder() / "c/DefaultConfig.xml").find(NewData()), std::string::npos);
}

// One injected failure per case: what the task answers and what the file
// holds afterwards.
struct FaultCase {
  const char* call;
  std::uint32_t error;
  bool result;
  const char* event;  // null: none
  bool fileUpdated;
  const char* leftover = nullptr;  // a file that may stay beside it
};

class BootProjectFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BootProjectFaults, EndAsTheTaskPromises) {
  const FaultCase& c = GetParam();
  // Every call of the kind fails: GetFileAttributesA, say, is asked both
  // whether the file is read-only and for the attributes the new file
  // takes over.
  sim::TestDevice device(kRegistry, std::string(R"({"hostName": "HOST1", "faults": [{"call": ")") +
                                        c.call + R"(", "occurrence": 0, "error": )" +
                                        std::to_string(c.error) + "}]}");
  const std::string old = Project(DisplayCommand());
  device.Write(kConfig, old);
  EventReporter events(device.platform().eventLog);
  EXPECT_EQ(UpdateDisplayText(device.platform(), events, kText), c.result);
  std::vector<std::string> texts;
  for (auto& r : device.Records("event")) texts.push_back(r["text"]);
  EXPECT_EQ(texts, c.event ? std::vector<std::string>{c.event} : std::vector<std::string>{});
  const std::string now = ReadAll(device.folder() / kConfig);
  EXPECT_EQ(now.find(NewData()) != std::string::npos, c.fileUpdated);
  if (!c.fileUpdated) EXPECT_EQ(now, old);
  // Whatever happened, nothing is left beside the file.
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(device.folder() / "c/Quorvex")) {
    names.push_back(e.path().filename().string());
  }
  std::vector<std::string> expected = {"DefaultConfig.xml"};
  if (c.leftover) expected.push_back(c.leftover);
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

constexpr char kUnexpected[] = "Unexpected error while setting display string.";
constexpr char kLoad[] = "Failed to load DefaultConfig.xml";
constexpr std::uint32_t kEFail = 0x80004005u;

INSTANTIATE_TEST_SUITE_P(
    Calls, BootProjectFaults,
    ::testing::Values(FaultCase{"CoCreateInstance", 0x80040154u, false, kLoad, false},
                      FaultCase{"IXMLDOMDocument::put_async", kEFail, false, kLoad, false},
                      FaultCase{"IXMLDOMDocument::load", kEFail, false, kLoad, false},
                      FaultCase{"IXMLDOMNode::selectNodes", kEFail, false, kUnexpected, false},
                      FaultCase{"IXMLDOMNodeList::get_length", kEFail, false, kUnexpected, false},
                      FaultCase{"IXMLDOMNodeList::get_item", kEFail, false, kUnexpected, false},
                      FaultCase{"IXMLDOMNode::get_baseName", kEFail, false, kUnexpected, false},
                      FaultCase{"IXMLDOMNode::get_text", kEFail, false, kUnexpected, false},
                      FaultCase{"IXMLDOMNode::put_text", kEFail, false, kUnexpected, false},
                      FaultCase{"IXMLDOMDocument::save", kEFail, false, kUnexpected, false},
                      FaultCase{"FlushFileBuffers", 5, false, kUnexpected, false},
                      // Without the old file's protection the new one does
                      // not take its place.
                      FaultCase{"GetFileAttributesA", 5, false, kUnexpected, false},
                      FaultCase{"GetFileSecurityA", 5, false, kUnexpected, false},
                      FaultCase{"SetFileAttributesA", 5, false, kUnexpected, false},
                      FaultCase{"SetFileSecurityA", 5, false, kUnexpected, false},
                      FaultCase{"MoveFileExA", 32, false, kUnexpected, false},
                      // The new file's name taken again after its removal.
                      FaultCase{"CreateFileA", 80, false, kUnexpected, false},
                      // The volume is flushed after the move: the name
                      // holds the new file however the flush ends.
                      FaultCase{"GetFullPathNameA", 5, true, nullptr, true}),
    [](const auto& info) {
      std::string name = info.param.call;
      name.erase(std::remove_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }),
                 name.end());
      return name;
    });

TEST(BootProjectSave, ANewFileThatCannotBeRemovedGoesOnTheNextRun) {
  sim::TestDevice device(kRegistry, R"({"hostName": "HOST1", "faults": [
      {"call": "MoveFileExA", "occurrence": 1, "error": 5},
      {"call": "DeleteFileA", "occurrence": 1, "error": 5}]})");
  const std::string old = Project(DisplayCommand());
  device.Write(kConfig, old);
  {
    EventReporter events(device.platform().eventLog);
    EXPECT_FALSE(UpdateDisplayText(device.platform(), events, kText));
  }
  EXPECT_EQ(ReadAll(device.folder() / kConfig), old);
  EXPECT_TRUE(fs::exists(device.folder() / "c/Quorvex/DefaultConfig.xml.new"));
  ASSERT_EQ(device.Records("event").size(), 1u);
  EXPECT_EQ(device.Records("event")[0]["text"], kUnexpected);

  EventReporter events(device.platform().eventLog);
  EXPECT_TRUE(UpdateDisplayText(device.platform(), events, kText));
  EXPECT_NE(ReadAll(device.folder() / kConfig).find(NewData()), std::string::npos);
  EXPECT_FALSE(fs::exists(device.folder() / "c/Quorvex/DefaultConfig.xml.new"));
  EXPECT_EQ(device.Records("event").size(), 1u);
}

// A configuration someone made read-only is neither replaced nor given a
// new file beside it; the task reports the failed update each boot.
TEST(BootProjectSave, AReadOnlyConfigurationIsLeftAsItIs) {
  sim::TestDevice device(kRegistry, R"({"hostName": "HOST1",
      "readOnlyFiles": ["C:\\quorvex\\defaultconfig.xml"]})");
  const std::string old = Project(DisplayCommand());
  device.Write(kConfig, old);
  for (int boot = 0; boot < 2; ++boot) {
    EventReporter events(device.platform().eventLog);
    EXPECT_FALSE(UpdateDisplayText(device.platform(), events, kText));
  }
  EXPECT_EQ(ReadAll(device.folder() / kConfig), old);
  EXPECT_FALSE(fs::exists(device.folder() / "c/Quorvex/DefaultConfig.xml.new"));
  const auto events = device.Records("event");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["text"], kUnexpected);
  EXPECT_EQ(events[1]["text"], kUnexpected);
  EXPECT_TRUE(device.Records("fileWrite").empty());
}

// What a save cut short may leave beside a missing configuration, and what
// the next run makes of it.
struct LeftoverCase {
  const char* what;
  const char* fresh;   // DefaultConfig.xml.new, null: none
  const char* backup;  // DefaultConfig.xml.bak, null: none
  const char* faults;
  const char* restored;  // which leftover the name gets, null: none
};

TEST(BootProjectRestore, AMissingConfigurationComesBackFromTheInterruptedSave) {
  const std::string fresh = Project(Command("<key>fresh</key>") + DisplayCommand());
  const std::string backup = Project(Command("<key>backup</key>") + DisplayCommand());
  const LeftoverCase cases[] = {
      {"cut between an earlier save's two renames", "new", "bak", "[]", "new"},
      {"only the new file", "new", nullptr, "[]", "new"},
      {"only the backup", nullptr, "bak", "[]", "bak"},
      {"the new file cannot move", "new", "bak",
       R"([{"call": "MoveFileExA", "occurrence": 1, "error": 5}])", "bak"},
      {"nothing left", nullptr, nullptr, "[]", nullptr},
  };
  for (const LeftoverCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim::TestDevice device(kRegistry,
                           std::string(R"({"hostName": "HOST1", "faults": )") + c.faults + "}");
    device.Write("c/Quorvex/keep.txt", "");  // the folder exists without the file
    if (c.fresh) device.Write(std::string(kConfig) + ".new", fresh);
    if (c.backup) device.Write(std::string(kConfig) + ".bak", backup);
    EventReporter events(device.platform().eventLog);
    const bool updated = UpdateDisplayText(device.platform(), events, kText);
    std::vector<std::pair<int, std::string>> seen;
    for (auto& r : device.Records("event")) {
      seen.emplace_back(r["type"].get<int>(), r["text"].get<std::string>());
    }
    std::vector<std::string> left;
    for (auto& e : fs::directory_iterator(device.folder() / "c/Quorvex")) {
      left.push_back(e.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    if (!c.restored) {
      EXPECT_FALSE(updated);
      EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{1, kLoad}}));
      EXPECT_EQ(left, std::vector<std::string>{"keep.txt"}) << "a missing file is not created";
      continue;
    }
    EXPECT_TRUE(updated);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{
                        {4, "Restored DefaultConfig.xml from an interrupted save"}}));
    const std::string now = ReadAll(device.folder() / kConfig);
    const std::string key = c.restored == std::string("new") ? "<key>fresh" : "<key>backup";
    EXPECT_NE(now.find(key), std::string::npos);
    EXPECT_NE(now.find(NewData()), std::string::npos);
    EXPECT_EQ(left, (std::vector<std::string>{"DefaultConfig.xml", "keep.txt"}));
  }
}

// Leftovers beside a configuration that is there: never read, never put in
// its place, removed once it has loaded; the configuration itself is
// updated as always.
TEST(BootProjectRestore, LeftoversBesideAPresentConfigurationAreRemovedUnread) {
  const std::string old = Project(DisplayCommand());
  const struct {
    const char* what;
    const char* faults;
    std::string fresh;   // DefaultConfig.xml.new
    std::string backup;  // DefaultConfig.xml.bak, empty: none
  } cases[] = {
      // A cut before the new file's flush leaves it short, beside the original.
      {"a short new file and a backup", "[]", old.substr(0, old.size() / 2), "<QvBootProject/>"},
      // FindFirstFileA fails once: the configuration looks missing.
      {"a configuration that seems missing",
       R"([{"call": "FindFirstFileA", "occurrence": 1, "error": 5}])",
       Project(Command("<key>stale</key>")), ""},
  };
  std::string expected = old;
  expected.replace(expected.find(kOldData), kOldData.size(), NewData());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::TestDevice device(kRegistry,
                           std::string(R"({"hostName": "HOST1", "faults": )") + c.faults + "}");
    device.Write(kConfig, old);
    device.Write(std::string(kConfig) + ".new", c.fresh);
    if (!c.backup.empty()) device.Write(std::string(kConfig) + ".bak", c.backup);
    EventReporter events(device.platform().eventLog);
    EXPECT_TRUE(UpdateDisplayText(device.platform(), events, kText));
    EXPECT_TRUE(device.Records("event").empty());
    EXPECT_EQ(ReadAll(device.folder() / kConfig), expected);
    EXPECT_FALSE(fs::exists(device.folder() / "c/Quorvex/DefaultConfig.xml.new"));
    EXPECT_FALSE(fs::exists(device.folder() / "c/Quorvex/DefaultConfig.xml.bak"));
  }
}

// A power cut after every disk step of the save: the file under its name
// is always either the old or the new one, complete.
TEST(BootProjectSave, PowerCutAtEveryStepLeavesTheOldOrTheNewFile) {
  const std::string old = Project(DisplayCommand());
  std::string updated = old;
  updated.replace(updated.find(kOldData), kOldData.size(), NewData());
  int cuts = 0, oldSeen = 0, newSeen = 0;
  for (int after = 1; after <= 8; ++after) {
    sim::TestDevice device(kRegistry, R"({"hostName": "HOST1", "powerCut": {"after": )" +
                                          std::to_string(after) + "}}");
    device.Write(kConfig, old);
    {
      EventReporter events(device.platform().eventLog);
      UpdateDisplayText(device.platform(), events, kText);
    }
    const bool cut = !device.Records("powerCut").empty();
    const std::string now = ReadAll(device.folder() / kConfig);
    EXPECT_TRUE(now == old || now == updated) << "cut after step " << after;
    if (!cut) continue;
    ++cuts;
    (now == old ? oldSeen : newSeen)++;

    // After the restart the next run completes the update.
    std::string error;
    ASSERT_TRUE(device.device().Save(&error)) << error;
    device.Reload();
    EventReporter events(device.platform().eventLog);
    EXPECT_TRUE(UpdateDisplayText(device.platform(), events, kText));
    EXPECT_EQ(ReadAll(device.folder() / kConfig), updated);
    EXPECT_FALSE(fs::exists(device.folder() / "c/Quorvex/DefaultConfig.xml.new"));
  }
  EXPECT_EQ(cuts, 4);  // write, flush, move, volume flush
  EXPECT_GT(oldSeen, 0);
  EXPECT_GT(newSeen, 0);
}

// The bundled example device, run as vorn-sim runs it.
TEST(BootProjectExample, FirstBootDeviceGetsTheCurrentDisplayLines) {
  sim::TestDevice device;
  const fs::path example = fs::path(VORN_SOURCE_DIR) / "examples/first-boot";
  fs::copy(example, device.folder(),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  device.Reload();
  const std::string before = ReadAll(device.folder() / kConfig);
  const std::size_t at = before.find("<data>\r\n        ");
  ASSERT_NE(at, std::string::npos);
  const std::size_t start = at + 16;
  const std::string oldData = before.substr(start, before.find('\r', start) - start);
  ASSERT_EQ(oldData.size(), 124u);

  device.Run();
  const std::string newData = NewData(oldData, "QZ_IPC");
  std::string expected = before;
  expected.replace(at + 6, oldData.size() + 18, newData);  // the data's white space goes
  EXPECT_EQ(ReadAll(device.folder() / kConfig), expected);
  EXPECT_NE(newData.find(EncodeDisplayLine("KQ5020 XPE v2.1")), std::string::npos);
  EXPECT_NE(newData.find(EncodeDisplayLine("Name: QZ_IPC")), std::string::npos);
}

// A file under the new file's name that the save did not make (a user may
// create files in the folder) is never written into: its owner and access
// list would go with it to the configuration.
TEST(BootProjectSave, ANewFileSomeoneElseMadeIsNeverTakenOver) {
  sim::TestDevice device(kRegistry, R"({"hostName": "HOST1", "faults": [
      {"call": "DeleteFileA", "occurrence": 0, "error": 5}]})");
  const std::string old = Project(DisplayCommand());
  device.Write(kConfig, old);
  device.Write("c/Quorvex/DefaultConfig.xml.new", "planted");
  EventReporter events(device.platform().eventLog);
  EXPECT_FALSE(UpdateDisplayText(device.platform(), events, kText));
  EXPECT_EQ(ReadAll(device.folder() / kConfig), old);
  EXPECT_EQ(ReadAll(device.folder() / "c/Quorvex/DefaultConfig.xml.new"), "planted");
  ASSERT_EQ(device.Records("event").size(), 1u);
  EXPECT_EQ(device.Records("event")[0]["text"], kUnexpected);
  EXPECT_TRUE(device.Records("fileWrite").empty());
}

// The rename is on the disk before the job goes on: the volume is flushed
// right after the move.
TEST(BootProjectSave, TheVolumeIsFlushedAfterTheMove) {
  sim::TestDevice device(kRegistry, R"({"hostName": "HOST1"})");
  device.Write(kConfig, Project(DisplayCommand()));
  EventReporter events(device.platform().eventLog);
  ASSERT_TRUE(UpdateDisplayText(device.platform(), events, kText));
  std::vector<std::string> steps;
  for (const auto& r : device.device().JournalRecords()) {
    if (r["kind"] == "fileWrite") steps.push_back(r["op"].get<std::string>() + " " +
                                                  r["path"].get<std::string>());
    if (r["kind"] == "volumeFlush") steps.push_back("flush " + r["volume"].get<std::string>());
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"write C:\\Quorvex\\DefaultConfig.xml.new",
                                             "replace C:\\Quorvex\\DefaultConfig.xml",
                                             "flush C:"}));
}

}  // namespace
}  // namespace vorn
