// Journal records in words: one line of text per record, for the echo of a
// run on standard error and for the plan of a boot. The records themselves
// stay JSON in journal.jsonl.
#pragma once

#include <cstdint>
#include <string>

#include "device/journal.h"

namespace sim {

// One line describing the record ("event (information) VORN: ...",
// "registry set HKEY_LOCAL_MACHINE\...\Name = "text"", "file replace
// C:\Quorvex\DefaultConfig.xml (1669 bytes)"); an unknown kind as its JSON.
std::string DescribeRecord(const Json& record);

// "error", "warning", "information", or the number for another type.
std::string EventTypeName(std::uint32_t type);

// Text on one line: trailing line breaks dropped, inner ones shown as " / ".
std::string OneLine(const std::string& text);

// The registry value a registryWrite record's hex data describes, in
// regedit's notation ("text", dword:..., hex:...).
std::string RegistryDataText(std::uint32_t type, const std::string& hexData);

}  // namespace sim
