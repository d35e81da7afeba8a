#include "os/sim/sim_machine.h"

namespace sim {
namespace {

class SimEwfVolumeHandle : public os::EwfVolume {
 public:
  SimEwfVolumeHandle(Device& device, const SimEwfVolume& volume)
      : device_(device), volume_(volume) {}
  ~SimEwfVolumeHandle() override {
    if (held_) device_.Fault("EwfMgrClose");
  }
  bool GetConfigState(std::uint32_t* state, os::Status* lastError) override {
    if (auto e = device_.Fault("EwfMgrGetProtectedVolumeConfig")) {
      *lastError = *e;
      return false;
    }
    if (volume_.configFails) {
      *lastError = *volume_.configFails;
      return false;
    }
    *state = volume_.state;
    device_.Fault("LocalFree");  // the block is released; recorded only
    return true;
  }
  bool Close(os::Status* lastError) override {
    if (auto e = device_.Fault("EwfMgrClose")) {
      *lastError = *e;
      return false;
    }
    if (volume_.closeFails) {
      *lastError = *volume_.closeFails;
      return false;
    }
    held_ = false;
    return true;
  }

 private:
  Device& device_;
  SimEwfVolume volume_;
  bool held_ = true;
};

class SimEwfList : public os::EwfVolumeList {
 public:
  SimEwfList(Device& device, std::vector<SimEwfVolume> volumes)
      : device_(device), volumes_(std::move(volumes)) {}
  // As on the device, a fully popped list has no head left to delete.
  ~SimEwfList() override {
    if (!Empty()) device_.Fault("EwfMgrVolumeNameListDelete");
  }
  bool IsEmpty() override {
    device_.Fault("EwfMgrVolumeNameListIsEmpty");  // cannot fail; recorded
    return Empty();
  }
  std::unique_ptr<os::EwfVolume> OpenHead() override {
    if (device_.Fault("EwfMgrOpenProtected") || Empty() || volumes_[next_].openFails) {
      return nullptr;
    }
    return std::make_unique<SimEwfVolumeHandle>(device_, volumes_[next_]);
  }
  void PopHead() override {
    device_.Fault("EwfMgrVolumeNameEntryPop");  // cannot fail; recorded
    if (!Empty()) ++next_;
  }

 private:
  Device& device_;
  std::vector<SimEwfVolume> volumes_;
  std::size_t next_ = 0;

  bool Empty() const { return next_ >= volumes_.size(); }
};

}  // namespace

os::Status SimWriteFilters::FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) {
  if (auto e = device_.Fault("FbwfIsFilterEnabled")) return *e;
  const DeviceState& s = device_.state();
  // A scripted status of 0 is a successful query like any other.
  if (s.fbwfStatus && *s.fbwfStatus != os::kSuccess) return *s.fbwfStatus;
  *current = s.fbwfCurrent;
  *next = s.fbwfNext;
  return os::kSuccess;
}

std::unique_ptr<os::EwfVolumeList> SimWriteFilters::GetProtectedVolumeList() {
  if (device_.Fault("EwfMgrGetProtectedVolumeList") || !device_.state().ewf) return nullptr;
  return std::make_unique<SimEwfList>(device_, *device_.state().ewf);
}

}  // namespace sim
