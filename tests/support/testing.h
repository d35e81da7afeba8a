// Test support: a simulated device in a fresh temporary folder.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

// The device's local times are what the tests set and compare.
#include "device/calendar.h"
#include "device/device.h"
#include "host/process.h"
#include "os/sim/sim_platform.h"

namespace sim {

// The whole file's bytes; empty when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes;
}

class TestDevice {
 public:
  // `registry` is the text of registry.reg after its header line;
  // `deviceJson` the whole device.json.
  explicit TestDevice(const std::string& registry = "",
                      const std::string& deviceJson = "{}") {
    static std::atomic<int> counter{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("vorn-test-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "c");
    Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + registry);
    Write("device.json", deviceJson);
    Reload();
  }
  ~TestDevice() {
    platform_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  void Write(const std::string& relative, const std::string& bytes) {
    std::filesystem::create_directories((folder_ / relative).parent_path());
    std::ofstream out(folder_ / relative, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  // Reads the folder afresh (after Save, or after editing files).
  void Reload(const std::string& commandLine = "C:\\WINDOWS\\system32\\VORN.EXE") {
    platform_.reset();
    device_ = std::make_unique<Device>();
    std::string error;
    if (!device_->Load(folder_, &error)) throw std::runtime_error(error);
    platform_ = std::make_unique<SimPlatform>(*device_, commandLine);
  }

  // Runs the whole process with these arguments, as vorn-sim does, saves
  // the device and returns the exit code.
  int Run(const std::string& arguments = "") {
    device_->ApplyRestartBetweenRuns();
    std::string line = device_->state().imagePath;
    if (!arguments.empty()) line += " " + arguments;
    platform_ = std::make_unique<SimPlatform>(*device_, line);
    int code = vorn::RunProcess(platform_->platform());
    // The process ends before the device is saved, as under vorn-sim.
    platform_.reset();
    platform_ = std::make_unique<SimPlatform>(*device_, line);
    std::string error;
    if (!device_->Save(&error)) throw std::runtime_error(error);
    return code;
  }

  Device& device() { return *device_; }
  SimPlatform& sim() { return *platform_; }
  os::Platform platform() { return platform_->platform(); }
  const std::filesystem::path& folder() const { return folder_; }

  // Journal records of one kind, in order.
  std::vector<Json> Records(const std::string& kind) {
    std::vector<Json> out;
    for (auto& r : device_->JournalRecords()) {
      if (r.value("kind", "") == kind) out.push_back(r);
    }
    return out;
  }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<Device> device_;
  std::unique_ptr<SimPlatform> platform_;
};

}  // namespace sim
