// The device's drives: drive C: is the device folder's c/, D: its d/, and
// so on. The mapping from Windows paths to the folder's files is the
// Device's (Device::HostPath); this is the way back.
#pragma once

#include <string>

namespace sim {

// The drive's folder name ("c" for "C:", and for a path without a drive);
// takes the drive off the path.
std::string TakeDrive(std::string* path);

// "c/Quorvex/DefaultConfig.xml" -> "C:\Quorvex\DefaultConfig.xml".
std::string WindowsPath(const std::string& relative);

}  // namespace sim
