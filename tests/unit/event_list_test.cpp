// The event list of docs/field-notes.md against the texts the product
// reports: every text the code can report, with its type, is in the list,
// and the list names nothing the code does not report.
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Event = std::pair<std::string, std::string>;  // type, text as written in C++

// The event types by the name the code uses.
std::string TypeName(const std::string& constant) {
  if (constant == "EVENTLOG_ERROR_TYPE") return "Error";
  if (constant == "EVENTLOG_WARNING_TYPE") return "Warning";
  if (constant == "EVENTLOG_INFORMATION_TYPE") return "Information";
  return "";  // a trace or a type passed on: not a report of its own
}

// Everything a reporting call can report in one source file. The calls:
//   Report(TYPE, "literal"), ReportText(TYPE, kConstant),
//   Log("literal", TYPE), Log(buffer, TYPE) after snprintf(buffer, ..., "format"),
//   LogEvent("literal") (always information).
std::set<Event> EventsIn(const std::string& source) {
  static const std::regex constant(R"re(constexpr char (k\w+)\[\] =\s*"((?:[^"\\]|\\.)*)";)re");
  static const std::regex format(
      R"re(snprintf\((\w+), sizeof \w+,\s*"((?:[^"\\]|\\.)*)")re");
  static const std::regex call(
      R"re(\b(Report|ReportText|Log|LogEvent)\((\w+|"(?:[^"\\]|\\.)*")(?:,\s*(\w+|"(?:[^"\\]|\\.)*"))?\);)re");
  std::map<std::string, std::string> constants;
  for (std::sregex_iterator m(source.begin(), source.end(), constant), end; m != end; ++m) {
    constants[(*m)[1]] = (*m)[2];
  }
  // The last format written into each buffer before the call.
  std::map<std::ptrdiff_t, std::pair<std::string, std::string>> formats;
  for (std::sregex_iterator m(source.begin(), source.end(), format), end; m != end; ++m) {
    formats[m->position()] = {(*m)[1], (*m)[2]};
  }
  auto text = [&](const std::string& argument, std::ptrdiff_t at) -> std::string {
    if (argument.front() == '"') return argument.substr(1, argument.size() - 2);
    if (constants.count(argument)) return constants[argument];
    std::string found;
    for (const auto& [position, written] : formats) {
      if (position < at && written.first == argument) found = written.second;
    }
    return found;
  };
  std::set<Event> events;
  for (std::sregex_iterator m(source.begin(), source.end(), call), end; m != end; ++m) {
    const std::string name = (*m)[1];
    const std::string first = (*m)[2];
    const std::string second = (*m)[3];
    Event event;
    if (name == "LogEvent") event = {"Information", text(first, m->position())};
    if (name == "Log") event = {TypeName(second), text(first, m->position())};
    if (name == "Report" || name == "ReportText") {
      event = {TypeName(first), text(second, m->position())};
    }
    if (!event.first.empty() && !event.second.empty()) events.insert(event);
  }
  return events;
}

std::set<Event> EventsInCode() {
  std::set<Event> events;
  for (const char* folder : {"host", "tasks", "common"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(VORN_SOURCE_DIR) / folder)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".cpp" || name.ends_with("_test.cpp")) continue;
      events.merge(EventsIn(sim::ReadAll(entry.path())));
    }
  }
  return events;
}

// The rows of the event table: "| Type | `text` | ...", the text as the
// code writes it (escapes such as \n kept).
std::set<Event> EventsInFieldNotes() {
  static const std::regex row(R"re(^\| (Error|Warning|Information) \| `([^`]*)` \|)re");
  const std::string doc = sim::ReadAll(fs::path(VORN_SOURCE_DIR) / "docs/field-notes.md");
  std::set<Event> events;
  std::istringstream lines(doc);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, row)) events.insert({m[1], m[2]});
  }
  return events;
}

std::string Listed(const std::set<Event>& events) {
  std::string out;
  for (const auto& [type, text] : events) out += "\n  " + type + ": " + text;
  return out;
}

TEST(FieldNotes, TheEventListIsEveryTextTheCodeReportsWithItsType) {
  const std::set<Event> code = EventsInCode();
  const std::set<Event> doc = EventsInFieldNotes();
  // The scan itself must see the reports it is meant to find.
  ASSERT_TRUE(code.count({"Information", "VORN completed successfully"}));
  ASSERT_TRUE(code.count({"Error", "Unexpected error while setting display string."}));
  ASSERT_TRUE(code.count({"Information", "The computer name was changed from %s to %s\\n"}));
  std::set<Event> missing;
  std::set<Event> extra;
  std::set_difference(code.begin(), code.end(), doc.begin(), doc.end(),
                      std::inserter(missing, missing.end()));
  std::set_difference(doc.begin(), doc.end(), code.begin(), code.end(),
                      std::inserter(extra, extra.end()));
  EXPECT_TRUE(missing.empty()) << "reported but not in docs/field-notes.md:" << Listed(missing);
  EXPECT_TRUE(extra.empty()) << "in docs/field-notes.md but never reported:" << Listed(extra);
}

// The scanner reads each form of reporting call, and a trace is no event.
TEST(FieldNotes, TheScanReadsEveryFormOfReport) {
  const std::set<Event> events = EventsIn(R"(
    constexpr char kEventX[] = "from a constant";
    events.Report(EVENTLOG_WARNING_TYPE, "a literal");
    events.ReportText(EVENTLOG_ERROR_TYPE, kEventX);
    Log("a trace", kTraceType);
    std::snprintf(message, sizeof message, "first %s", name);
    std::snprintf(message, sizeof message,
                  "second %s\n", name);
    Log(message, EVENTLOG_INFORMATION_TYPE);
    LogEvent("from the service");
  )");
  EXPECT_EQ(events, (std::set<Event>{{"Warning", "a literal"},
                                     {"Error", "from a constant"},
                                     {"Information", "second %s\\n"},
                                     {"Information", "from the service"}}));
}

}  // namespace
}  // namespace vorn
