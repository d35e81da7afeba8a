// Libraries and processes of the device image (kernel32): library load by
// path, entry points, file existence, process start and its exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "os/types.h"

namespace os {

constexpr std::uint32_t kStillActive = 259;
constexpr std::uint32_t kStartfForceOnFeedback = 0x40;

// An entry point taking nothing and returning an HRESULT
// (DllRegisterServer, DllUnregisterServer).
using EntryPoint = std::function<HResult()>;

// A loaded library. It stays loaded until the process ends: destroying this
// object does not FreeLibrary.
class Library {
 public:
  virtual ~Library() = default;

  // GetProcAddress by name. Returns an empty function when the entry point
  // does not exist.
  virtual EntryPoint GetEntryPoint(const std::string& name) = 0;
};

// A started process; destroying it closes the process and thread handles.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  // GetExitCodeProcess. False when the call failed; *code is kStillActive
  // while the process runs.
  virtual bool GetExitCode(std::uint32_t* code) = 0;
};

class Modules {
 public:
  virtual ~Modules() = default;

  // LoadLibraryA with a full path. Null when it cannot be loaded. Loading
  // the same path again gives the same library.
  virtual std::shared_ptr<Library> LoadLibrary(const std::string& path) = 0;

  // FindFirstFileA on the path (then FindClose): true when anything matches.
  virtual bool FileExists(const std::string& path) = 0;

  // CreateProcessA with no application name, `commandLine`, no inheritance,
  // no creation flags, the caller's environment and directory, and a
  // STARTUPINFOA holding only its size and `startupFlags`. Null when the
  // process could not be started.
  virtual std::unique_ptr<ChildProcess> CreateProcess(
      const std::string& commandLine, std::uint32_t startupFlags) = 0;

  // Sleep. On the simulated device the device's clock advances instead.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace os
