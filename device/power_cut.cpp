// The power cut. device.json names it as {"powerCut": {"after": N}}: the
// power fails right after the Nth disk step of the run. Disk steps are: a
// file written (the XML document's save), a file flushed, a rename
// (MoveFileExA), a deletion, a volume flushed; with {"registry": true} also every registry
// change and every computer name set.
// At the cut every file written and not flushed since is left short (half
// its bytes: what the disk had taken so far), the journal gets a "powerCut"
// record, and the device stops: later file calls fail with ERROR_NOT_READY
// and change nothing, nothing more is journaled, and the registry and
// device state stay as they were at the cut. The cut is spent once it has
// happened.
#include <algorithm>

#include "device/device.h"
#include "device/device_json.h"
#include "device/reg_file.h"
#include "device/whole_file.h"

namespace sim {
namespace fs = std::filesystem;

bool ReadPowerCut(const Json& file, DeviceState* state, std::string*) {
  if (file.contains("powerCut") && !file["powerCut"].is_null()) {
    state->powerCutAfter = file["powerCut"].at("after").get<std::uint32_t>();
    state->powerCutCountsRegistry = file["powerCut"].value("registry", false);
  }
  return true;
}

bool Device::PowerOn() {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  return !cut_;
}

void Device::MarkUnflushed(const fs::path& host) {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  if (std::find(unflushed_.begin(), unflushed_.end(), host) == unflushed_.end()) {
    unflushed_.push_back(host);
  }
}

void Device::MarkFlushed(const fs::path& host) {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), host), unflushed_.end());
}

void Device::MarkRenamed(const fs::path& from, const fs::path& to) {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  // A rename moves the name, not the data: unflushed data stays at risk
  // under its new name, and whatever the target held is gone.
  const bool dirty =
      std::find(unflushed_.begin(), unflushed_.end(), from) != unflushed_.end();
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), from), unflushed_.end());
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), to), unflushed_.end());
  if (dirty) unflushed_.push_back(to);
}

void Device::DiskStep(const std::string& what) {
  std::lock_guard<std::recursive_mutex> lock(runMutex_);
  if (cut_) return;
  ++diskSteps_;
  if (!state_.powerCutAfter || diskSteps_ != *state_.powerCutAfter) return;
  Json shortened = Json::array();
  for (const fs::path& file : unflushed_) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) continue;
    fs::resize_file(file, size / 2, ec);
    shortened.push_back(fs::relative(file, folder_, ec).generic_string());
  }
  unflushed_.clear();
  Journal({{"kind", "powerCut"}, {"after", diskSteps_}, {"step", what},
           {"shortened", shortened}});
  PowerCut cut;
  if (registryChanged_) cut.registry = WriteRegFile(hive_);
  cut.state = state_;
  cut_ = std::move(cut);
}

bool Device::KeepStateAtCut(std::string* error) {
  if (cut_->registry && !WriteFileAtomic(folder_ / "registry.reg", *cut_->registry)) {
    *error = "cannot write registry.reg";
    return false;
  }
  registryChanged_ = false;
  state_ = cut_->state;
  state_.powerCutAfter.reset();
  state_.powerCutCountsRegistry = false;
  // The device starts again after the cut: a name set before it takes
  // effect as after any restart.
  if (state_.pendingHostName) state_.restartScheduled = "power cut";
  json_.erase("powerCut");
  stateChanged_ = true;
  return true;
}

}  // namespace sim
