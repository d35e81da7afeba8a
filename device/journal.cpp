#include "device/journal.h"

#include <fstream>
#include <iostream>

#include "device/device.h"
#include "device/journal_text.h"

namespace sim {

void RunJournal::Add(Json record) {
  if (echo_) std::cerr << "vorn-sim: " << DescribeRecord(record) << "\n";
  records_.push_back(std::move(record));
}

bool RunJournal::AppendTo(const std::filesystem::path& file, std::string* error) {
  std::ofstream out(file, std::ios::app | std::ios::binary);
  if (!out) {
    *error = "cannot append " + file.filename().string();
    return false;
  }
  for (; appended_ < records_.size(); ++appended_) out << records_[appended_].dump() << "\n";
  return static_cast<bool>(out);
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

void Device::Journal(Json record) {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  if (cut_) return;  // nothing happens on a device without power
  const std::string kind = record.value("kind", "");
  journal_.Add(std::move(record));
  // Journaled after the change is made: a cut here keeps it.
  if (state_.powerCutCountsRegistry && (kind == "registryWrite" || kind == "computerNameSet")) {
    DiskStep(kind);
  }
}

std::vector<Json> Device::JournalRecords() {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  return journal_.records();
}

}  // namespace sim
