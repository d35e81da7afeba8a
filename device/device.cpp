#include "device/device.h"

#include "device/device_json.h"
#include "device/reg_file.h"
#include "device/calendar.h"
#include "device/whole_file.h"

namespace sim {
namespace fs = std::filesystem;

bool Device::Load(const fs::path& folder, std::string* error) {
  folder_ = folder;
  std::string bytes;
  if (!ReadFileBytes(folder / "registry.reg", &bytes)) {
    *error = "cannot read " + (folder / "registry.reg").string();
    return false;
  }
  if (!ParseRegFile(bytes, &hive_, error)) return false;

  // Without device.json every field has its default.
  json_ = Json::object();
  if (ReadFileBytes(folder / "device.json", &bytes)) {
    json_ = Json::parse(bytes, nullptr, false);
    if (json_.is_discarded() || !json_.is_object()) {
      *error = "device.json is not a JSON object";
      return false;
    }
  }
  return ReadDeviceJson(json_, &state_, error);
}

void Device::ApplyRestartBetweenRuns() {
  if (!state_.restartScheduled) return;
  if (state_.pendingHostName) state_.hostName = *state_.pendingHostName;
  state_.pendingHostName.reset();
  state_.restartScheduled.reset();
  stateChanged_ = true;
}

bool Device::Save(std::string* error) {
  // After a power cut the device keeps what it held at the cut; the cut
  // itself is spent.
  if (cut_ && !KeepStateAtCut(error)) return false;
  if (registryChanged_ && !WriteFileAtomic(folder_ / "registry.reg", WriteRegFile(hive_))) {
    *error = "cannot write registry.reg";
    return false;
  }
  if (stateChanged_ && !SaveDeviceJson(error)) return false;
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  return journal_.AppendTo(folder_ / "journal.jsonl", error);
}

// Only the fields a run can change are set; the others are kept as read.
bool Device::SaveDeviceJson(std::string* error) {
  const DeviceState& s = state_;
  json_["hostName"] = s.hostName;
  json_["pendingHostName"] = s.pendingHostName ? Json(*s.pendingHostName) : Json();
  json_["localTime"] = FormatLocalTime(s.localTimeMs);
  json_["restartScheduled"] = s.restartScheduled ? Json(*s.restartScheduled) : Json();
  if (!json_.contains("timeZone")) json_["timeZone"] = Json::object();
  json_["timeZone"]["id"] = s.timeZoneId;
  json_["timeZone"]["daylightBias"] = s.daylightBias;
  if (json_.contains("readOnlyFiles") || !s.readOnlyFiles.empty()) {
    json_["readOnlyFiles"] = s.readOnlyFiles;
  }
  if (!WriteFileAtomic(folder_ / "device.json", json_.dump(2) + "\n")) {
    *error = "cannot write device.json";
    return false;
  }
  return true;
}

}  // namespace sim
