// The simulated device's disk: files as a program's own writer writes them.
// The bytes reach the file but stay at risk from a power cut until the file
// is flushed.
#pragma once

#include <filesystem>
#include <string>

#include "device/device.h"
#include "os/types.h"

namespace sim {

// The host file for the call `call` on the existing file at the Windows
// path: the call's fault comes first, then a device without power (21),
// then a missing file (2).
os::Status ExistingFile(Device& device, const char* call, const std::string& path,
                        std::filesystem::path* host);

// As ExistingFile for a call that changes the file: a read-only file
// refuses with 5.
os::Status ChangeableFile(Device& device, const char* call, const std::string& path,
                          std::filesystem::path* host);

// Creates or truncates the file at the Windows path and writes `bytes`.
// Returns 0, 3 when the folder does not exist, 5 when the file cannot be
// written, 21 (ERROR_NOT_READY) after a power cut. Journals a fileWrite
// record "write".
os::Status WriteDeviceFile(Device& device, const std::string& windowsPath,
                           const std::string& bytes);

}  // namespace sim
