// The device's files as the system writes them, at the paths the device
// maps them to (device/drives.cpp).
//
// A file named in "readOnlyFiles" of device.json carries the read-only
// attribute and is treated as Windows treats one: it can be read and
// renamed (the attribute goes with it), but opening it for writing,
// deleting it and replacing it by a move fail with ERROR_ACCESS_DENIED.
#include <filesystem>
#include <fstream>

#include "device/disk.h"
#include "device/drives.h"
#include "os/sim/sim_machine.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr os::Status kErrorNotReady = 21;
constexpr os::Status kErrorAlreadyExists = 183;

}  // namespace

os::Status SimNewFile::Flush() {
  if (auto e = device_.Fault("FlushFileBuffers")) return *e;
  if (!device_.PowerOn()) return kErrorNotReady;
  device_.MarkFlushed(device_.HostPath(path_));
  device_.DiskStep("flush " + path_);
  return os::kSuccess;
}

// The empty file is not journaled: the save's write that follows is.
os::Status SimFiles::CreateNew(const std::string& path, std::unique_ptr<os::NewFile>* file) {
  if (auto e = device_.Fault("CreateFileA")) return *e;
  if (!device_.PowerOn()) return kErrorNotReady;
  const fs::path host = device_.HostPath(path);
  std::error_code ec;
  if (!fs::is_directory(host.parent_path(), ec)) return os::kErrorPathNotFound;
  if (fs::exists(host, ec)) return os::kErrorFileExists;
  if (!std::ofstream(host, std::ios::binary)) return os::kErrorAccessDenied;
  *file = std::make_unique<SimNewFile>(device_, path);
  return os::kSuccess;
}

// The volume is the path's drive; a flush is a disk step and journaled as
// "volumeFlush".
os::Status SimFiles::FlushVolume(const std::string& path) {
  for (const char* call : {"GetFullPathNameA", "CreateFileA", "FlushFileBuffers"}) {
    if (auto e = device_.Fault(call)) return *e;
  }
  if (!device_.PowerOn()) return kErrorNotReady;
  std::string rest = path;
  std::string volume = TakeDrive(&rest) + ":";
  volume[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(volume[0])));
  device_.Journal({{"kind", "volumeFlush"}, {"volume", volume}});
  device_.DiskStep("flush volume " + volume);
  return os::kSuccess;
}

// The simulated disk keeps no attributes or access control lists: carrying
// them over checks that both files are there and fails where a fault names
// one of the four calls.
os::Status SimFiles::CopyAttributesAndSecurity(const std::string& from, const std::string& to) {
  for (const char* call :
       {"GetFileAttributesA", "GetFileSecurityA", "SetFileAttributesA", "SetFileSecurityA"}) {
    if (auto e = device_.Fault(call)) return *e;
  }
  if (!device_.PowerOn()) return kErrorNotReady;
  std::error_code ec;
  if (!fs::is_regular_file(device_.HostPath(from), ec)) return os::kErrorFileNotFound;
  if (!fs::is_regular_file(device_.HostPath(to), ec)) return os::kErrorFileNotFound;
  return os::kSuccess;
}

os::Status SimFiles::MoveFile(const std::string& from, const std::string& to, unsigned flags) {
  if (auto e = device_.Fault("MoveFileExA")) return *e;
  if (!device_.PowerOn()) return kErrorNotReady;
  const fs::path source = device_.HostPath(from);
  const fs::path target = device_.HostPath(to);
  std::error_code ec;
  if (!fs::exists(source, ec)) return os::kErrorFileNotFound;
  if (fs::exists(target, ec) && !(flags & os::kMoveFileReplaceExisting)) {
    return kErrorAlreadyExists;
  }
  if (source != target && fs::exists(target, ec) && device_.ReadOnly(target)) {
    return os::kErrorAccessDenied;
  }
  const auto bytes = fs::file_size(source, ec);
  fs::rename(source, target, ec);
  if (ec) return os::kErrorAccessDenied;
  device_.MarkRenamed(source, target);
  device_.MoveReadOnly(source, target);
  device_.Journal({{"kind", "fileWrite"}, {"path", to}, {"op", "replace"},
                   {"bytes", bytes}});
  device_.DiskStep("move " + to);
  return os::kSuccess;
}

os::Status SimFiles::DeleteFile(const std::string& path) {
  fs::path host;
  if (os::Status e = ChangeableFile(device_, "DeleteFileA", path, &host)) return e;
  std::error_code ec;
  if (!fs::remove(host, ec)) return os::kErrorAccessDenied;
  device_.MarkFlushed(host);
  device_.Journal({{"kind", "fileWrite"}, {"path", path}, {"op", "delete"}, {"bytes", 0}});
  device_.DiskStep("delete " + path);
  return os::kSuccess;
}

bool SimFiles::Exists(const std::string& path) {
  if (device_.Fault("FindFirstFileA")) return false;
  if (!device_.PowerOn()) return false;
  std::error_code ec;
  return fs::exists(device_.HostPath(path), ec);
}

bool SimFiles::IsReadOnly(const std::string& path) {
  fs::path host;
  return ExistingFile(device_, "GetFileAttributesA", path, &host) == os::kSuccess &&
         device_.ReadOnly(host);
}

}  // namespace sim
