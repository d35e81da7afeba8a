// The device's files as a program's own writer writes them, at the paths
// the device maps them to (drives.cpp).
#include "device/disk.h"

#include <fstream>

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr os::Status kErrorNotReady = 21;

}  // namespace

os::Status ExistingFile(Device& device, const char* call, const std::string& path,
                        fs::path* host) {
  if (auto e = device.Fault(call)) return *e;
  if (!device.PowerOn()) return kErrorNotReady;
  *host = device.HostPath(path);
  std::error_code ec;
  return fs::is_regular_file(*host, ec) ? os::kSuccess : os::kErrorFileNotFound;
}

os::Status ChangeableFile(Device& device, const char* call, const std::string& path,
                          fs::path* host) {
  if (os::Status e = ExistingFile(device, call, path, host)) return e;
  return device.ReadOnly(*host) ? os::kErrorAccessDenied : os::kSuccess;
}

os::Status WriteDeviceFile(Device& device, const std::string& windowsPath,
                           const std::string& bytes) {
  if (!device.PowerOn()) return kErrorNotReady;
  const fs::path host = device.HostPath(windowsPath);
  std::error_code ec;
  if (!fs::is_directory(host.parent_path(), ec)) return os::kErrorPathNotFound;
  if (device.ReadOnly(host)) return os::kErrorAccessDenied;
  {
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    if (!out) return os::kErrorAccessDenied;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return os::kErrorAccessDenied;
  }
  device.MarkUnflushed(host);
  device.Journal({{"kind", "fileWrite"}, {"path", windowsPath}, {"op", "write"},
                  {"bytes", bytes.size()}});
  device.DiskStep("write " + windowsPath);
  return os::kSuccess;
}

}  // namespace sim
