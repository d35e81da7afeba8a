// Registration verbs: COM local server, Windows service, event source and
// the runtime's dependency on this service.
#include <memory>

#include "common/reg_access.h"
#include "host/dependency_list.h"
#include "host/registrar.h"
#include "host/service_module.h"

namespace vorn {
namespace {

// "VORN" in these entries is the product's fixed name, not serviceName.
constexpr char kProductName[] = "VORN";
constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\VORN";
constexpr char kRuntimeServiceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\Quorvex System Service";
constexpr char kEventMessageFile[] = "%SystemRoot%\\System32\\ZentravisePS.dll";
constexpr std::uint32_t kTypesSupported = 7;  // error, warning, information
constexpr std::uint32_t kRegistryScriptResource = 100;
constexpr std::size_t kMaxPath = 260;
// How long a removal waits for a running instance to stop, and how often it
// looks.
constexpr std::uint32_t kStopWaitMs = 30000;
constexpr std::uint32_t kStopPollMs = 250;

// An unquoted path with a blank lets the service control manager try
// "C:\Program.exe" first, as LocalSystem: such a path is quoted.
std::string ServiceImagePath(const std::string& modulePath) {
  if (modulePath.find(' ') == std::string::npos) return modulePath;
  return "\"" + modulePath + "\"";
}

// RegOpenKeyA of the runtime's service key (it opens with the caller's
// maximum rights).
std::unique_ptr<os::RegistryKey> OpenRuntimeServiceKey(os::Registry& registry) {
  std::unique_ptr<os::RegistryKey> key;
  if (registry.OpenKey(os::RootKey::kLocalMachine, kRuntimeServiceKey, os::kMaximumAllowed,
                       &key) != os::kSuccess) {
    return nullptr;
  }
  return key;
}

// What an interrupted removal may have left behind once the service itself
// is gone: the "VORN" entries in the runtime's dependency list and the event
// source key. Removal only takes them out while the service exists, so
// after a removal that deleted the service and then failed (a registry
// error, a power cut) a repeat would find nothing to do, and the runtime's
// service would keep depending on a service that no longer exists - the
// service control manager then refuses to start it. The verbs whose form has
// no service ("RegServer", "UnregServer") therefore take these out as well
// when no service is installed. "Service" does not: it installs right after
// and appends its entry as always.
void RemoveDependencyAndEventSource(const os::Platform& p) {
  std::unique_ptr<os::RegistryKey> runtime = OpenRuntimeServiceKey(p.registry);
  if (runtime) {
    DependencyList list;
    // Written back only when an entry went: a list that could not be read
    // is never replaced.
    if (ReadDependencies(*runtime, &list) && list.RemoveNoCase(kProductName, p.text) > 0) {
      WriteDependencies(*runtime, list);
    }
    runtime.reset();
  }
  p.registry.DeleteTree(os::RootKey::kLocalMachine, kEventSourceKey);
}

// XP only marks a running service for deletion: it stays installed until
// its process ends, so an installation right after the removal would find
// it there and create nothing, and once the old process had gone no service
// would be left. A running instance is therefore told to stop and waited
// for, within a bound, before the delete. The wait ends early when the
// status cannot be read.
void StopAndWait(os::ScHandle& service, os::Modules& modules) {
  if (service.Control(os::kServiceControlStop) != os::kSuccess) return;  // not running
  for (std::uint32_t waited = 0; waited < kStopWaitMs; waited += kStopPollMs) {
    os::ServiceStatus status;
    if (service.QueryStatus(&status) != os::kSuccess ||
        status.currentState == os::kServiceStopped) {
      return;
    }
    modules.Sleep(kStopPollMs);
  }
}

}  // namespace

std::int32_t CServiceModule::RegisterServer(bool registerTypeLibrary, bool asService) {
  const os::Platform& p = platform_;
  const os::HResult com = p.com.Initialize();
  if (os::Failed(com)) return com;

  Uninstall();
  if (!asService && !IsInstalled()) RemoveDependencyAndEventSource(p);
  // The registrar's outcome is not examined: the keys below are checked by
  // opening them.
  UpdateRegistryFromResource(p, kRegistryScriptResource, true, nullptr);

  os::HResult result = os::kSOk;
  std::unique_ptr<os::RegistryKey> appIds;
  std::unique_ptr<os::RegistryKey> appId;
  os::Status status =
      p.registry.OpenKey(os::RootKey::kClassesRoot, "AppID", os::kKeyWrite, &appIds);
  if (status == os::kSuccess) status = appIds->OpenKey(kAppId, os::kKeyWrite, &appId);
  if (status != os::kSuccess) {
    // The registry status itself is the exit code. COM is released here as
    // everywhere else: it was initialised for this verb only.
    result = static_cast<std::int32_t>(status);
  } else {
    appId->DeleteValue("LocalService");
    if (asService) {
      SetString(*appId, "LocalService", kProductName);
      SetString(*appId, "ServiceParameters", "-Service");
      Install();
    }
    // The class table is empty: registering the server is registering its
    // type library.
    if (registerTypeLibrary) result = p.com.RegisterTypeLibrary();
  }
  p.com.Uninitialize();
  return result;
}

std::int32_t CServiceModule::UnregisterServer() {
  const os::Platform& p = platform_;
  const os::HResult com = p.com.Initialize();
  if (os::Failed(com)) return com;
  UpdateRegistryFromResource(p, kRegistryScriptResource, false, nullptr);
  Uninstall();
  if (!IsInstalled()) RemoveDependencyAndEventSource(p);
  p.com.UnregisterTypeLibrary();
  p.com.Uninitialize();
  return 0;
}

bool CServiceModule::IsInstalled() {
  std::unique_ptr<os::ScHandle> manager;
  if (platform_.services.OpenManager(os::kScManagerAllAccess, &manager) != os::kSuccess) {
    return false;
  }
  std::unique_ptr<os::ScHandle> service;
  return manager->OpenService(serviceName, os::kServiceQueryConfig, &service) == os::kSuccess;
}

bool CServiceModule::Install() {
  if (IsInstalled()) return true;
  const os::Platform& p = platform_;
  std::unique_ptr<os::ScHandle> manager;
  if (p.services.OpenManager(os::kScManagerAllAccess, &manager) != os::kSuccess) {
    p.ui.MessageBox("Couldn't open service manager", serviceName, os::kMbOk);
    return false;
  }
  std::string modulePath;
  p.process.ModuleFileName(kMaxPath, &modulePath);

  os::ServiceConfig config;
  config.name = serviceName;
  config.displayName = serviceName;
  config.access = os::kServiceAllAccess;
  config.serviceType = os::kServiceWin32OwnProcess;
  config.startType = os::kServiceAutoStart;
  config.errorControl = os::kServiceErrorNormal;
  config.binaryPath = ServiceImagePath(modulePath);
  config.dependencies = {"RPCSS"};
  std::unique_ptr<os::ScHandle> service;
  if (manager->CreateService(config, &service) != os::kSuccess) {
    manager.reset();
    p.ui.MessageBox("Couldn't create service", serviceName, os::kMbOk);
    return false;
  }
  service.reset();
  manager.reset();

  std::unique_ptr<os::RegistryKey> source;
  if (p.registry.CreateKey(os::RootKey::kLocalMachine, kEventSourceKey, os::kKeyReadWrite,
                           &source) == os::kSuccess) {
    SetString(*source, "EventMessageFile", kEventMessageFile);
    SetDword(*source, "TypesSupported", kTypesSupported);
    source.reset();
  }

  std::unique_ptr<os::RegistryKey> runtime = OpenRuntimeServiceKey(p.registry);
  if (!runtime) return false;
  DependencyList list;
  if (!ReadDependencies(*runtime, &list)) return false;
  // Not searched first: an entry already present is added again, and
  // removal takes out every one of them.
  list.Append(kProductName);
  WriteDependencies(*runtime, list);
  return true;
}

bool CServiceModule::Uninstall() {
  if (!IsInstalled()) return true;
  const os::Platform& p = platform_;
  std::unique_ptr<os::ScHandle> manager;
  if (p.services.OpenManager(os::kScManagerAllAccess, &manager) != os::kSuccess) {
    p.ui.MessageBox("Couldn't open service manager", serviceName, os::kMbOk);
    return false;
  }
  std::unique_ptr<os::ScHandle> service;
  if (manager->OpenService(serviceName, os::kServiceStopQueryAndDelete, &service) !=
      os::kSuccess) {
    manager.reset();
    p.ui.MessageBox("Couldn't open service", serviceName, os::kMbOk);
    return false;
  }
  StopAndWait(*service, p.modules);
  const bool deleted = service->Delete() == os::kSuccess;
  service.reset();
  manager.reset();

  // Without the runtime's key or its dependency value the event source key
  // stays and no message is shown, even when the deletion failed.
  std::unique_ptr<os::RegistryKey> runtime = OpenRuntimeServiceKey(p.registry);
  if (!runtime) return false;
  DependencyList list;
  if (!ReadDependencies(*runtime, &list)) return false;
  list.RemoveNoCase(kProductName, p.text);
  WriteDependencies(*runtime, list);
  runtime.reset();

  p.registry.DeleteTree(os::RootKey::kLocalMachine, kEventSourceKey);
  if (!deleted) {
    p.ui.MessageBox("Service could not be deleted", serviceName, os::kMbOk);
    return false;
  }
  return true;
}

}  // namespace vorn
