// device.json, read one section at a time. ReadDeviceJson runs the
// section readers in the order below; they sit in device_json.cpp, apart
// from those of the parts the device model itself plays (fault injection,
// the power cut). A new section: its field in DeviceState, its reader
// declared here and written in device_json.cpp, one line in the list.
#pragma once

#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "device/device.h"

namespace sim {

// Fills `state` from the parsed file. False with a message naming the file
// for a value the device cannot have; a value of the wrong JSON type is
// reported in the JSON library's words ("device.json: [json.exception...").
bool ReadDeviceJson(const Json& file, DeviceState* state, std::string* error);

// An adapter address as device.json writes it: "00-01-05-12-AB-3C" or with
// ':' between the bytes; "" is no bytes. False for anything else.
bool ParseAdapterAddress(const std::string& text, std::vector<std::uint8_t>* out);

// A section reader gets the whole file: a part of the device may span
// several top-level fields. It returns false with *error set for a value it
// refuses, and may throw for a value of the wrong JSON type.
using SectionReader = bool (*)(const Json& file, DeviceState* state, std::string* error);

bool ReadImagePath(const Json&, DeviceState*, std::string*);
bool ReadStartedBy(const Json&, DeviceState*, std::string*);
bool ReadNetwork(const Json&, DeviceState*, std::string*);
bool ReadWriteFilters(const Json&, DeviceState*, std::string*);
bool ReadClock(const Json&, DeviceState*, std::string*);
bool ReadPower(const Json&, DeviceState*, std::string*);
bool ReadUpnp(const Json&, DeviceState*, std::string*);
bool ReadMessages(const Json&, DeviceState*, std::string*);
bool ReadServiceControls(const Json&, DeviceState*, std::string*);
bool ReadProtectedKeys(const Json&, DeviceState*, std::string*);
bool ReadFaults(const Json&, DeviceState*, std::string*);  // fault_injection.cpp
bool ReadPowerCut(const Json&, DeviceState*, std::string*);  // power_cut.cpp
bool ReadStrings(const Json&, DeviceState*, std::string*);
bool ReadReadOnlyFiles(const Json&, DeviceState*, std::string*);

// A field that may be null: absent, it keeps its default; null, it is
// empty; else it holds the value.
template <typename T>
void ReadNullable(const Json& section, const char* name, std::optional<T>* field) {
  if (!section.contains(name)) return;
  const Json& value = section[name];
  if (value.is_null()) {
    field->reset();
  } else {
    *field = value.get<T>();
  }
}

}  // namespace sim
