// The device's files as the system writes them, and where a Windows path
// lies in the device folder: drive C: is the folder's c/, looked up without
// regard to case as Windows does.
//
// A file named in "readOnlyFiles" of device.json carries the read-only
// attribute and is treated as Windows treats one: it can be read and
// renamed (the attribute goes with it), but opening it for writing,
// deleting it and replacing it by a move fail with ERROR_ACCESS_DENIED.
#include "os/sim/disk.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include "device/codepage.h"
#include "device/device_json.h"
#include "os/sim/sim_machine.h"
#include "device/drives.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr os::Status kErrorNotReady = 21;
constexpr os::Status kErrorAlreadyExists = 183;

// The drive's folder name ("c" for "C:", and for a path without a drive);
// takes the drive off the path.
std::string TakeDrive(std::string* path) {
  if (path->size() >= 2 && (*path)[1] == ':' &&
      std::isalpha(static_cast<unsigned char>((*path)[0]))) {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>((*path)[0])));
    path->erase(0, 2);
    return std::string(1, drive);
  }
  return "c";
}

// Names compare as the device's 8-bit functions compare them.
bool SameNameNoCase(const std::string& a, const std::string& b) {
  return Cp1252CompareNoCase(a, b) == 0;
}

// The entry of `folder` that is `name` without regard to case; `name` as
// given when there is none.
std::string EntryName(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return name;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string candidate = entry.path().filename().string();
    if (SameNameNoCase(candidate, name)) return candidate;
  }
  return name;
}

// The host file for a call on an existing file: the call's fault comes
// first, then a device without power, then a missing file.
os::Status ExistingFile(Device& device, const char* call, const std::string& path,
                        fs::path* host) {
  if (auto e = device.Fault(call)) return *e;
  if (!device.PowerOn()) return kErrorNotReady;
  *host = device.HostPath(path);
  std::error_code ec;
  return fs::is_regular_file(*host, ec) ? os::kSuccess : os::kErrorFileNotFound;
}

// The host file for a call that changes an existing file: as ExistingFile,
// and a read-only file refuses.
os::Status ChangeableFile(Device& device, const char* call, const std::string& path,
                          fs::path* host) {
  if (os::Status e = ExistingFile(device, call, path, host)) return e;
  return device.ReadOnly(*host) ? os::kErrorAccessDenied : os::kSuccess;
}

// Windows names files without regard to case, also once a name has gone.
bool SameFile(const fs::path& a, const fs::path& b) {
  return SameNameNoCase(a.generic_string(), b.generic_string());
}

}  // namespace

bool ReadReadOnlyFiles(const Json& file, DeviceState* state, std::string*) {
  for (const auto& f : file.value("readOnlyFiles", Json::array())) {
    state->readOnlyFiles.push_back(f.get<std::string>());
  }
  return true;
}

bool Device::ReadOnly(const fs::path& host) {
  for (const std::string& file : state_.readOnlyFiles) {
    if (SameFile(HostPath(file), host)) return true;
  }
  return false;
}

void Device::MoveReadOnly(const fs::path& from, const fs::path& to) {
  const bool readOnly = ReadOnly(from);
  // Whatever the target held is gone; the name takes the moved file's
  // attribute.
  std::erase_if(state_.readOnlyFiles, [&](const std::string& file) {
    const fs::path host = HostPath(file);
    return SameFile(host, from) || SameFile(host, to);
  });
  if (readOnly) {
    std::error_code ec;
    state_.readOnlyFiles.push_back(WindowsPath(fs::relative(to, folder_, ec).generic_string()));
    MarkStateChanged();
  }
}

fs::path Device::HostPath(const std::string& windowsPath) {
  std::string path = windowsPath;
  const fs::path drive = folder_ / TakeDrive(&path);
  fs::path host = drive;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
    const std::string name = path.substr(start, i - start);
    start = i + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      // Never leave the drive folder.
      if (host != drive) host = host.parent_path();
    } else {
      host /= EntryName(host, name);
    }
  }
  return host;
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

os::Status SimFiles::FlushFile(const std::string& path) {
  fs::path host;
  // Flushing opens the file for writing.
  if (os::Status e = ChangeableFile(device_, "FlushFileBuffers", path, &host)) return e;
  device_.MarkFlushed(host);
  device_.DiskStep("flush " + path);
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
