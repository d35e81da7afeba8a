// The device's service control manager database and the processes of the
// services that run. The database is where Windows keeps it,
// HKLM\SYSTEM\CurrentControlSet\Services\<name> in the device's registry: a
// key there with a "Type" value is an installed service.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device.h"

namespace sim {

// The registry path of the service `name`'s key, under HKLM.
std::vector<std::u16string> ServicePath(const std::string& name);

// The key of the installed service `name`; nullptr when there is none. Other
// keys beside the services (the event log's, say) are no services. Caller
// holds the device's mutex.
HiveKey* FindService(Hive& hive, const std::string& name);

// A running service's process, for the run.
struct ServiceProcess {
  std::string name;
  std::uint32_t stopMs = 0;
  std::optional<std::int64_t> stopAt;  // device time the stop completes
  bool ended = false;
  bool deletePending = false;
};

// The running process of the service `name`, if any. Caller holds the
// device's mutex.
ServiceProcess* RunningProcess(std::vector<ServiceProcess>& processes, const std::string& name);

// Ends a process told to stop once the device's time has reached its stop
// (at once with `now`); a deletion marked meanwhile then completes and is
// journaled. Caller holds the device's mutex.
void Settle(Device& device, ServiceProcess& process, bool now);

// What the service control manager starts for the installed service `name`:
// the command line (its ImagePath as stored) and the executable's path
// (what GetModuleFileNameA then gives). False with a message when the
// service is not installed, is disabled or has no image path.
bool ServiceStartCommand(Device& device, const std::string& name,
                         std::string* commandLine, std::string* modulePath,
                         std::string* error);

}  // namespace sim
