#include "tools/vorn-sim/assumptions.h"

#include <algorithm>
#include <cctype>

#include "device/codepage.h"
#include "device/device.h"
#include "device/device_json.h"
#include "device/drives.h"
#include "device/whole_file.h"
#include "tools/vorn-sim/snapshot.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kMacBytes = 6;
constexpr std::size_t kMaxHostName = 15;
// VORN reads the installation path into 64 bytes; a longer one reads as
// empty and the boot configuration is looked for in the root of drive C:.
constexpr std::size_t kInstallationPathBytes = 64;
constexpr char kAdapterSyntax[] =
    "MAC[,DESCRIPTION] with MAC six hexadecimal bytes like 00-01-05-12-AB-3C";

bool ReadDeviceJsonFile(const fs::path& folder, Json* file, std::string* error) {
  *file = Json::object();
  std::string bytes;
  if (!ReadFileBytes(folder / "device.json", &bytes)) return true;  // every field its default
  *file = Json::parse(bytes, nullptr, false);
  if (file->is_discarded() || !file->is_object()) {
    *error = "device.json is not a JSON object";
    return false;
  }
  return true;
}

// The Windows path VORN loads the boot configuration from on this device.
std::string BootConfigurationPath(const DeviceSnapshot& device) {
  const std::string id =
      RegistryId("HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex", "InstallationPath", false);
  std::string directory;
  for (const RegistryItem& item : device.registry) {
    if (item.isKey || RegistryId(item.key, item.value, false) != id) continue;
    if (item.type != 1 && item.type != 2) break;
    std::u16string units = Utf16LeText(item.data);
    units = units.substr(0, units.find(u'\0'));
    if (units.size() < kInstallationPathBytes) directory = Utf16ToUtf8(units);
  }
  if (directory.size() < 2 || directory[1] != ':') directory = "C:" + directory;
  return directory + "\\DefaultConfig.xml";
}

// A path with "\\" in it names the same file as with one backslash.
bool HasFile(const DeviceSnapshot& device, std::string windowsPath) {
  for (auto at = windowsPath.find("\\\\"); at != std::string::npos;
       at = windowsPath.find("\\\\", at)) {
    windowsPath.erase(at, 1);
  }
  return std::any_of(device.files.begin(), device.files.end(), [&](const auto& file) {
    return Cp1252CompareNoCase(WindowsPath(file.first), windowsPath) == 0;
  });
}

void NetworkAssumptions(const Json& file, const DeviceState& state,
                        std::vector<Assumption>* assumed) {
  if (!file.contains("adapters") && !file.contains("adaptersError")) {
    assumed->push_back({"adapters",
                        "no network adapter: the adapter query fails, the identity is an "
                        "address of zeros (give --adapter MAC[,DESCRIPTION])"});
  }
  if (!file.contains("hostName")) {
    assumed->push_back({"hostName", "computer name " + state.hostName +
                                        ", as images ship (give --host-name NAME)"});
  }
}

void SystemAssumptions(const Json& file, const DeviceState& state,
                       std::vector<Assumption>* assumed) {
  if (!file.contains("fbwf") && !file.contains("ewf")) {
    assumed->push_back({"writeFilter", "no write filter (neither FBWF nor EWF on)"});
  }
  if (!file.contains("timeZone")) {
    assumed->push_back({"timeZone", "time zone state " + std::to_string(state.timeZoneId) +
                                        " (standard time), daylight bias " +
                                        std::to_string(state.daylightBias) + " minutes"});
  }
}

}  // namespace

bool ParseAdapterOption(const std::string& text, Json* adapter, std::string* error) {
  const std::size_t comma = text.find(',');
  const std::string address = text.substr(0, comma);
  const std::string description = comma == std::string::npos ? "" : text.substr(comma + 1);
  std::vector<std::uint8_t> bytes;
  const bool digits = std::all_of(address.begin(), address.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == '-' || c == ':';
  });
  if (!digits || !ParseAdapterAddress(address, &bytes) || bytes.size() != kMacBytes) {
    *error = "--adapter \"" + text + "\": expected " + kAdapterSyntax;
    return false;
  }
  *adapter = {{"description", description}, {"address", address}};
  return true;
}

bool CheckHostNameOption(const std::string& name, std::string* error) {
  const bool allowed = std::all_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > ' ' && u != 0x7F && std::string("\\/:*?\"<>|").find(c) == std::string::npos;
  });
  if (!name.empty() && name.size() <= kMaxHostName && allowed) return true;
  *error = "--host-name \"" + name + "\": a computer name is 1 to 15 characters, " +
           "without spaces or \\ / : * ? \" < > |";
  return false;
}

bool ApplyOverrides(const fs::path& folder, const DeviceOverrides& overrides,
                    std::string* error) {
  if (overrides.adapters.empty() && !overrides.hostName) return true;
  Json file;
  if (!ReadDeviceJsonFile(folder, &file, error)) return false;
  if (!overrides.adapters.empty()) {
    file["adapters"] = overrides.adapters;
    file.erase("adaptersError");
  }
  if (overrides.hostName) file["hostName"] = *overrides.hostName;
  if (!WriteFileAtomic(folder / "device.json", file.dump(2) + "\n")) {
    *error = "cannot write the private copy's device.json";
    return false;
  }
  return true;
}

bool DeviceAssumptions(const fs::path& folder, std::vector<Assumption>* assumed,
                       std::string* error) {
  assumed->clear();
  Json file;
  Device device;
  DeviceSnapshot snapshot;
  // The device's own reading first, so that a broken folder is reported
  // as a plain boot reports it.
  if (!device.Load(folder, error) || !ReadDeviceJsonFile(folder, &file, error) ||
      !TakeSnapshot(folder, false, &snapshot, error)) {
    return false;
  }
  NetworkAssumptions(file, device.state(), assumed);
  SystemAssumptions(file, device.state(), assumed);
  const std::string config = BootConfigurationPath(snapshot);
  if (!HasFile(snapshot, config)) {
    assumed->push_back({"bootConfiguration", "no boot configuration file: " + config +
                                                 " is not in the folder"});
  }
  return true;
}

}  // namespace sim
