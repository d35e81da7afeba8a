// The device's drives: drive C: is the device folder's c/, D: its d/, and
// so on. The mapping from Windows paths to the folder's files is the
// Device's (Device::HostPath); this is the way back.
#pragma once

#include <string>

namespace sim {

// "c/Quorvex/DefaultConfig.xml" -> "C:\Quorvex\DefaultConfig.xml".
std::string WindowsPath(const std::string& relative);

}  // namespace sim
