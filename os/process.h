// The running process: its command line, module, resources, threads, the
// thread's message queue and the locks the system needs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "os/types.h"

namespace os {

constexpr std::uint32_t kWmQuit = 0x0012;
constexpr std::uint32_t kWmTimeChange = 0x001E;

// A mutual-exclusion lock (a critical section on Windows). Not recursive.
class Mutex {
 public:
  virtual ~Mutex() = default;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

class Process {
 public:
  virtual ~Process() = default;

  // GetCommandLineA: the whole command line, the program's own path first.
  virtual std::string CommandLine() = 0;

  // LoadStringA of string resource `id` into a buffer of `capacity`
  // characters. Returns the number of characters copied (0 when the
  // resource is missing; *text is then empty).
  virtual int LoadString(std::uint32_t id, std::size_t capacity,
                         std::string* text) = 0;

  // GetModuleFileNameA of the executable into a buffer of `capacity`
  // characters. Returns the length copied; 0 on failure (*path empty).
  virtual std::uint32_t ModuleFileName(std::size_t capacity,
                                       std::string* path) = 0;

  // FindResourceA (the executable, resource `id` of type `type`), then
  // LoadResource, LockResource and SizeofResource: copies the resource's
  // bytes into *bytes. False when the resource does not exist or cannot be
  // loaded; *bytes is then empty.
  virtual bool LoadResource(const std::string& type, std::uint32_t id,
                            std::string* bytes) = 0;

  // GetCurrentThreadId.
  virtual std::uint32_t CurrentThreadId() = 0;

  // SetLastError and GetLastError of the calling thread.
  virtual void SetLastError(Status status) = 0;
  virtual Status GetLastError() = 0;

  // PostThreadMessageA(threadId, message, 0, 0). False when the thread has
  // no message queue or does not exist.
  virtual bool PostThreadMessage(std::uint32_t threadId,
                                 std::uint32_t message) = 0;

  // GetMessageA(any window, no filter) on the calling thread's queue. Blocks
  // until a posted message arrives and returns its identifier; sent
  // messages go to the window procedures meanwhile and are never returned.
  // WM_QUIT is returned as kWmQuit (GetMessageA's 0 result), and so is a
  // failure of GetMessageA (-1), so that a loop waiting for messages ends
  // rather than spin.
  virtual std::uint32_t GetMessage() = 0;

  // RegisterClassExA of `className` with the module instance and nothing
  // else. The window procedure hands every message to DefWindowProcA,
  // except `postedMessage` (0: none): a window of the class that receives it
  // posts it to its own thread's queue, as PostThreadMessageA with the same
  // parameters, and answers 0. That is how a message the system sends (a
  // broadcast such as WM_TIMECHANGE) comes out of GetMessage; a post that
  // fails (the queue is full) loses the message unnoticed. False when
  // registration failed (a class of that name exists, say).
  virtual bool RegisterWindowClass(const std::string& className,
                                   std::uint32_t postedMessage) = 0;

  // CreateWindowExA of a window of `className`: no extended style, empty
  // title, WS_DISABLED, position and size 0, no parent or menu. False when
  // no window was created. The window lives until the process ends.
  virtual bool CreateHiddenWindow(const std::string& className) = 0;

  // A new, unlocked lock.
  virtual std::unique_ptr<Mutex> NewMutex() = 0;
};

}  // namespace os
