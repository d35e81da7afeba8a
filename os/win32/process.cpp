// The running process: command line, module, resources, thread messages,
// window classes and critical sections.
#include <map>
#include <vector>

#include "os/win32/backend.h"

namespace os::win32 {
namespace {

class CriticalSection final : public Mutex {
 public:
  CriticalSection() { ::InitializeCriticalSection(&section_); }
  ~CriticalSection() override { ::DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Lock() override { ::EnterCriticalSection(&section_); }
  void Unlock() override { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// The message each class registered here posts on (by class atom); a class
// without an entry never gets the procedure below. Filled before any window
// of the class exists; read by the procedure on the window's thread.
CriticalSection g_classesLock;
std::map<ATOM, UINT> g_postedMessages;

UINT PostedMessage(ATOM atom) {
  MutexLock lock(g_classesLock);
  auto it = g_postedMessages.find(atom);
  return it == g_postedMessages.end() ? 0 : it->second;
}

// A broadcast such as WM_TIMECHANGE is sent: it reaches only the window
// procedure, and GetMessageA never returns it. Posting it to the thread
// (without a window, so that no dispatch could bring it back here) lets the
// thread's message loop see it.
LRESULT CALLBACK PostingWindowProcedure(HWND window, UINT message,
                                        WPARAM wParam, LPARAM lParam) {
  const auto atom = static_cast<ATOM>(::GetClassWord(window, GCW_ATOM));
  if (message != 0 && message == PostedMessage(atom)) {
    ::PostThreadMessageA(::GetCurrentThreadId(), message, wParam, lParam);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::string Process::CommandLine() {
  const char* line = ::GetCommandLineA();
  return line ? std::string(line) : std::string();
}

bool Process::LoadResource(const std::string& type, std::uint32_t id,
                           std::string* bytes) {
  bytes->clear();
  HRSRC found = ::FindResourceA(instance_, MAKEINTRESOURCEA(id), type.c_str());
  if (found == nullptr) return false;
  // Resource memory belongs to the module: nothing to free.
  HGLOBAL loaded = ::LoadResource(instance_, found);
  const DWORD size = ::SizeofResource(instance_, found);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) return false;
  bytes->assign(static_cast<const char*>(data), size);
  return true;
}

int Process::LoadString(std::uint32_t id, std::size_t capacity,
                        std::string* text) {
  text->clear();
  // A zero-sized buffer makes LoadStringA hand out a pointer into the
  // resource instead of copying; nothing can be copied into it anyway.
  if (capacity == 0) return 0;
  std::vector<char> buffer(capacity);
  int copied = ::LoadStringA(instance_, id, buffer.data(),
                             static_cast<int>(capacity));
  if (copied <= 0) return 0;
  text->assign(buffer.data(), static_cast<std::size_t>(copied));
  return copied;
}

std::uint32_t Process::ModuleFileName(std::size_t capacity, std::string* path) {
  path->clear();
  std::vector<char> buffer(capacity + 1);
  DWORD copied = ::GetModuleFileNameA(nullptr, buffer.data(),
                                      static_cast<DWORD>(capacity));
  if (copied == 0) return 0;
  path->assign(buffer.data(), copied);
  return copied;
}

std::uint32_t Process::CurrentThreadId() { return ::GetCurrentThreadId(); }

void Process::SetLastError(Status status) { ::SetLastError(status); }

Status Process::GetLastError() { return ::GetLastError(); }

bool Process::PostThreadMessage(std::uint32_t threadId, std::uint32_t message) {
  return ::PostThreadMessageA(threadId, message, 0, 0) != FALSE;
}

std::uint32_t Process::GetMessage() {
  MSG msg{};
  BOOL result = ::GetMessageA(&msg, nullptr, 0, 0);
  // -1 (a failure) would leave msg empty and be asked again at once.
  if (result == 0 || result == -1) return kWmQuit;
  return msg.message;
}

bool Process::RegisterWindowClass(const std::string& className,
                                  std::uint32_t postedMessage) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc =
      postedMessage != 0 ? &PostingWindowProcedure : &::DefWindowProcA;
  windowClass.hInstance = instance_;
  windowClass.lpszClassName = className.c_str();
  // The table entry goes in under the lock, before a window can exist.
  MutexLock lock(g_classesLock);
  const ATOM atom = ::RegisterClassExA(&windowClass);
  if (atom == 0) return false;
  if (postedMessage != 0) g_postedMessages[atom] = postedMessage;
  return true;
}

bool Process::CreateHiddenWindow(const std::string& className) {
  // Never destroyed: the window must exist for as long as the process
  // listens for system broadcasts.
  HWND window = ::CreateWindowExA(0, className.c_str(), "", WS_DISABLED, 0, 0,
                                  0, 0, nullptr, nullptr, instance_, nullptr);
  return window != nullptr;
}

std::unique_ptr<Mutex> Process::NewMutex() {
  return std::make_unique<CriticalSection>();
}

}  // namespace os::win32
