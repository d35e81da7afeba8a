// Where a Windows path lies in the device folder: drive C: is the folder's
// c/, looked up without regard to case as Windows does; and the read-only
// attribute of the files named in device.json's "readOnlyFiles".
#include "device/drives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "device/codepage.h"
#include "device/device.h"

namespace sim {
namespace fs = std::filesystem;
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

namespace {


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

// Windows names files without regard to case, also once a name has gone.
bool SameFile(const fs::path& a, const fs::path& b) {
  return SameNameNoCase(a.generic_string(), b.generic_string());
}

}  // namespace

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

std::string WindowsPath(const std::string& relative) {
  if (relative.empty()) return relative;
  std::string path(1, static_cast<char>(std::toupper(static_cast<unsigned char>(relative[0]))));
  path += ":";
  for (std::size_t i = 1; i < relative.size(); ++i) {
    path += relative[i] == '/' ? '\\' : relative[i];
  }
  return path;
}

}  // namespace sim
