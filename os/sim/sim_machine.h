// The simulated device's machine-level facilities: power, clock and time
// zone (sim_clock.h), write filters, libraries and processes of the device
// image, files.
#pragma once

#include "os/files.h"
#include "os/modules.h"
#include "os/power.h"
#include "os/write_filter.h"
#include "device/device.h"
#include "os/sim/sim_clock.h"

namespace sim {

class SimPower : public os::Power {
 public:
  explicit SimPower(Device& device) : device_(device) {}
  std::unique_ptr<os::Token> OpenProcessToken() override;
  bool LookupShutdownPrivilege() override;
  bool InitiateShutdown(const std::string& message, std::uint32_t timeoutSeconds,
                        bool forceAppsClosed, bool rebootAfterShutdown) override;

  // Whether SeShutdownPrivilege is enabled in the process token.
  bool privilegeEnabled = false;

 private:
  Device& device_;
};

class SimWriteFilters : public os::WriteFilters {
 public:
  explicit SimWriteFilters(Device& device) : device_(device) {}
  os::Status FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) override;
  std::unique_ptr<os::EwfVolumeList> GetProtectedVolumeList() override;

 private:
  Device& device_;
};

class SimModules : public os::Modules {
 public:
  explicit SimModules(Device& device) : device_(device) {}
  std::shared_ptr<os::Library> LoadLibrary(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::unique_ptr<os::ChildProcess> CreateProcess(const std::string& commandLine,
                                                  std::uint32_t startupFlags) override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  Device& device_;
  std::shared_ptr<os::Library> upnp_;
};

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

class SimFiles : public os::Files {
 public:
  explicit SimFiles(Device& device) : device_(device) {}
  os::Status CreateNew(const std::string& path, std::unique_ptr<os::NewFile>* file) override;
  os::Status FlushVolume(const std::string& path) override;
  os::Status CopyAttributesAndSecurity(const std::string& from,
                                       const std::string& to) override;
  os::Status MoveFile(const std::string& from, const std::string& to,
                      unsigned flags) override;
  os::Status DeleteFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool IsReadOnly(const std::string& path) override;

 private:
  Device& device_;
};

}  // namespace sim
