// Writing a file of the simulated device as a program's own writer does:
// the bytes reach the file, but stay at risk from a power cut until the
// file is flushed.
#pragma once

#include <string>

#include "device/device.h"
#include "os/files.h"
#include "os/types.h"

namespace sim {

// Creates or truncates the file at the Windows path and writes `bytes`.
// Returns 0, 3 when the folder does not exist, 5 when the file cannot be
// written, 21 (ERROR_NOT_READY) after a power cut. Journals a fileWrite
// record "write".
os::Status WriteDeviceFile(Device& device, const std::string& windowsPath,
                           const std::string& bytes);

// The file SimFiles::CreateNew made: the XML document saves to its path.
class SimNewFile : public os::NewFile {
 public:
  SimNewFile(Device& device, std::string path) : device_(device), path_(std::move(path)) {}
  // As FlushFileBuffers on the open handle: the file's bytes are safe from
  // a power cut. 21 after a cut.
  os::Status Flush() override;
  const std::string& path() const { return path_; }

 private:
  Device& device_;
  std::string path_;
};

}  // namespace sim
