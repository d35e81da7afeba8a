// FBWF and EWF state through the XP Embedded libraries, bound at load time.
#include "os/win32/backend.h"
#include "os/win32/handles.h"
#include "os/win32/write_filter_api.h"

namespace os::win32 {
namespace {

struct EwfHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::EwfMgrClose(h); }
};
using UniqueEwfHandle = UniqueHandle<EwfHandleTraits>;

class Volume final : public EwfVolume {
 public:
  explicit Volume(HANDLE handle) : handle_(handle) {}

  bool GetConfigState(std::uint32_t* state, Status* lastError) override {
    PEWF_VOLUME_CONFIG_PREFIX config = ::EwfMgrGetProtectedVolumeConfig(handle_.Get());
    if (!config) {
      *lastError = static_cast<Status>(::GetLastError());
      return false;
    }
    UniqueLocalMemory block(config);
    *state = config->State;
    return true;
  }

  bool Close(Status* lastError) override {
    if (!handle_) return true;
    if (!::EwfMgrClose(handle_.Get())) {
      // Still held: the destructor, or the caller, tries again.
      *lastError = static_cast<Status>(::GetLastError());
      return false;
    }
    handle_.Release();
    return true;
  }

 private:
  UniqueEwfHandle handle_;
};

class VolumeList final : public EwfVolumeList {
 public:
  explicit VolumeList(PEWF_VOLUME_NAME_ENTRY head) : head_(head) {}
  ~VolumeList() override {
    if (head_) ::EwfMgrVolumeNameListDelete(head_);
  }
  VolumeList(const VolumeList&) = delete;
  VolumeList& operator=(const VolumeList&) = delete;

  bool IsEmpty() override {
    return ::EwfMgrVolumeNameListIsEmpty(head_) != FALSE;
  }

  std::unique_ptr<EwfVolume> OpenHead() override {
    if (!head_) return nullptr;
    HANDLE handle = ::EwfMgrOpenProtected(head_->Name);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Volume>(handle);
  }

  void PopHead() override { ::EwfMgrVolumeNameEntryPop(&head_); }

 private:
  PEWF_VOLUME_NAME_ENTRY head_;
};

}  // namespace

Status WriteFilters::FbwfIsFilterEnabled(std::uint32_t* current,
                                         std::uint32_t* next) {
  ULONG now = 0;
  ULONG afterRestart = 0;
  ULONG status = ::FbwfIsFilterEnabled(&now, &afterRestart);
  if (status == 0) {
    *current = now;
    *next = afterRestart;
  }
  return static_cast<Status>(status);
}

std::unique_ptr<EwfVolumeList> WriteFilters::GetProtectedVolumeList() {
  PEWF_VOLUME_NAME_ENTRY head = ::EwfMgrGetProtectedVolumeList();
  if (!head) return nullptr;
  return std::make_unique<VolumeList>(head);
}

}  // namespace os::win32
