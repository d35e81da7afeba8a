// vorn-wine-device template: the prefix every run's prefix is copied from,
// made once per Wine version and architecture.
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sys/file.h>
#include <unistd.h>

#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"

namespace wine {
namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

int Quiet(std::vector<std::string> argv) {
  Command command;
  command.argv = std::move(argv);
  return Run(command);
}

// The Wine version as a file name's part ("wine-8.0__Debian_8.0_repack-4_").
std::string WineVersion(const fs::path& scratch) {
  const fs::path out = scratch / "version.txt";
  Run({{Env("VORN_WINE"), "--version"}, out.string(), "/dev/null", "", 60});
  std::string text;
  ReadBytes(out, &text);
  std::replace_if(text.begin(), text.end(), [](char c) {
    return !(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '\n' || c == '-');
  }, '_');
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  return text;
}

// Headless, a window (a message box) needs Wine's null graphics driver;
// without it MessageBoxA fails at once. XP's service control manager waits
// 30 s for a service (or driver) to take its start, Wine's 10 s: on a
// loaded machine Wine gave up on its network driver at the session's start.
bool Make(const fs::path& prefix) {
  setenv("WINEPREFIX", prefix.c_str(), 1);
  const std::string wine = Env("VORN_WINE");
  Quiet({wine, "wineboot", "-i"});
  Quiet({wine, "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f"});
  Quiet({wine, "reg", "add", "HKLM\\System\\CurrentControlSet\\Control", "/v", "ServicesPipeTimeout",
         "/d", "30000", "/f"});
  Quiet({Env("VORN_WINESERVER"), "-w"});
  unsetenv("WINEPREFIX");
  // The programs and libraries no run writes: read-only, shared with the
  // runs' prefixes through hard links.
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(prefix, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink(ec) && it->is_regular_file(ec) && IsBinary(it->path())) {
      fs::permissions(it->path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove, ec);
    }
  }
  return !ec && fs::is_directory(prefix / "drive_c");
}

}  // namespace

int Template() {
  const fs::path cache = Env("VORN_WINE_CACHE");
  std::error_code ec;
  fs::create_directories(cache, ec);
  const std::string arch = Env("VORN_WINE_ARCH");
  // One wineboot for runs started at once; the others wait for its prefix.
  const int lock = open((cache / (".lock-" + arch)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) {
    std::cerr << "vorn-wine: cannot lock " << cache << "\n";
    return 71;
  }
  std::string scratch = (cache / "new.XXXXXX").string();
  if (mkdtemp(scratch.data()) == nullptr) return 71;
  const fs::path key = cache / ("prefix-" + arch + "-" + WineVersion(scratch) + "-null-pipe30");
  if (!fs::is_directory(key, ec) && Make(fs::path(scratch) / "prefix")) {
    fs::rename(fs::path(scratch) / "prefix", key, ec);
  }
  fs::remove_all(scratch, ec);
  close(lock);
  if (!fs::is_directory(key, ec)) {
    std::cerr << "vorn-wine: cannot make the template prefix " << key << "\n";
    return 71;
  }
  std::cout << key.string() << "\n";
  return 0;
}

}  // namespace wine
