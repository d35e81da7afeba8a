// The native half of vorn-wine: preparing a Wine prefix's seed from a device
// folder, writing back what a Wine run showed, and comparing a device run on
// both backends. See docs/wine.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/hive.h"

namespace wine {

// Exit codes as vorn-sim's: 65 bad device, 74 cannot write, 77 unsupported.
int Prepare(const std::filesystem::path& device, const std::filesystem::path& work);
int Finish(const std::filesystem::path& device, const std::filesystem::path& work);
int Compare(const std::filesystem::path& simDevice, const std::filesystem::path& wineDevice);

// The keys VORN may create, change or delete (below HKEY_LOCAL_MACHINE), in
// full: a Wine run's registry is read back for these and for every key the
// device held.
std::vector<std::vector<std::u16string>> VornKeyRoots();

// Wine's service control manager starts the auto-start services when a
// session starts; XP does so at boot, and a run by hand is not a boot. The
// runner seeds them as demand-start (3) and the device's start type is kept
// unless the run wrote another one.
inline constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
inline constexpr std::uint8_t kHeldBackStart = 3;
sim::Hive& HoldBackAutoStart(sim::Hive& hive);

// The file's bytes; false when it cannot be read.
bool ReadBytes(const std::filesystem::path& path, std::string* bytes);

// The name Linux gives the veth interface of the adapter at `index` with
// this description: at most 15 bytes, no blank or '/'. It keeps what the
// adapter choice looks at: whether "Intel" occurs (in any case).
std::string InterfaceName(const std::string& description, std::size_t index);

}  // namespace wine
