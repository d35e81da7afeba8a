#include "device/device_json.h"

#include <exception>

namespace sim {
namespace {

// The order the file documents its fields in; with two bad sections the
// first one's message is given.
const SectionReader kSectionReaders[] = {
    ReadImagePath, ReadStartedBy, ReadNetwork, ReadWriteFilters, ReadClock,
    ReadPower, ReadUpnp, ReadMessages, ReadServiceControls, ReadProtectedKeys,
    ReadReadOnlyFiles, ReadFaults, ReadPowerCut, ReadStrings,
};

// The numbers device.json may hold: whole numbers that fit 32 bits,
// negative only where the field is signed, fractions only for a duration.
// Checked over the whole file before any section reads a number: anything
// else would wrap or be undefined in the conversion to the field.
bool CheckNumbers(const Json& j, const std::string& name, std::string* error) {
  if (j.is_object()) {
    for (const auto& [key, value] : j.items()) {
      if (!CheckNumbers(value, key, error)) return false;
    }
    return true;
  }
  if (j.is_array()) {
    for (const auto& value : j) {
      if (!CheckNumbers(value, name, error)) return false;
    }
    return true;
  }
  if (!j.is_number()) return true;
  const bool fraction = name == "toolRunsSeconds";
  const bool isSigned =
      name == "daylightBias" || name == "unregisterResult" || name == "registerResult";
  bool ok;
  if (j.is_number_float()) {
    const double v = j.get<double>();
    ok = fraction && v >= 0 && v <= 4e6;
  } else if (j.is_number_unsigned()) {
    // An HRESULT may be written as its unsigned value (2147500037).
    ok = j.get<std::uint64_t>() <= (name == "daylightBias" ? 0x7FFFFFFFu : 0xFFFFFFFFu);
  } else {
    const std::int64_t v = j.get<std::int64_t>();
    ok = isSigned ? v >= INT32_MIN && v <= INT32_MAX : v >= 0 && v <= 0xFFFFFFFFLL;
  }
  if (!ok) {
    *error = "device.json: \"" + name + "\" must be " +
             (fraction ? "a number of seconds" : isSigned ? "a 32-bit whole number"
                                                          : "a whole number from 0 to 4294967295") +
             ", not " + j.dump();
  }
  return ok;
}

}  // namespace

bool ReadDeviceJson(const Json& file, DeviceState* state, std::string* error) {
  if (!CheckNumbers(file, "", error)) return false;
  try {
    for (SectionReader read : kSectionReaders) {
      if (!read(file, state, error)) return false;
    }
  } catch (const std::exception& e) {
    *error = std::string("device.json: ") + e.what();
    return false;
  }
  return true;
}

}  // namespace sim
