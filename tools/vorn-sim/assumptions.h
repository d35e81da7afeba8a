// What a preview takes for granted: the device conditions a device folder
// leaves to the defaults (no device.json, or one without some fields), and
// the adapters and computer name given on vorn-sim plan's command line in
// their place.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "device/journal.h"

namespace sim {

// A condition of the device the folder does not give. `field` names it as
// device.json does ("adapters", "hostName", "writeFilter", "timeZone",
// "bootConfiguration"); `text` says what the plan takes instead.
struct Assumption {
  std::string field;
  std::string text;
};

// The adapters and computer name of the command line, for the plan only.
struct DeviceOverrides {
  std::vector<Json> adapters;  // device.json's form: {"description", "address"}
  std::optional<std::string> hostName;
};

// "--adapter" takes "MAC[,DESCRIPTION]": six bytes in hexadecimal with '-'
// or ':' between them, then after the first comma the adapter's
// description. False with a message for anything else.
bool ParseAdapterOption(const std::string& text, Json* adapter, std::string* error);
// A computer name the device could hold: 1 to 15 characters, no spaces or
// control characters (a longer one does not fit the system's buffer).
bool CheckHostNameOption(const std::string& name, std::string* error);

// Writes the overrides into the device.json of a folder (a private copy:
// vorn-sim plan never writes the engineer's folder).
bool ApplyOverrides(const std::filesystem::path& folder, const DeviceOverrides& overrides,
                    std::string* error);

// The conditions the folder leaves to the defaults, in a fixed order.
// Read after the overrides are applied, so a value given on the command
// line is not among them.
bool DeviceAssumptions(const std::filesystem::path& folder, std::vector<Assumption>* assumed,
                       std::string* error);

}  // namespace sim
