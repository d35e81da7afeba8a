// vorn-wine-device seed: a fresh Wine prefix from the template with the
// device's files, the stand-ins and VORN.EXE; and the files written back
// after the run.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>

#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"

namespace wine {
namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Files of a prefix that no run writes (vorn-wine seals them in the
// template): its programs and libraries are shared through hard links;
// every other file is copied.
bool IsBinary(const fs::path& file) {
  static const std::set<std::string> kinds = {
      ".dll", ".exe", ".sys", ".drv", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".nls",
      ".ttf", ".ttc", ".fon", ".ds",  ".com", ".msstyles", ".vxd", ".mui"};
  return kinds.count(Lower(file.extension().string())) != 0;
}

// The entry of `dir` spelt `name` without regard to case; the exact
// spelling first.
std::optional<fs::path> Entry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::symlink_status(dir / name, ec).type() != fs::file_type::not_found) return dir / name;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (Lower(it->path().filename().string()) == Lower(name)) return it->path();
  }
  return std::nullopt;
}

std::vector<std::string> Components(const std::string& windows) {
  std::vector<std::string> parts;
  std::string rest = windows.size() >= 2 && windows[1] == ':' ? windows.substr(2) : windows;
  std::size_t start = 0;
  for (std::size_t end = 0; end != std::string::npos; start = end + 1) {
    end = rest.find('\\', start);
    std::string part = rest.substr(start, end == std::string::npos ? end : end - start);
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// The folders of a Windows path get its spelling as well: XP reports a
// module's path as the device spells it ("C:\WINDOWS\system32"), Wine as
// the folders are spelt on disk ("C:\windows"). A link with the device's
// spelling leads to the folder; Wine's own paths keep working.
bool MatchCase(const fs::path& prefix, const std::string& windows) {
  std::vector<std::string> parts = Components(windows);
  if (!parts.empty()) parts.pop_back();
  fs::path dir = prefix / "drive_c";
  std::error_code ec;
  for (const std::string& part : parts) {
    std::optional<fs::path> match = Entry(dir, part);
    if (match && match->filename() != part) {
      fs::create_directory_symlink(match->filename(), dir / part, ec);
      if (ec) {
        std::cerr << "vorn-wine: cannot link " << (dir / part) << "\n";
        return false;
      }
    }
    dir /= part;
  }
  return true;
}

bool Put(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::remove(to, ec);
  if (fs::copy_file(from, to, ec)) return true;
  std::cerr << "vorn-wine: cannot place " << from << ": " << ec.message() << "\n";
  return false;
}

bool PutStandIns(const Layout& layout, const fs::path& standins, const fs::path& prefix) {
  const fs::path sys = prefix / "drive_c" / "windows" / "system32";
  const fs::path test = prefix / "drive_c" / "vorntest";
  std::error_code ec;
  fs::create_directories(test, ec);
  bool ok = Put(standins / "EWFAPI.dll", sys / "EWFAPI.dll") &&
            Put(standins / "FBWFLIB.dll", sys / "FBWFLIB.dll");
  if (!layout.upnpAgent.empty()) ok = ok && Put(standins / layout.upnpAgent, sys / "UPnPAgent.dll");
  // A registrar that cannot be started: a file of that name that is no
  // program, which CreateProcessA refuses.
  if (layout.upnpTool && !layout.upnpToolStartable) {
    ok = ok && static_cast<bool>(std::ofstream(sys / "UPnPRegistrar.exe", std::ios::binary));
  } else if (layout.upnpTool) {
    ok = ok && Put(standins / "UPnPRegistrar.exe", sys / "UPnPRegistrar.exe");
  }
  for (const char* f : {"vorn-dialogs.exe", "vorn-timechange.exe", "vorn-control.exe", "vorn-protect.exe",
                        "vorn-launch.exe"}) {
    ok = ok && Put(standins / f, test / f);
  }
  return ok;
}

// Copies `from` (a file, link or folder) onto `to`, replacing what is
// there: a file shared with the template is never written through.
bool CopyTree(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(from, ec);
  if (fs::is_directory(status)) {
    if (!fs::is_directory(to, ec)) {
      fs::remove(to, ec);
      fs::create_directory(to, from, ec);
    }
    for (auto it = fs::directory_iterator(from, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
      if (!CopyTree(it->path(), to / it->path().filename())) return false;
    }
    return !ec;
  }
  fs::remove(to, ec);
  if (fs::is_symlink(status)) {
    fs::copy_symlink(from, to, ec);
  } else {
    fs::copy_file(from, to, ec);
  }
  return !ec;
}

bool PutDeviceFiles(const Layout& layout, const fs::path& device, const fs::path& prefix) {
  std::error_code ec;
  if (fs::is_directory(device / "c", ec) && !CopyTree(device / "c", prefix / "drive_c")) {
    std::cerr << "vorn-wine: cannot copy the device's files\n";
    return false;
  }
  // Wine shows a file without write permission as read-only.
  for (const std::string& file : layout.readOnlyFiles) {
    fs::permissions(UnixPath(prefix, file),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
    if (ec) {
      std::cerr << "vorn-wine: cannot make " << file << " read-only\n";
      return false;
    }
  }
  return true;
}

bool PutVorn(const Layout& layout, const fs::path& exe, const fs::path& prefix) {
  if (!MatchCase(prefix, layout.imagePath)) return false;
  if (!layout.serviceModule.empty() && !MatchCase(prefix, layout.serviceModule)) return false;
  const fs::path target = UnixPath(prefix, layout.imagePath);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  return Put(exe, target);
}

}  // namespace

bool CopyPrefix(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directory(to, from, ec);
  for (auto it = fs::recursive_directory_iterator(from, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path target = to / it->path().lexically_relative(from);
    if (it->is_symlink(ec)) {
      fs::copy_symlink(it->path(), target, ec);
    } else if (it->is_directory(ec)) {
      fs::create_directory(target, it->path(), ec);
    } else if (IsBinary(it->path())) {
      fs::create_hard_link(it->path(), target, ec);
    } else if (fs::copy_file(it->path(), target, ec)) {
      // The time too: wineserver reloads a registry file only when it changed.
      fs::last_write_time(target, fs::last_write_time(it->path(), ec), ec);
      fs::permissions(target, fs::perms::owner_write, fs::perm_options::add, ec);
    }
    if (ec) return false;
  }
  return !ec;
}

fs::path UnixPath(const fs::path& prefix, const std::string& windows) {
  fs::path dir = prefix / "drive_c";
  for (const std::string& part : Components(windows)) {
    std::optional<fs::path> match = Entry(dir, part);
    dir = match ? *match : dir / part;
  }
  return dir;
}

int SeedFiles(const fs::path& folder, const fs::path& work, const fs::path& templ) {
  sim::Device device;
  if (int rc = LoadDevice(folder, device)) return rc;
  const Layout layout = LayoutOf(device);
  const fs::path prefix = work / "prefix";
  if (!CopyPrefix(templ, prefix)) {
    std::cerr << "vorn-wine: cannot copy the template prefix\n";
    return 71;
  }
  const bool ok = PutStandIns(layout, Env("VORN_WINE_STANDINS"), prefix) &&
                  PutDeviceFiles(layout, folder, prefix) &&
                  PutVorn(layout, Env("VORN_WINE_EXE"), prefix);
  return ok ? 0 : 71;
}

bool CopyBack(const fs::path& device, const fs::path& prefix) {
  std::error_code ec;
  if (!fs::is_directory(device / "c", ec)) return true;
  std::vector<fs::path> entries;
  for (auto it = fs::directory_iterator(device / "c", ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    entries.push_back(it->path());
  }
  for (const fs::path& entry : entries) {
    const fs::path from = UnixPath(prefix, "C:\\" + entry.filename().string());
    fs::remove_all(entry, ec);
    if (fs::exists(from, ec) && !CopyTree(from, entry)) return false;
  }
  return true;
}

}  // namespace wine
