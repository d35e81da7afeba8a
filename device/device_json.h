// device.json, read one section at a time. Each section's reader sits
// beside the part of the device it fills; ReadDeviceJson runs them in the
// order below. A new section: its reader beside its part, declared here,
// and one line in device_json.cpp's list.
#pragma once

#include <optional>
#include <string>

#include "device/device.h"

namespace sim {

// Fills `state` from the parsed file. False with a message naming the file
// for a value the device cannot have; a value of the wrong JSON type is
// reported in the JSON library's words ("device.json: [json.exception...").
bool ReadDeviceJson(const Json& file, DeviceState* state, std::string* error);

// A section reader gets the whole file: a part of the device may span
// several top-level fields. It returns false with *error set for a value it
// refuses, and may throw for a value of the wrong JSON type.
using SectionReader = bool (*)(const Json& file, DeviceState* state, std::string* error);

bool ReadImagePath(const Json&, DeviceState*, std::string*);        // sim_host.cpp
bool ReadStartedBy(const Json&, DeviceState*, std::string*);        // sim_services.cpp
bool ReadNetwork(const Json&, DeviceState*, std::string*);          // sim_network.cpp
bool ReadWriteFilters(const Json&, DeviceState*, std::string*);     // sim_write_filters.cpp
bool ReadClock(const Json&, DeviceState*, std::string*);            // sim_clock.cpp
bool ReadPower(const Json&, DeviceState*, std::string*);            // sim_power.cpp
bool ReadUpnp(const Json&, DeviceState*, std::string*);             // sim_modules.cpp
bool ReadMessages(const Json&, DeviceState*, std::string*);         // sim_host.cpp
bool ReadServiceControls(const Json&, DeviceState*, std::string*);  // sim_services.cpp
bool ReadProtectedKeys(const Json&, DeviceState*, std::string*);    // sim_registry.cpp
bool ReadFaults(const Json&, DeviceState*, std::string*);           // fault_injection.cpp
bool ReadPowerCut(const Json&, DeviceState*, std::string*);         // power_cut.cpp
bool ReadStrings(const Json&, DeviceState*, std::string*);          // sim_resources.cpp
bool ReadReadOnlyFiles(const Json&, DeviceState*, std::string*);    // sim_files.cpp

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
