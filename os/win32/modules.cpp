// Libraries and processes of the device image (kernel32).
#include <vector>

#include "os/win32/backend.h"
#include "os/win32/handles.h"

namespace os::win32 {
namespace {

using EntryFunction = HRESULT(STDAPICALLTYPE*)();

class LoadedLibrary final : public Library {
 public:
  // Not an owner: a library stays loaded until the process ends.
  explicit LoadedLibrary(HMODULE module) : module_(module) {}

  EntryPoint GetEntryPoint(const std::string& name) override {
    FARPROC address = ::GetProcAddress(module_, name.c_str());
    if (!address) return {};
    auto function = reinterpret_cast<EntryFunction>(
        reinterpret_cast<void (*)()>(address));
    return [function] { return static_cast<HResult>(function()); };
  }

 private:
  HMODULE module_;
};

class StartedProcess final : public ChildProcess {
 public:
  StartedProcess(HANDLE process, HANDLE thread)
      : process_(process), thread_(thread) {}

  bool GetExitCode(std::uint32_t* code) override {
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process_.Get(), &exitCode)) return false;
    *code = exitCode;
    return true;
  }

 private:
  UniqueKernelHandle process_;
  UniqueKernelHandle thread_;
};

}  // namespace

std::shared_ptr<Library> Modules::LoadLibrary(const std::string& path) {
  HMODULE module = ::LoadLibraryA(path.c_str());
  if (!module) return nullptr;
  std::shared_ptr<Library>& library = loaded_[module];
  if (!library) library = std::make_shared<LoadedLibrary>(module);
  return library;
}

bool Modules::FileExists(const std::string& path) {
  WIN32_FIND_DATAA data;
  UniqueFindHandle find(::FindFirstFileA(path.c_str(), &data));
  return find.Valid();
}

std::unique_ptr<ChildProcess> Modules::CreateProcess(
    const std::string& commandLine, std::uint32_t startupFlags) {
  // CreateProcessA may write into the command line buffer.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = startupFlags;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &info))
    return nullptr;
  return std::make_unique<StartedProcess>(info.hProcess, info.hThread);
}

void Modules::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace os::win32
