// The job run: one pass per boot.
#include "common/image_info.h"
#include "common/reg_access.h"
#include "host/service_module.h"
#include "tasks/display/boot_project.h"
#include "tasks/identity/id_check.h"
#include "tasks/write_filter_dst/dst_patch.h"
#include "tasks/write_filter_dst/write_filter.h"

namespace vorn {
namespace {

// The event texts below ("imageinformations", "where not executed", "An
// WriteFilter") stay word for word, slips included: logs stored on the
// devices carry them, and the operators' searches and monitoring match
// them as they have always been written. A corrected text would go unseen.

// The identity tasks in their fixed order; each runs whatever the earlier
// ones returned, and a skipped task counts as neither success nor failure.
void RunTasks(CServiceModule& module, RegAccess& reg) {
  const os::Platform& p = module.platform();
  EventReporter& events = module.events();
  ImageInfo info;
  if (!info.Read(reg)) {
    events.Report(EVENTLOG_ERROR_TYPE, "No imageinformations were found in the registry");
    return;
  }
  IDCheck id(p, events, module.upnpLibrary(), info.PlatformShort);
  bool result = id.CheckComputerName();
  result = id.CheckUpnp() && result;
  if (info.IsFamilyPlatform()) {
    result = UpdateDisplayText(p, events, info.DisplayText(1)) && result;
  }
  if (IsRouteNetIdUnset(p.registry)) result = id.SetOlmNetId() && result;
  if (result) {
    events.Report(EVENTLOG_INFORMATION_TYPE, "VORN completed successfully");
  } else {
    events.Report(EVENTLOG_ERROR_TYPE, "One or more tasks where not executed properly.");
  }
}

}  // namespace

void CServiceModule::Run() {
  const os::Platform& p = platform_;
  threadId = p.process.CurrentThreadId();
  const os::HResult com = p.com.Initialize();
  p.com.InitializeSecurity();
  // The module's class table is empty: there are no class objects to
  // register here or to revoke at the end.
  if (isService) ReportStatus(os::kServiceRunning);

  RegAccess reg(p.registry, p.process);
  DstPatch dst(p);
  dst.Load();
  if (IsWriteFilterActive(p)) {
    if (dst.enabled != 0) {
      dst.CorrectAtBoot();
      dst.WatchTimeChanges();
    } else {
      events_.Report(EVENTLOG_WARNING_TYPE, "An WriteFilter is active. Stopping execution.");
    }
  } else {
    RunTasks(*this, reg);
  }
  // Only a successful initialisation is paired: an extra CoUninitialize
  // would tear down an apartment this thread does not own.
  if (!os::Failed(com)) p.com.Uninitialize();
}

}  // namespace vorn
