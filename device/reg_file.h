// registry.reg: the simulated registry in the format regedit exports
// ("Windows Registry Editor Version 5.00", UTF-16LE with a byte-order mark,
// CR LF). Reading and writing round-trip: a file read and written again is
// unchanged byte for byte when it is in the form regedit writes.
#pragma once

#include <string>

#include "device/hive.h"

namespace sim {

// Reads the whole file's bytes into `hive` (which should be empty). UTF-16LE
// with a byte-order mark, UTF-8, or Windows-1252 text are accepted. Returns
// false with a message naming the line when the text is not a registry
// export this reader understands; the hive is then incomplete.
bool ParseRegFile(const std::string& bytes, Hive* hive, std::string* error);

// The file's bytes for `hive`, as regedit writes them.
std::string WriteRegFile(Hive& hive);

// The value's data in regedit's notation, on one line, as UTF-8 text:
// "text", dword:0000002a, hex:00,01, hex(2):25,00,...
std::string RegValueText(const HiveValue& value);

}  // namespace sim
