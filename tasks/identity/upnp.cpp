// UPnP re-registration: the component is registered again whenever the
// computer name or the MAC address differs from the identity stored at its
// last registration.
#include "tasks/identity/upnp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/reg_access.h"
#include "tasks/identity/id_check.h"
#include "tasks/identity/restart.h"

namespace vorn {
namespace {

// Written in lower case here; the registry does not tell it apart from the
// image information's key.
constexpr char kIdentityKey[] = "software\\Talvenor\\IPC";
constexpr char kUpnpRestartText[] =
    "The Computer has to be restarted, because of (re)registering UPNP.";
constexpr std::uint32_t kPauseMs = 100;
constexpr int kMaxPauses = 254;

}  // namespace

bool RunAndWait(os::Modules& modules, const char* path, const char* arguments) {
  if (!modules.FileExists(path)) return false;
  char commandLine[256];
  if (arguments != nullptr) {
    std::snprintf(commandLine, sizeof commandLine, "%s %s", path, arguments);
  } else {
    std::snprintf(commandLine, sizeof commandLine, "%s", path);
  }
  std::unique_ptr<os::ChildProcess> child =
      modules.CreateProcess(commandLine, os::kStartfForceOnFeedback);
  if (!child) return true;
  std::uint32_t code = 0;
  for (int pauses = 0;
       child->GetExitCode(&code) && code == os::kStillActive && pauses < kMaxPauses;
       ++pauses) {
    modules.Sleep(kPauseMs);
  }
  return true;  // the handles close with `child`
}

bool IDCheck::CheckUpnp() {
  std::shared_ptr<os::Library> library = platform_.modules.LoadLibrary(kUpnpLibraryPath);
  if (!library) return true;  // no component on this image
  upnpLibrary_.library = library;

  RegAccess reg(platform_.registry, platform_.process);
  // One byte more than the capacity: a stored name of 16 characters
  // without a terminator still ends inside the buffer.
  char lastName[17] = {};
  std::uint32_t size = 16;
  bool read;
  try {
    read = reg.ReadString(os::RootKey::kLocalMachine, kIdentityKey, "LastComputerName",
                          lastName, &size);
  } catch (unsigned) {
    Log("Reading LastComputerName from Registry failed", EVENTLOG_ERROR_TYPE);
    return false;
  }
  // A failed read (value missing, name too long) counts as an empty name;
  // the buffer's contents are not defined then.
  const std::string stored = read ? std::string(lastName, strnlen(lastName, size)) : "";
  const bool nameChanged = stored != computerName;

  MacId lastMac = {};
  size = sizeof lastMac;
  try {
    read = reg.ReadBinary(os::RootKey::kLocalMachine, kIdentityKey, "FirstMACId", lastMac,
                          &size);
  } catch (unsigned) {
    Log("Reading MACID from Registry failed", EVENTLOG_ERROR_TYPE);
    return false;
  }
  // A stored address shorter than 6 bytes is no identity of ours either.
  const bool macChanged =
      !read || size != sizeof lastMac || std::memcmp(lastMac, macId, sizeof macId) != 0;

  if (nameChanged || macChanged) {
    RegisterUpnp();
    RequestRestart(platform_.power, kUpnpRestartText);
  }
  return true;
}

bool IDCheck::RegisterUpnp() {
  if (!upnpLibrary_.library) {
    upnpLibrary_.library = platform_.modules.LoadLibrary(kUpnpLibraryPath);
    if (!upnpLibrary_.library) return true;
  }
  upnpLibrary_.unregisterServer = upnpLibrary_.library->GetEntryPoint("DllUnregisterServer");
  upnpLibrary_.registerServer = upnpLibrary_.library->GetEntryPoint("DllRegisterServer");

  // The identity is stored first, so a registration that fails is not
  // tried again at every boot.
  RegCls(platform_.registry)
      .SetString(os::RootKey::kLocalMachine, kIdentityKey, "LastComputerName", computerName);
  RegAccess reg(platform_.registry, platform_.process);
  if (!reg.WriteBinary(os::RootKey::kLocalMachine, kIdentityKey, "FirstMACId", macId,
                       sizeof macId)) {
    Log("Writing MACID to Registry failed", EVENTLOG_ERROR_TYPE);
    return false;
  }
  // A library without one of the entry points cannot be (un)registered:
  // that is reported as the failing call would be.
  if (!upnpLibrary_.unregisterServer || upnpLibrary_.unregisterServer() != 0) {
    Log("UnregisterServer failed", EVENTLOG_ERROR_TYPE);
    return false;
  }
  if (!upnpLibrary_.registerServer || upnpLibrary_.registerServer() != 0) {
    Log("RegisterServer failed", EVENTLOG_ERROR_TYPE);
    return false;
  }
  if (!RunAndWait(platform_.modules, kUpnpToolPath)) {
    Log("UPnPRegister failed", EVENTLOG_ERROR_TYPE);
    return false;
  }
  Log("UPnP successfully registered", EVENTLOG_INFORMATION_TYPE);
  return true;
}

}  // namespace vorn
