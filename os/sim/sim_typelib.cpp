// Type library registration on the simulated device: the entries that
// RegisterTypeLib makes for the executable's library (its header embedded
// from resources/vorn.idl), and their removal.
#include "device/codepage.h"
#include "device/hive_values.h"
#include "os/sim/sim_host.h"
#include "os/sim/vorn_resources.h"

namespace sim {
namespace {

constexpr auto kTypeERegistryAccess = static_cast<os::HResult>(0x8002801Cu);
constexpr std::size_t kMaxPath = 260;
constexpr os::Status kErrorInsufficientBuffer = 122;

std::vector<std::u16string> LibraryPath() {
  return {u"SOFTWARE", u"Classes", u"TypeLib", Cp1252ToUtf16(resources::kTypeLibId)};
}

std::u16string VersionKey() {
  return Cp1252ToUtf16(std::to_string(resources::kTypeLibMajor) + "." +
                       std::to_string(resources::kTypeLibMinor));
}

// Creates the key and its missing parents, journaling each new one.
HiveKey* Create(Device& device, const std::vector<std::u16string>& path) {
  HiveKey* key = nullptr;
  std::vector<std::u16string> prefix;
  std::u16string name = u"HKEY_CLASSES_ROOT";
  for (std::size_t i = 0; i < path.size(); ++i) {
    prefix.push_back(path[i]);
    if (i >= 2) name += u"\\" + path[i];
    bool created = false;
    key = device.hive().Create(prefix, true, &created);
    if (created) {
      device.Journal({{"kind", "registryWrite"}, {"op", "createKey"},
                      {"key", Utf16ToUtf8(name)}});
    }
  }
  return key;
}

}  // namespace

os::HResult SimCom::RegisterTypeLibrary() {
  const std::string module = device_.state().imagePath;
  // The path is read into MAX_PATH characters; one that does not fit is cut
  // and cannot name the library.
  if (module.size() >= kMaxPath) return os::HResultFromWin32(kErrorInsufficientBuffer);
  if (auto e = device_.Fault("LoadTypeLib")) return static_cast<os::HResult>(*e);
  if (auto e = device_.Fault("RegisterTypeLib")) return static_cast<os::HResult>(*e);
  const std::size_t slash = module.find_last_of('\\');
  // The help directory is the module's folder with its trailing separator,
  // as the COM module's registration passes it.
  const std::string folder = slash == std::string::npos ? "" : module.substr(0, slash + 1);
  {
    std::lock_guard<std::mutex> lock(device_.mutex());
    std::vector<std::u16string> version = LibraryPath();
    version.push_back(VersionKey());
    PutString(*Create(device_, version), "", os::kRegSz, resources::kTypeLibHelp);
    auto sub = [&](std::initializer_list<std::u16string> parts) {
      std::vector<std::u16string> path = version;
      path.insert(path.end(), parts);
      return Create(device_, path);
    };
    PutString(*sub({u"0", u"win32"}), "", os::kRegSz, module);
    PutString(*sub({u"FLAGS"}), "", os::kRegSz, "0");
    PutString(*sub({u"HELPDIR"}), "", os::kRegSz, folder);
    device_.MarkRegistryChanged();
  }
  device_.Journal({{"kind", "typeLibrary"}, {"op", "register"},
                   {"libid", resources::kTypeLibId}, {"path", module}});
  return os::kSOk;
}

os::HResult SimCom::UnregisterTypeLibrary() {
  if (auto e = device_.Fault("UnRegisterTypeLib")) return static_cast<os::HResult>(*e);
  {
    std::lock_guard<std::mutex> lock(device_.mutex());
    Hive& hive = device_.hive();
    std::vector<std::u16string> library = LibraryPath();
    std::vector<std::u16string> version = library;
    version.push_back(VersionKey());
    if (hive.Find(version) == nullptr) return kTypeERegistryAccess;
    hive.Erase(version);
    // The library's key goes too when no other version is registered.
    if (HiveKey* key = hive.Find(library); key != nullptr && key->subKeys.empty()) {
      hive.Erase(library);
    }
    device_.MarkRegistryChanged();
  }
  device_.Journal({{"kind", "typeLibrary"}, {"op", "unregister"},
                   {"libid", resources::kTypeLibId}});
  return os::kSOk;
}

}  // namespace sim
