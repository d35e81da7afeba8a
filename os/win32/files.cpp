// File flush, protection, move and delete (kernel32, advapi32).
#include "os/win32/backend.h"
#include "os/win32/handles.h"

#include <vector>

namespace os::win32 {
namespace {

Status Result(BOOL ok) {
  return ok ? kSuccess : static_cast<Status>(::GetLastError());
}

}  // namespace

Status NewFile::Flush() { return Result(::FlushFileBuffers(handle_.Get())); }

// No sharing: nobody else reads a half-written file or writes into it.
Status Files::CreateNew(const std::string& path, std::unique_ptr<os::NewFile>* file) {
  const HANDLE created = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return static_cast<Status>(::GetLastError());
  *file = std::make_unique<NewFile>(created);
  return kSuccess;
}

// XP documents FlushFileBuffers for a file and for a volume (everything the
// volume caches, for administrators), not for a folder: the rename's
// directory entries are written by flushing the volume.
Status Files::FlushVolume(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0) return static_cast<Status>(::GetLastError());
  if (length >= MAX_PATH || full[1] != ':') return ERROR_INVALID_NAME;
  const std::string volume = std::string("\\\\.\\") + full[0] + ":";
  UniqueFileHandle handle(::CreateFileA(volume.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  if (!handle) return static_cast<Status>(::GetLastError());
  return Result(::FlushFileBuffers(handle.Get()));
}

Status Files::CopyAttributesAndSecurity(const std::string& from,
                                        const std::string& to) {
  constexpr DWORD kCarried = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE |
                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD attributes = ::GetFileAttributesA(from.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return static_cast<Status>(::GetLastError());
  }
  // The size query fails with ERROR_INSUFFICIENT_BUFFER and names the size.
  DWORD size = 0;
  if (!::GetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0,
                          &size) &&
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return static_cast<Status>(::GetLastError());
  }
  std::vector<BYTE> descriptor(size);
  if (!::GetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION,
                          descriptor.data(), size, &size)) {
    return static_cast<Status>(::GetLastError());
  }
  const DWORD carried = attributes & kCarried;
  if (!::SetFileAttributesA(to.c_str(),
                            carried ? carried : FILE_ATTRIBUTE_NORMAL)) {
    return static_cast<Status>(::GetLastError());
  }
  return Result(::SetFileSecurityA(to.c_str(), DACL_SECURITY_INFORMATION,
                                   descriptor.data()));
}

Status Files::MoveFile(const std::string& from, const std::string& to,
                       unsigned flags) {
  return Result(::MoveFileExA(from.c_str(), to.c_str(), flags));
}

Status Files::DeleteFile(const std::string& path) {
  return Result(::DeleteFileA(path.c_str()));
}

bool Files::Exists(const std::string& path) {
  WIN32_FIND_DATAA data;
  UniqueFindHandle find(::FindFirstFileA(path.c_str(), &data));
  return find.Valid();
}

bool Files::IsReadOnly(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace os::win32
