// The device's files as the system writes them, and the power cut.
//
// A file named in "readOnlyFiles" of device.json carries the read-only
// attribute and is treated as Windows treats one: it can be read and
// renamed (the attribute goes with it), but opening it for writing,
// deleting it and replacing it by a move fail with ERROR_ACCESS_DENIED.
//
// A power cut is named in device.json as {"powerCut": {"after": N}}: the
// power fails right after the Nth disk step of the run. Disk steps are: a
// file written (the XML document's save), a file flushed, a rename
// (MoveFileExA), a deletion.
// At the cut every file written and not flushed since is left short (half
// its bytes: what the disk had taken so far), the journal gets a "powerCut"
// record, and the device stops: later file calls fail with ERROR_NOT_READY
// and change nothing, nothing more is journaled, and the registry and
// device state stay as they were at the cut. The cut is spent once it has
// happened.
#include "os/sim/disk.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "os/sim/reg_file.h"
#include "os/sim/sim_machine.h"
#include "os/sim/snapshot.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr os::Status kErrorNotReady = 21;
constexpr os::Status kErrorAlreadyExists = 183;

}  // namespace

bool Device::PowerOn() {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  return !cut_;
}

void Device::MarkUnflushed(const fs::path& host) {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  if (std::find(unflushed_.begin(), unflushed_.end(), host) == unflushed_.end()) {
    unflushed_.push_back(host);
  }
}

void Device::MarkFlushed(const fs::path& host) {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), host), unflushed_.end());
}

void Device::MarkRenamed(const fs::path& from, const fs::path& to) {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  // A rename moves the name, not the data: unflushed data stays at risk
  // under its new name, and whatever the target held is gone.
  const bool dirty =
      std::find(unflushed_.begin(), unflushed_.end(), from) != unflushed_.end();
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), from), unflushed_.end());
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), to), unflushed_.end());
  if (dirty) unflushed_.push_back(to);
}

namespace {

// Windows names files without regard to case, also once a name has gone.
bool SameFile(const fs::path& a, const fs::path& b) {
  const std::string x = a.generic_string(), y = b.generic_string();
  return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](char l, char r) {
    return std::tolower(static_cast<unsigned char>(l)) == std::tolower(static_cast<unsigned char>(r));
  });
}

}  // namespace

bool Device::ReadOnly(const fs::path& host) {
  for (const std::string& file : state_.readOnlyFiles) {
    if (SameFile(HostPath(file), host)) return true;
  }
  return false;
}

void Device::MoveReadOnly(const fs::path& from, const fs::path& to) {
  auto& files = state_.readOnlyFiles;
  const auto held = [&](const fs::path& host) {
    return std::find_if(files.begin(), files.end(),
                        [&](const std::string& file) { return SameFile(HostPath(file), host); });
  };
  const bool readOnly = held(from) != files.end();
  // Whatever the target held is gone; the name takes the moved file's
  // attribute.
  for (auto it = held(to); it != files.end(); it = held(to)) files.erase(it);
  for (auto it = held(from); it != files.end(); it = held(from)) files.erase(it);
  if (readOnly) {
    std::error_code ec;
    files.push_back(WindowsPath(fs::relative(to, folder_, ec).generic_string()));
    MarkStateChanged();
  }
}

void Device::DiskStep(const std::string& what) {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  if (cut_) return;
  ++diskSteps_;
  if (!state_.powerCutAfter || diskSteps_ != *state_.powerCutAfter) return;
  Json shortened = Json::array();
  for (const fs::path& file : unflushed_) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) continue;
    fs::resize_file(file, size / 2, ec);
    shortened.push_back(fs::relative(file, folder_, ec).generic_string());
  }
  unflushed_.clear();
  Journal({{"kind", "powerCut"}, {"after", diskSteps_}, {"step", what},
           {"shortened", shortened}});
  PowerCut cut;
  if (registryChanged_) cut.registry = WriteRegFile(hive_);
  cut.state = state_;
  cut_ = std::move(cut);
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
  if (auto e = device_.Fault("FlushFileBuffers")) return *e;
  if (!device_.PowerOn()) return kErrorNotReady;
  const fs::path host = device_.HostPath(path);
  std::error_code ec;
  if (!fs::is_regular_file(host, ec)) return os::kErrorFileNotFound;
  if (device_.ReadOnly(host)) return os::kErrorAccessDenied;  // opened for writing
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
  if (auto e = device_.Fault("DeleteFileA")) return *e;
  if (!device_.PowerOn()) return kErrorNotReady;
  const fs::path host = device_.HostPath(path);
  std::error_code ec;
  if (!fs::is_regular_file(host, ec)) return os::kErrorFileNotFound;
  if (device_.ReadOnly(host)) return os::kErrorAccessDenied;
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
  if (device_.Fault("GetFileAttributesA")) return false;
  if (!device_.PowerOn()) return false;
  const fs::path host = device_.HostPath(path);
  std::error_code ec;
  return fs::exists(host, ec) && device_.ReadOnly(host);
}

}  // namespace sim
