#include "device/device_json.h"

#include <charconv>
#include <cstdio>
#include <exception>

#include "device/calendar.h"

namespace sim {
namespace {

// A string table id: decimal digits, at most 65535 (string resources are
// numbered in 16 bits).
std::optional<std::uint32_t> StringId(const std::string& text) {
  std::uint32_t id = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, id);
  if (text.empty() || error != std::errc() || stop != end || id > 0xFFFF) return std::nullopt;
  return id;
}

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

bool ParseAdapterAddress(const std::string& text, std::vector<std::uint8_t>* out) {
  out->clear();
  if (text.empty()) return true;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + 2 > text.size()) return false;
    unsigned v;
    if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &v) != 1) return false;
    out->push_back(static_cast<std::uint8_t>(v));
    i += 2;
    if (i < text.size()) {
      if (text[i] != '-' && text[i] != ':') return false;
      ++i;
    }
  }
  return true;
}

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

bool ReadImagePath(const Json& file, DeviceState* state, std::string*) {
  state->imagePath = file.value("imagePath", state->imagePath);
  return true;
}

bool ReadStartedBy(const Json& file, DeviceState* state, std::string* error) {
  state->startedBy = file.value("startedBy", state->startedBy);
  if (state->startedBy != "hand" && state->startedBy != "scm") {
    *error = "device.json: startedBy must be \"hand\" or \"scm\"";
    return false;
  }
  return true;
}

bool ReadNetwork(const Json& file, DeviceState* state, std::string* error) {
  state->hostName = file.value("hostName", state->hostName);
  ReadNullable(file, "pendingHostName", &state->pendingHostName);
  for (const auto& a : file.value("adapters", Json::array())) {
    SimAdapter adapter;
    adapter.description = a.value("description", "");
    if (!ParseAdapterAddress(a.value("address", ""), &adapter.address) ||
        adapter.address.size() > 8) {
      *error = "device.json: adapter address \"" + a.value("address", "") +
               "\" is not 0 to 8 hexadecimal bytes like 00-01-05-12-AB-3C";
      return false;
    }
    state->adapters.push_back(adapter);
  }
  ReadNullable(file, "adaptersError", &state->adaptersError);
  return true;
}

bool ReadWriteFilters(const Json& file, DeviceState* state, std::string*) {
  if (file.contains("fbwf")) {
    const Json& f = file["fbwf"];
    if (f.contains("status")) state->fbwfStatus = f["status"].get<std::uint32_t>();
    state->fbwfCurrent = f.value("current", 0u);
    state->fbwfNext = f.value("next", 0u);
  }
  if (file.contains("ewf") && !file["ewf"].is_null()) {
    std::vector<SimEwfVolume> volumes;
    for (const auto& v : file["ewf"]) {
      SimEwfVolume volume;
      volume.state = v.value("state", 0u);
      volume.openFails = v.value("openFails", false);
      ReadNullable(v, "configFails", &volume.configFails);
      ReadNullable(v, "closeFails", &volume.closeFails);
      volumes.push_back(volume);
    }
    state->ewf = volumes;
  }
  return true;
}

bool ReadClock(const Json& file, DeviceState* state, std::string* error) {
  if (file.contains("timeZone")) {
    state->timeZoneId = file["timeZone"].value("id", state->timeZoneId);
    state->daylightBias = file["timeZone"].value("daylightBias", state->daylightBias);
  }
  std::string localTime = file.value("localTime", "2026-01-15T08:00:00.000");
  if (!ParseLocalTime(localTime, &state->localTimeMs)) {
    *error = "device.json: localTime \"" + localTime + "\" is not like 2026-01-15T08:00:00.000";
    return false;
  }
  return true;
}

bool ReadPower(const Json& file, DeviceState* state, std::string*) {
  state->shutdownPrivilege = file.value("shutdownPrivilege", true);
  ReadNullable(file, "restartScheduled", &state->restartScheduled);
  ReadNullable(file, "shutdownInProgress", &state->shutdownInProgress);
  return true;
}

bool ReadUpnp(const Json& file, DeviceState* state, std::string*) {
  if (!file.contains("upnp")) return true;
  const Json& u = file["upnp"];
  SimUpnp& upnp = state->upnp;
  upnp.library = u.value("library", true);
  ReadNullable(u, "unregisterResult", &upnp.unregisterResult);
  ReadNullable(u, "registerResult", &upnp.registerResult);
  upnp.tool = u.value("tool", true);
  upnp.toolStartable = u.value("toolStartable", true);
  ReadNullable(u, "toolRunsSeconds", &upnp.toolRunsSeconds);
  return true;
}

// The script of what reaches the job thread's queue while it waits.
bool ReadMessages(const Json& file, DeviceState* state, std::string*) {
  for (const auto& m : file.value("messages", Json::array())) {
    SimMessage message;
    if (m.contains("timeChange")) {
      message.kind = SimMessage::kTimeChange;
      message.value = m["timeChange"].get<std::uint32_t>();
    } else if (m.contains("quit")) {
      message.kind = SimMessage::kQuit;
    } else {
      message.kind = SimMessage::kMessage;
      message.value = m.at("message").get<std::uint32_t>();
    }
    state->messages.push_back(message);
  }
  return true;
}

bool ReadServiceControls(const Json& file, DeviceState* state, std::string* error) {
  for (const auto& r : file.value("runningServices", Json::array())) {
    state->runningServices.push_back({r.at("name").get<std::string>(), r.value("stopMs", 0u)});
  }
  for (const auto& c : file.value("serviceControls", Json::array())) {
    SimServiceControl control;
    control.at = c.value("at", "duringJob");
    if (control.at != "duringJob" && control.at != "inWatch") {
      *error = "device.json: serviceControls \"at\" must be duringJob or inWatch";
      return false;
    }
    control.code = c.at("code").get<std::uint32_t>();
    state->serviceControls.push_back(control);
  }
  return true;
}

bool ReadProtectedKeys(const Json& file, DeviceState* state, std::string*) {
  for (const auto& k : file.value("protectedKeys", Json::array())) {
    state->protectedKeys.push_back(k.get<std::string>());
  }
  return true;
}

bool ReadReadOnlyFiles(const Json& file, DeviceState* state, std::string*) {
  for (const auto& f : file.value("readOnlyFiles", Json::array())) {
    state->readOnlyFiles.push_back(f.get<std::string>());
  }
  return true;
}

// The file's strings join the built-in table ({100: "VORN"}).
bool ReadStrings(const Json& file, DeviceState* state, std::string* error) {
  if (!file.contains("strings")) return true;
  for (const auto& [key, text] : file["strings"].items()) {
    const std::optional<std::uint32_t> id = StringId(key);
    if (!id) {
      *error = "device.json: string id \"" + key + "\" is not a whole number from 0 to 65535";
      return false;
    }
    state->strings[*id] = text.get<std::string>();
  }
  return true;
}

}  // namespace sim
