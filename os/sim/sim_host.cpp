#include "os/sim/sim_host.h"

#include <cstdio>
#include <iostream>

#include "device/codepage.h"

namespace sim {
namespace {

class SimEventSource : public os::EventSource {
 public:
  SimEventSource(Device& device, std::string source)
      : device_(device), source_(std::move(source)) {}

  bool Report(std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
              const std::string& text) override {
    if (device_.Fault("ReportEventA")) return false;
    Json record = {{"kind", "event"}, {"source", source_}, {"type", type},
                   {"text", Utf16ToUtf8(Cp1252ToUtf16(text))}};
    if (category != 0) record["category"] = category;
    if (eventId != 0) record["eventId"] = eventId;
    device_.Journal(record);
    return true;
  }

 private:
  Device& device_;
  std::string source_;
};

class StdMutex : public os::Mutex {
 public:
  void Lock() override { mutex_.lock(); }
  void Unlock() override { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<os::EventSource> SimEventLog::RegisterSource(const std::string& sourceName) {
  if (device_.Fault("RegisterEventSourceA")) return nullptr;
  return std::make_unique<SimEventSource>(device_, sourceName);
}

std::uint32_t SimProcess::ModuleFileName(std::size_t capacity, std::string* path) {
  path->clear();
  if (device_.Fault("GetModuleFileNameA") || capacity == 0) return 0;
  // As on XP: a path that does not fit is cut and not terminated; the
  // result is the capacity.
  *path = device_.state().imagePath.substr(0, capacity);
  return static_cast<std::uint32_t>(path->size());
}

std::uint32_t SimProcess::CurrentThreadId() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, added] = threadIds_.emplace(std::this_thread::get_id(),
                                        static_cast<std::uint32_t>(threadIds_.size() + 1) * 4);
  return it->second;
}

namespace {
thread_local os::Status lastError = 0;
}  // namespace

void SimProcess::SetLastError(os::Status status) { lastError = status; }
os::Status SimProcess::GetLastError() { return lastError; }

bool SimProcess::PostThreadMessage(std::uint32_t threadId, std::uint32_t message) {
  if (device_.Fault("PostThreadMessageA")) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  bool known = false;
  for (const auto& [thread, id] : threadIds_) known = known || id == threadId;
  if (!known) return false;
  queues_[threadId].push_back(message);
  posted_.notify_all();
  return true;
}

// A sent message reaches the window procedure of each window the thread
// owns; only a procedure that posts it on puts it into the queue. Caller holds
// mutex_.
void SimProcess::SendToWindows(std::uint32_t thread, std::uint32_t message) {
  for (const auto& [owner, className] : windows_) {
    if (owner == thread && classes_[className] == message) queues_[thread].push_back(message);
  }
}

std::uint32_t SimProcess::GetMessage() {
  // A failing GetMessageA (-1) ends the caller's loop like WM_QUIT.
  if (device_.Fault("GetMessageA")) return os::kWmQuit;
  const std::uint32_t self = CurrentThreadId();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto& queue = queues_[self];
    if (!queue.empty()) {
      std::uint32_t message = queue.front();
      queue.pop_front();
      return message;
    }
    auto& script = device_.state().messages;
    if (nextScripted_ < script.size()) {
      const SimMessage& m = script[nextScripted_++];
      switch (m.kind) {
        case SimMessage::kQuit:
          return os::kWmQuit;
        case SimMessage::kTimeChange:
          device_.state().timeZoneId = m.value;
          device_.MarkStateChanged();
          device_.Journal({{"kind", "timeZoneChange"}, {"id", m.value}});
          SendToWindows(self, os::kWmTimeChange);
          continue;
        case SimMessage::kMessage:
          return m.value;
      }
    }
    if (idle_) {
      lock.unlock();
      bool acted = idle_();
      lock.lock();
      if (acted) {
        // Give the other thread's post a moment to arrive.
        posted_.wait_for(lock, std::chrono::milliseconds(200),
                         [&] { return !queues_[self].empty(); });
        continue;
      }
    }
    // Nothing can reach the queue any more: a real device would wait here
    // until it is switched off. The simulation ends the wait as a quit so
    // that the run unwinds and its journal is kept.
    device_.Journal({{"kind", "idle"},
                     {"text", "nothing more reaches the message queue; the "
                              "wait ends here as if the thread were told to quit"}});
    return os::kWmQuit;
  }
}

bool SimProcess::RegisterWindowClass(const std::string& className,
                                     std::uint32_t postedMessage) {
  if (device_.Fault("RegisterClassExA")) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return classes_.emplace(className, postedMessage).second;  // a second registration fails
}

bool SimProcess::CreateHiddenWindow(const std::string& className) {
  if (device_.Fault("CreateWindowExA")) return false;
  const std::uint32_t self = CurrentThreadId();
  std::lock_guard<std::mutex> lock(mutex_);
  if (classes_.count(className) == 0) return false;
  windows_.emplace_back(self, className);
  return true;
}

std::unique_ptr<os::Mutex> SimProcess::NewMutex() { return std::make_unique<StdMutex>(); }

int SimText::CompareNoCase(const std::string& a, const std::string& b) {
  return Cp1252CompareNoCase(a, b);
}

std::size_t SimText::FindNoCase(const std::string& haystack, const std::string& needle) {
  if (needle.size() > haystack.size()) return std::string::npos;
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (Cp1252CompareNoCase(haystack.substr(i, needle.size()), needle) == 0) return i;
  }
  return std::string::npos;
}

std::u16string SimText::ToWide(const std::string& text) { return Cp1252ToUtf16(text); }
std::string SimText::FromWide(const std::u16string& text) { return Utf16ToCp1252(text); }

int SimUi::MessageBox(const std::string& text, const std::string& caption,
                      std::uint32_t style) {
  if (device_.Fault("MessageBoxA")) return 0;
  device_.Journal({{"kind", "messageBox"},
                   {"caption", Utf16ToUtf8(Cp1252ToUtf16(caption))},
                   {"text", Utf16ToUtf8(Cp1252ToUtf16(text))},
                   {"style", style}});
  return 1;  // IDOK: the only button
}

void SimUi::WriteStdout(const std::string& text) {
  std::string utf8 = Utf16ToUtf8(Cp1252ToUtf16(text));
  if (device_.echo()) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
  }
  device_.Journal({{"kind", "stdout"}, {"text", utf8}});
}

void SimUi::WriteStdoutWide(const std::u16string& text) {
  std::string utf8 = Utf16ToUtf8(text);
  if (device_.echo()) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
  }
  device_.Journal({{"kind", "stdout"}, {"text", utf8}, {"wide", true}});
}

os::HResult SimCom::Initialize() {
  if (auto e = device_.Fault("CoInitialize")) return static_cast<os::HResult>(*e);
  std::lock_guard<std::mutex> lock(mutex_);
  return apartments_[std::this_thread::get_id()]++ == 0 ? os::kSOk : os::kSFalse;
}

void SimCom::Uninitialize() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = apartments_.find(std::this_thread::get_id());
  if (it != apartments_.end() && it->second > 0) --it->second;
}

os::HResult SimCom::InitializeSecurity() {
  // The descriptor passed names the process token's user and group: the
  // token is opened first, and its failure ends the setup.
  if (auto e = device_.Fault("OpenProcessToken")) {
    return os::HResultFromWin32(static_cast<os::Status>(*e));
  }
  if (auto e = device_.Fault("CoInitializeSecurity")) return static_cast<os::HResult>(*e);
  std::lock_guard<std::mutex> lock(mutex_);
  constexpr auto kRpcETooLate = static_cast<os::HResult>(0x80010119u);
  if (securityInitialized_) return kRpcETooLate;
  securityInitialized_ = true;
  return os::kSOk;
}

}  // namespace sim
