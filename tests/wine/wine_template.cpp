// vorn-wine-device template: the runner's template prefix, made once per
// Wine version and architecture in $VORN_WINE_CACHE (one wineboot for runs
// started at once): headless with Wine's null graphics driver (without it
// MessageBoxA fails), XP's 30 s for a service to take its start (Wine's 10 s
// gave up on its network driver on a loaded machine), programs and
// libraries read-only: the runs' prefixes share them through hard links.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <set>

#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"

namespace wine {
namespace fs = std::filesystem;
namespace {

// "wine-8.0 (Debian 8.0~repack-4)" as a name part: other characters as '_'.
std::string VersionTag(const std::string& wine, const fs::path& scratch) {
  const fs::path out = scratch / "version";
  Run({{wine, "--version"}, out.string(), "/dev/null", "", 0});
  std::string text;
  ReadBytes(out, &text);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '\n') c = '_';
  }
  return text;
}

// The files Wine maps as code or data the runs never change.
bool SharedReadOnly(const fs::path& file) {
  static const std::set<std::string> kinds = {
      ".dll", ".exe", ".sys", ".drv", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".nls",
      ".ttf", ".ttc", ".fon", ".ds", ".com", ".msstyles", ".vxd", ".mui"};
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return kinds.count(ext) != 0;
}

void MakeReadOnly(const fs::path& prefix) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(prefix, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec) && SharedReadOnly(it->path())) {
      fs::permissions(it->path(), fs::perms::owner_write | fs::perms::group_write |
                                      fs::perms::others_write,
                      fs::perm_options::remove, ec);
    }
  }
}

// A new prefix made in `scratch` and moved to `key`; a prefix another
// runner moved there first is kept.
bool MakePrefix(const fs::path& scratch, const fs::path& key) {
  const std::string wine = Env("VORN_WINE");
  const fs::path prefix = scratch / "prefix";
  setenv("WINEPREFIX", prefix.c_str(), 1);
  const std::vector<std::vector<std::string>> steps = {
      {wine, "wineboot", "-i"},
      {wine, "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f"},
      {wine, "reg", "add", "HKLM\\System\\CurrentControlSet\\Control", "/v",
       "ServicesPipeTimeout", "/d", "30000", "/f"},
      {Env("VORN_WINESERVER"), "-w"}};
  for (const auto& argv : steps) Run({argv, "/dev/null", "/dev/null", "", 0});
  if (!fs::is_directory(prefix / "drive_c")) return false;
  MakeReadOnly(prefix);
  std::error_code ec;
  fs::rename(prefix, key, ec);
  return fs::is_directory(key);
}

}  // namespace

int Template() {
  const fs::path cache = Env("VORN_WINE_CACHE");
  const std::string arch = Env("VORN_WINE_ARCH");
  std::error_code ec;
  fs::create_directories(cache, ec);
  const int lock = open((cache / (".lock-" + arch)).c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (cache.empty() || lock < 0 || flock(lock, LOCK_EX) != 0) {
    std::cerr << "vorn-wine: cannot lock the template cache " << cache << "\n";
    return 71;
  }
  std::string scratchName = (cache / "new.XXXXXX").string();
  if (mkdtemp(scratchName.data()) == nullptr) return close(lock), 71;
  const fs::path scratch = scratchName;
  const fs::path key =
      cache / ("prefix-" + arch + "-" + VersionTag(Env("VORN_WINE"), scratch) + "-null-pipe30");
  const bool ok = fs::is_directory(key) || MakePrefix(scratch, key);
  fs::remove_all(scratch, ec);
  close(lock);
  if (!ok) return 71;
  std::cout << key.string() << "\n";
  return 0;
}

}  // namespace wine
