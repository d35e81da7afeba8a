#include "device/services.h"

#include "device/codepage.h"
#include "device/hive_values.h"

namespace sim {
namespace {

constexpr os::Status kErrorServiceDisabled = 1058;
constexpr std::uint32_t kServiceDisabled = 4;

}  // namespace

std::vector<std::u16string> ServicePath(const std::string& name) {
  return {u"SYSTEM", u"CurrentControlSet", u"Services", Cp1252ToUtf16(name)};
}

HiveKey* FindService(Hive& hive, const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return nullptr;
  HiveKey* key = hive.Find(ServicePath(name));
  return key != nullptr && key->FindValue(u"Type") != nullptr ? key : nullptr;
}

ServiceProcess* RunningProcess(std::vector<ServiceProcess>& processes, const std::string& name) {
  for (ServiceProcess& process : processes) {
    if (!process.ended && Cp1252CompareNoCase(process.name, name) == 0) return &process;
  }
  return nullptr;
}

void Settle(Device& device, ServiceProcess& process, bool now) {
  if (process.ended || !process.stopAt) return;
  if (!now && device.state().localTimeMs < *process.stopAt) return;
  process.ended = true;
  if (!process.deletePending) return;
  device.hive().Erase(ServicePath(process.name));
  device.MarkRegistryChanged();
  device.Journal({{"kind", "serviceConfig"}, {"op", "delete"}, {"name", process.name}});
}

bool ServiceStartCommand(Device& device, const std::string& name, std::string* commandLine,
                         std::string* modulePath, std::string* error) {
  std::lock_guard<std::mutex> lock(device.mutex());
  HiveKey* key = FindService(device.hive(), name);
  if (key == nullptr) {
    *error = "the service \"" + name + "\" is not installed on this device";
    return false;
  }
  if (GetDword(*key, "Start").value_or(0) == kServiceDisabled) {
    *error = "the service \"" + name + "\" is disabled (error " +
             std::to_string(kErrorServiceDisabled) + ")";
    return false;
  }
  std::optional<std::string> image = GetString(*key, "ImagePath");
  if (!image || image->empty()) {
    *error = "the service \"" + name + "\" has no ImagePath";
    return false;
  }
  *commandLine = *image;
  // The executable is the quoted part, or the text before its arguments.
  if ((*image)[0] == '"') {
    std::size_t end = image->find('"', 1);
    *modulePath = image->substr(1, end == std::string::npos ? std::string::npos : end - 1);
  } else {
    std::size_t args = image->find(" -");
    std::size_t slash = image->find(" /");
    if (slash < args) args = slash;
    *modulePath = image->substr(0, args);
  }
  return true;
}

}  // namespace sim
