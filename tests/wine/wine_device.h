// The native half of vorn-wine: preparing a Wine prefix's seed from a device
// folder, writing back what a Wine run showed, and comparing a device run on
// both backends. See docs/wine.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "device/device.h"
#include "device/hive.h"

namespace wine {

// Exit codes as vorn-sim's: 65 bad device, 74 cannot write, 77 unsupported.
int Prepare(const std::filesystem::path& device, const std::filesystem::path& work);
int Finish(const std::filesystem::path& device, const std::filesystem::path& work);
// After regedit imported WORK/seed.reg into the prefix (and before any
// wineserver runs for it again): its values the import altered written
// into the prefix's system.reg as they are. 71 when that fails.
int SeedRaw(const std::filesystem::path& work, const std::filesystem::path& prefix);
int Compare(const std::filesystem::path& simDevice, const std::filesystem::path& wineDevice);
// The template prefix for $VORN_WINE_ARCH in $VORN_WINE_CACHE, made with
// $VORN_WINE when missing; its path printed. 71 when it cannot be made.
int Template();

// The keys VORN may create, change or delete (below HKEY_LOCAL_MACHINE), in
// full: a Wine run's registry is read back for these and for every key the
// device held.
std::vector<std::vector<std::u16string>> VornKeyRoots();

// Wine's service control manager starts the auto-start services when a
// session starts; XP does so at boot, and a run by hand is not a boot. The
// runner seeds them as demand-start (3) and the device's start type is kept
// unless the run wrote another one.
// The calls Wine's relay trace follows (RelayInclude): the computer name
// VORN sets is journaled from the call as it was made, since the name Wine
// then reports is upper-cased and cut to 15 characters.
inline constexpr char kRelayedCalls[] = "SetComputerNameExA;SetComputerNameA";

inline constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
inline constexpr std::uint8_t kHeldBackStart = 3;
sim::Hive& HoldBackAutoStart(sim::Hive& hive);

// The product registers its type library for win32, the 64-bit test build
// for win64, and each unregisters only its own platform's: for a 64-bit run
// ($VORN_WINE_ARCH win64, the default) the device's win32 entries of VORN's
// library are seeded as win64 (the comparison maps them back).
sim::Hive& PresentTypeLibraryAs64(sim::Hive& hive);

// Whether the run is of the 64-bit test build ($VORN_WINE_ARCH win64 or
// unset), which alone carries the failure injection.
bool Win64Run();

// The device folder read as vorn-sim reads it between runs (65 when it
// cannot be read, with the reason on the error output).
int LoadDevice(const std::filesystem::path& folder, sim::Device& device);

// Where the device's files go in the prefix.
struct Layout {
  std::string imagePath;       // VORN.EXE's "C:\\..." path
  std::string serviceCommand;  // the installed service's command line, or ""
  std::string serviceModule;   // its program's path, or ""
  std::string upnpAgent;       // the stand-in placed as UPnPAgent.dll, or ""
  bool upnpTool = false;       // UPnPRegistrar.exe placed
  bool upnpToolStartable = true;  // as the stand-in, else as a file that is no program
  std::vector<std::string> readOnlyFiles;
};
Layout LayoutOf(sim::Device& device);

// The prefix folder for a Windows path "C:\\a\\b", matching existing
// folders and files without regard to case as Windows does.
std::filesystem::path UnixPath(const std::filesystem::path& prefix, const std::string& windows);

// A copy of the prefix FROM at TO: programs and libraries as hard links
// (nobody writes them), every other file copied with its time. False when
// an entry cannot be made.
bool CopyPrefix(const std::filesystem::path& from, const std::filesystem::path& to);

// A fresh prefix at WORK/prefix from the template, seeded with the
// device's files, the stand-ins and VORN.EXE (71 when that fails).
int SeedFiles(const std::filesystem::path& device, const std::filesystem::path& work,
              const std::filesystem::path& templ);

// The run in the runner's namespaces: WORK/prefix seeded from the
// template, VORN.EXE started (by hand through vorn-launch.exe, or as the
// service through sc), everything read back into the device folder.
// Returns the program's exit code (its low byte) or the runner's error.
int RunWine(const std::filesystem::path& device, const std::filesystem::path& work,
            const std::filesystem::path& templ);

// The device's drive after the run: each top-level entry of c/ as the
// prefix holds it. False when one cannot be copied.
bool CopyBack(const std::filesystem::path& device, const std::filesystem::path& prefix);

// The registry regedit exported after a run (WORK/export-N.reg for the
// lines of WORK/export-keys.txt, its output in WORK/export-out.txt, the
// mark of its end in WORK/export-done.txt) as one .reg text. False, with
// the reason, when the export did not end or a key has no file although
// regedit did not say that it does not exist.
bool ReadExports(const std::filesystem::path& work, std::string* all, std::string* error);

// The state and exit code "sc query" printed, as one line "RUNNING 0";
// nothing when it shows no state. Returns 0.
int ServiceState(std::istream& in, std::ostream& out);

// The file's bytes; false when it cannot be read.
bool ReadBytes(const std::filesystem::path& path, std::string* bytes);

// The name Linux gives the veth interface of the adapter at `index` with
// this description: at most 15 bytes, no blank or '/'. It keeps what the
// adapter choice looks at: whether "Intel" occurs (in any case).
std::string InterfaceName(const std::string& description, std::size_t index);

}  // namespace wine
