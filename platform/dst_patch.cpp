// Placeholder until the DST patch is built: it is never enabled and every
// operation reports failure.
#include "platform/dst_patch.h"

namespace vorn {

DstPatch::DstPatch(const os::Platform& platform)
    : reg(platform.registry, platform.process), platform_(platform) {}

void DstPatch::Load() {}
int DstPatch::Enable() { return 0; }
int DstPatch::Disable() { return 0; }
int DstPatch::CorrectAtBoot() { return 101; }
int DstPatch::WatchTimeChanges() { return 0; }
int DstPatch::RecordState() { return 0; }
int DstPatch::ShiftClock(bool) { return 0; }
int DstPatch::CreateTimeChangeWindow() { return 0; }

}  // namespace vorn
