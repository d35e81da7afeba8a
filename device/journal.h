// The journal of a run: one JSON record for each thing the device showed
// the outside world (an event, a message box, a registry write, a file
// replaced, ...), in the order it happened. The records stay in memory
// while the run goes on and are appended to the folder's journal.jsonl when
// the device is saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

// Key order kept: the records read as they were written.
using Json = nlohmann::ordered_json;

// Not locked: the device serialises its use.
class RunJournal {
 public:
  // Appends one record; echoes it readably on standard error when echo is on.
  void Add(Json record);
  const std::vector<Json>& records() const { return records_; }

  // Appends the records not appended yet to `file`, one a line. False with a
  // message when the file cannot be opened.
  bool AppendTo(const std::filesystem::path& file, std::string* error);

  void set_echo(bool echo) { echo_ = echo; }
  bool echo() const { return echo_; }

 private:
  std::vector<Json> records_;
  std::size_t appended_ = 0;
  bool echo_ = false;
};

// Hex text of bytes, lower case without separators ("0a1b"), as the
// records carry registry data.
std::string HexBytes(const std::uint8_t* data, std::size_t size);

}  // namespace sim
