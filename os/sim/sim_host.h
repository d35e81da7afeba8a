// The simulated device's process-level facilities: event log, the process
// (command line, resources, threads and their message queues, windows,
// locks), code page, user interface and COM.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "os/com.h"
#include "os/event_log.h"
#include "os/process.h"
#include "os/text.h"
#include "os/ui.h"
#include "device/device.h"

namespace sim {

class SimEventLog : public os::EventLog {
 public:
  explicit SimEventLog(Device& device) : device_(device) {}
  std::unique_ptr<os::EventSource> RegisterSource(const std::string& sourceName) override;

 private:
  Device& device_;
};

class SimProcess : public os::Process {
 public:
  SimProcess(Device& device, std::string commandLine)
      : device_(device), commandLine_(std::move(commandLine)) {}

  std::string CommandLine() override { return commandLine_; }
  // The string table is device.json's "strings" (sim_resources.cpp).
  int LoadString(std::uint32_t id, std::size_t capacity, std::string* text) override;
  std::uint32_t ModuleFileName(std::size_t capacity, std::string* path) override;
  // Serves the resources VORN.EXE carries that the simulated device needs:
  // "REGISTRY" 100, the registry script (sim_resources.cpp).
  bool LoadResource(const std::string& type, std::uint32_t id,
                    std::string* bytes) override;
  std::uint32_t CurrentThreadId() override;
  void SetLastError(os::Status status) override;
  os::Status GetLastError() override;
  bool PostThreadMessage(std::uint32_t threadId, std::uint32_t message) override;
  // Scripted time changes are the system's broadcast: sent to the calling
  // thread's windows, whose class procedure may post them to the queue.
  std::uint32_t GetMessage() override;
  bool RegisterWindowClass(const std::string& className,
                           std::uint32_t postedMessage) override;
  bool CreateHiddenWindow(const std::string& className) override;
  std::unique_ptr<os::Mutex> NewMutex() override;

  // Called by GetMessage when the calling thread's queue and the scripted
  // messages are exhausted. It may post to the queue (a scripted service
  // control, say) and returns true when it did something; when it returns
  // false nothing can ever arrive and the wait would never end.
  void set_idle_handler(std::function<bool()> handler) { idle_ = std::move(handler); }

 private:
  void SendToWindows(std::uint32_t thread, std::uint32_t message);

  Device& device_;
  std::string commandLine_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::map<std::thread::id, std::uint32_t> threadIds_;
  std::map<std::uint32_t, std::deque<std::uint32_t>> queues_;
  // Class name -> the message its window procedure posts on (0: none).
  std::map<std::string, std::uint32_t> classes_;
  // The windows that exist: their thread and class.
  std::vector<std::pair<std::uint32_t, std::string>> windows_;
  std::size_t nextScripted_ = 0;
  std::function<bool()> idle_;
};

class SimText : public os::Text {
 public:
  bool IsLeadByte(std::uint8_t) override { return false; }  // Windows-1252
  int CompareNoCase(const std::string& a, const std::string& b) override;
  std::size_t FindNoCase(const std::string& haystack, const std::string& needle) override;
  std::u16string ToWide(const std::string& text) override;
  std::string FromWide(const std::u16string& text) override;
};

class SimUi : public os::Ui {
 public:
  explicit SimUi(Device& device) : device_(device) {}
  int MessageBox(const std::string& text, const std::string& caption,
                 std::uint32_t style) override;
  void WriteStdout(const std::string& text) override;
  void WriteStdoutWide(const std::u16string& text) override;

 private:
  Device& device_;
};

class SimCom : public os::Com {
 public:
  explicit SimCom(Device& device) : device_(device) {}
  os::HResult Initialize() override;
  void Uninitialize() override;
  os::HResult InitializeSecurity() override;
  os::HResult RegisterTypeLibrary() override;
  os::HResult UnregisterTypeLibrary() override;
  os::HResult CreateXmlDocument(std::unique_ptr<os::XmlDocument>* document) override;

 private:
  Device& device_;
  std::mutex mutex_;
  std::map<std::thread::id, int> apartments_;
  bool securityInitialized_ = false;
};

}  // namespace sim
