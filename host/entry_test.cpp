#include "host/entry.h"

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

constexpr char kExe[] = "C:\\WINDOWS\\system32\\VORN.EXE";

// The simulated code page has no lead bytes; this one treats 0x81..0x9F as
// lead bytes, as Shift-JIS does.
class DbcsText : public sim::SimText {
 public:
  bool IsLeadByte(std::uint8_t b) override { return b >= 0x81 && b <= 0x9F; }
};

Verb Parse(const std::string& arguments) {
  sim::SimText text;
  return ParseVerb(text, std::string(kExe) + " " + arguments);
}

TEST(CommandLine, VerbsIgnoreCaseAndTakeEitherDelimiter) {
  EXPECT_EQ(Parse("-regserver"), Verb::kRegServer);
  EXPECT_EQ(Parse("/REGSERVER"), Verb::kRegServer);
  EXPECT_EQ(Parse("-UnregServer"), Verb::kUnregServer);
  EXPECT_EQ(Parse("/service"), Verb::kService);
  EXPECT_EQ(Parse("-EnableDST"), Verb::kEnableDst);
  EXPECT_EQ(Parse("/disabledst"), Verb::kDisableDst);
  EXPECT_EQ(Parse("-Version"), Verb::kVersion);
  EXPECT_EQ(Parse("/version"), Verb::kVersion);
}

TEST(CommandLine, ATokenIsTheWholeRemainderOfTheLine) {
  // "RegServer -Service" matches nothing; the next token "Service" does.
  EXPECT_EQ(Parse("-RegServer -Service"), Verb::kService);
  EXPECT_EQ(Parse("-RegServer "), Verb::kNone);
  EXPECT_EQ(Parse("--Service"), Verb::kService);
  EXPECT_EQ(Parse("-x -y"), Verb::kNone);
  EXPECT_EQ(Parse(""), Verb::kNone);
  EXPECT_EQ(Parse("RegServer"), Verb::kNone);
  EXPECT_EQ(Parse("---"), Verb::kNone);
}

TEST(CommandLine, VersionCountsOnlyAsTheFirstToken) {
  EXPECT_EQ(Parse("-x -Version"), Verb::kNone);
  sim::SimText text;
  // A hyphen in the program's own path makes the first token part of it.
  EXPECT_EQ(ParseVerb(text, "C:\\Program-Files\\VORN.EXE -Version"), Verb::kNone);
  EXPECT_EQ(ParseVerb(text, "C:\\Program-Files\\VORN.EXE -Service"), Verb::kService);
}

TEST(CommandLine, DoubleByteCharactersAreSteppedOverWhole) {
  DbcsText text;
  // 0x81 0x2D is one character whose trail byte happens to be '-'.
  const std::string line = std::string(kExe) + " \x81-Service";
  EXPECT_EQ(NextToken(text, line, 0, "-/"), std::string::npos);
  sim::SimText plain;
  EXPECT_EQ(ParseVerb(plain, line), Verb::kService);
  // A lead byte at the very end does not step past the line.
  EXPECT_EQ(NextToken(text, "abc\x81", 0, "-/"), std::string::npos);
}

TEST(ProcessEntry, VersionPrintsAndDoesNothingElse) {
  sim::TestDevice device;
  EXPECT_EQ(device.Run("-Version"), 0);
  auto out = device.Records("stdout");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["text"], "FBWF Support");
  EXPECT_TRUE(device.Records("event").empty());
  EXPECT_TRUE(device.Records("registryWrite").empty());
}

TEST(ProcessEntry, WithoutTheAppIdKeyTheStatusIsTheExitCode) {
  sim::TestDevice device;
  EXPECT_EQ(device.Run(), 2);
  EXPECT_TRUE(device.Records("event").empty());
  EXPECT_TRUE(device.Records("messageBox").empty());

  sim::TestDevice noSubKey("[HKEY_CLASSES_ROOT\\AppID]\r\n\r\n");
  EXPECT_EQ(noSubKey.Run(), 2);

  sim::TestDevice denied("[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n\r\n",
                         R"({"faults":[{"call":"RegOpenKeyExA","occurrence":2,"error":5}]})");
  EXPECT_EQ(denied.Run(), 5);
  EXPECT_TRUE(denied.Records("event").empty());
}

constexpr char kAppIdKey[] =
    "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n@=\"VORN\"\r\n";

TEST(ProcessEntry, UnknownVerbsTakeTheDefaultPathAndRunTheJob) {
  sim::TestDevice device(std::string(kAppIdKey) + "\r\n");
  EXPECT_EQ(device.Run("-x /y"), 0);
  auto events = device.Records("event");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["text"], "No imageinformations were found in the registry");
  EXPECT_EQ(events[0]["type"], 1);
  EXPECT_EQ(events[0]["source"], "VORN");
}

TEST(ProcessEntry, LocalServiceChoosesServiceModeWhichFallsBackByHand) {
  // Started by hand, the dispatcher cannot be reached: the job runs in the
  // process and no status is reported.
  for (const char* value : {"\"LocalService\"=\"VORN\"\r\n",
                            "\"LocalService\"=hex(2):56,00,00,00\r\n",
                            "\"LocalService\"=hex(1):56,00\r\n"}) {
    sim::TestDevice device(std::string(kAppIdKey) + value + "\r\n");
    EXPECT_EQ(device.Run(), 0) << value;
    EXPECT_EQ(device.Records("event").size(), 1u) << value;
    EXPECT_TRUE(device.Records("serviceStatus").empty()) << value;
  }
}

TEST(ProcessEntry, ServiceModeReportsRunningBeforeTheJobAndStoppedAfter) {
  sim::TestDevice device(std::string(kAppIdKey) + "\"LocalService\"=\"VORN\"\r\n\r\n",
                         R"({"startedBy": "scm"})");
  EXPECT_EQ(device.Run(), 0);
  std::vector<std::string> sequence;
  for (auto& r : device.device().JournalRecords()) {
    if (r["kind"] == "serviceStatus") sequence.push_back(r["state"]);
    if (r["kind"] == "event") sequence.push_back("event");
  }
  EXPECT_EQ(sequence, (std::vector<std::string>{"SERVICE_START_PENDING", "SERVICE_RUNNING",
                                                "event", "SERVICE_STOPPED"}));
}

TEST(ProcessEntry, ServiceNameComesFromTheStringResource) {
  sim::TestDevice device("", R"({"strings": {"100": "OTHER"}})");
  device.Reload();
  EventReporter events(device.platform().eventLog);
  os::Platform platform = device.platform();
  CServiceModule module(platform, events);
  module.Init(kServiceNameResource);
  EXPECT_STREQ(module.serviceName, "OTHER");
  module.LogEvent("Bad service request");
  events.Report(EVENTLOG_INFORMATION_TYPE, "x");
  auto records = device.Records("event");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["source"], "OTHER");
  EXPECT_EQ(records[0]["type"], 4);
  EXPECT_EQ(records[1]["source"], "VORN");
}

}  // namespace
}  // namespace vorn
