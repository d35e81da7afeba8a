// File flush, replace, move and delete (kernel32).
#include "os/win32/backend.h"
#include "os/win32/handles.h"

namespace os::win32 {
namespace {

Status Result(BOOL ok) {
  return ok ? kSuccess : static_cast<Status>(::GetLastError());
}

}  // namespace

Status Files::FlushFile(const std::string& path) {
  UniqueFileHandle file(::CreateFileA(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return static_cast<Status>(::GetLastError());
  return Result(::FlushFileBuffers(file.Get()));
}

Status Files::ReplaceFile(const std::string& replaced,
                          const std::string& replacement,
                          const std::string& backup) {
  return Result(::ReplaceFileA(replaced.c_str(), replacement.c_str(),
                               backup.empty() ? nullptr : backup.c_str(), 0,
                               nullptr, nullptr));
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

}  // namespace os::win32
