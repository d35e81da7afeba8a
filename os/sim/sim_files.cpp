#include "os/sim/sim_machine.h"

#include <filesystem>

namespace sim {
namespace fs = std::filesystem;

os::Status SimFiles::FlushFile(const std::string& path) {
  if (auto e = device_.Fault("FlushFileBuffers")) return *e;
  std::error_code ec;
  return fs::is_regular_file(device_.HostPath(path), ec) ? os::kSuccess
                                                         : os::kErrorFileNotFound;
}

os::Status SimFiles::ReplaceFile(const std::string& replaced, const std::string& replacement,
                                 const std::string& backup) {
  if (auto e = device_.Fault("ReplaceFileA")) return *e;
  fs::path target = device_.HostPath(replaced);
  fs::path source = device_.HostPath(replacement);
  std::error_code ec;
  if (!fs::is_regular_file(target, ec)) return os::kErrorFileNotFound;
  if (!fs::is_regular_file(source, ec)) return os::kErrorFileNotFound;
  if (!backup.empty()) {
    fs::copy_file(target, device_.HostPath(backup), fs::copy_options::overwrite_existing, ec);
    if (ec) return os::kErrorAccessDenied;
  }
  auto bytes = fs::file_size(source, ec);
  fs::rename(source, target, ec);
  if (ec) return os::kErrorAccessDenied;
  device_.Journal({{"kind", "fileWrite"}, {"path", replaced}, {"op", "replace"},
                   {"bytes", bytes}});
  return os::kSuccess;
}

os::Status SimFiles::MoveFile(const std::string& from, const std::string& to, unsigned flags) {
  if (auto e = device_.Fault("MoveFileExA")) return *e;
  fs::path source = device_.HostPath(from);
  fs::path target = device_.HostPath(to);
  std::error_code ec;
  if (!fs::exists(source, ec)) return os::kErrorFileNotFound;
  if (fs::exists(target, ec) && !(flags & os::kMoveFileReplaceExisting)) {
    return 183;  // ERROR_ALREADY_EXISTS
  }
  auto bytes = fs::file_size(source, ec);
  fs::rename(source, target, ec);
  if (ec) return os::kErrorAccessDenied;
  device_.Journal({{"kind", "fileWrite"}, {"path", to}, {"op", "replace"},
                   {"bytes", bytes}});
  return os::kSuccess;
}

os::Status SimFiles::DeleteFile(const std::string& path) {
  if (auto e = device_.Fault("DeleteFileA")) return *e;
  std::error_code ec;
  if (!fs::remove(device_.HostPath(path), ec)) return os::kErrorFileNotFound;
  device_.Journal({{"kind", "fileWrite"}, {"path", path}, {"op", "delete"}, {"bytes", 0}});
  return os::kSuccess;
}

bool SimFiles::Exists(const std::string& path) {
  if (device_.Fault("FindFirstFileA")) return false;
  std::error_code ec;
  return fs::exists(device_.HostPath(path), ec);
}

}  // namespace sim
