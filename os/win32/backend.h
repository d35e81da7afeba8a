// The Win32 backend of the OS port: one class per port interface, each
// making the real calls. Built only into VORN.EXE; the process entry
// (main_win32.cpp) creates one of each and bundles them into os::Platform.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "os/platform.h"
#include "os/win32/handles.h"
#include "os/win32/win32.h"

namespace os::win32 {

class Registry final : public os::Registry {
 public:
  Status OpenKey(RootKey root, const std::string& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>* key) override;
  Status CreateKey(RootKey root, const std::string& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>* key) override;
  Status DeleteTree(RootKey root, const std::string& subKey) override;
};

class EventLog final : public os::EventLog {
 public:
  std::unique_ptr<EventSource> RegisterSource(
      const std::string& sourceName) override;
};

class Process final : public os::Process {
 public:
  // `instance` is the executable's module: its resources and the owner of
  // the window classes this process registers.
  explicit Process(HINSTANCE instance) : instance_(instance) {}

  std::string CommandLine() override;
  int LoadString(std::uint32_t id, std::size_t capacity,
                 std::string* text) override;
  bool LoadResource(const std::string& type, std::uint32_t id,
                    std::string* bytes) override;
  std::uint32_t ModuleFileName(std::size_t capacity, std::string* path) override;
  std::uint32_t CurrentThreadId() override;
  void SetLastError(Status status) override;
  Status GetLastError() override;
  bool PostThreadMessage(std::uint32_t threadId, std::uint32_t message) override;
  std::uint32_t GetMessage() override;
  bool RegisterWindowClass(const std::string& className,
                           std::uint32_t postedMessage) override;
  bool CreateHiddenWindow(const std::string& className) override;
  std::unique_ptr<Mutex> NewMutex() override;

 private:
  HINSTANCE instance_;
};

class Text final : public os::Text {
 public:
  bool IsLeadByte(std::uint8_t byte) override;
  int CompareNoCase(const std::string& a, const std::string& b) override;
  std::size_t FindNoCase(const std::string& haystack,
                         const std::string& needle) override;
  std::u16string ToWide(const std::string& text) override;
  std::string FromWide(const std::u16string& text) override;
};

class Ui final : public os::Ui {
 public:
  int MessageBox(const std::string& text, const std::string& caption,
                 std::uint32_t style) override;
  void WriteStdout(const std::string& text) override;
  void WriteStdoutWide(const std::u16string& text) override;
};

class Com final : public os::Com {
 public:
  HResult Initialize() override;
  void Uninitialize() override;
  HResult InitializeSecurity() override;
  HResult RegisterTypeLibrary() override;
  HResult UnregisterTypeLibrary() override;
  HResult CreateXmlDocument(std::unique_ptr<XmlDocument>* document) override;
};

class ServiceManager final : public os::ServiceManager {
 public:
  Status OpenManager(std::uint32_t access,
                     std::unique_ptr<ScHandle>* manager) override;
  bool StartDispatcher(const std::string& name,
                       std::function<void()> serviceMain) override;
  StatusHandle RegisterHandler(
      const std::string& name,
      std::function<void(std::uint32_t)> handler) override;
  bool SetStatus(StatusHandle handle, const ServiceStatus& status) override;
};

class Network final : public os::Network {
 public:
  Status GetAdaptersInfo(std::vector<AdapterInfo>* adapters,
                         std::uint32_t* size) override;
  bool GetComputerName(std::size_t capacity, std::string* name) override;
  bool SetComputerName(const std::string& name) override;
};

class Power final : public os::Power {
 public:
  std::unique_ptr<Token> OpenProcessToken() override;
  bool LookupShutdownPrivilege() override;
  bool InitiateShutdown(const std::string& message, std::uint32_t timeoutSeconds,
                        bool forceAppsClosed, bool rebootAfterShutdown) override;
};

class Modules final : public os::Modules {
 public:
  std::shared_ptr<Library> LoadLibrary(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::unique_ptr<ChildProcess> CreateProcess(
      const std::string& commandLine, std::uint32_t startupFlags) override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  // One object per loaded module, so that loading a path again gives the
  // same library. Modules are never freed.
  std::map<HMODULE, std::shared_ptr<Library>> loaded_;
};

// The file CreateNew made: the XML backend saves through its handle.
class NewFile final : public os::NewFile {
 public:
  explicit NewFile(HANDLE handle) : handle_(handle) {}
  Status Flush() override;
  HANDLE Get() const { return handle_.Get(); }

 private:
  UniqueFileHandle handle_;
};

class Files final : public os::Files {
 public:
  Status CreateNew(const std::string& path, std::unique_ptr<os::NewFile>* file) override;
  Status FlushVolume(const std::string& path) override;
  Status CopyAttributesAndSecurity(const std::string& from,
                                   const std::string& to) override;
  Status MoveFile(const std::string& from, const std::string& to,
                  unsigned flags) override;
  Status DeleteFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool IsReadOnly(const std::string& path) override;
};

class Clock final : public os::Clock {
 public:
  std::uint32_t GetTimeZoneInformation(TimeZoneInfo* info) override;
  void GetLocalTime(SystemTime* time) override;
  bool SetLocalTime(const SystemTime& time) override;
  bool SystemTimeToFileTime(const SystemTime& time,
                            std::uint64_t* fileTime) override;
  bool FileTimeToSystemTime(std::uint64_t fileTime, SystemTime* time) override;
};

class WriteFilters final : public os::WriteFilters {
 public:
  Status FbwfIsFilterEnabled(std::uint32_t* current,
                             std::uint32_t* next) override;
  std::unique_ptr<EwfVolumeList> GetProtectedVolumeList() override;
};

// The ANSI code page text <-> UTF-16, shared by the backend files.
std::u16string Widen(const std::string& text);
std::string Narrow(const std::u16string& text);

}  // namespace os::win32
