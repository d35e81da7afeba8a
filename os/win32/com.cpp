// COM for the thread and the process, the executable's type library, and
// the MSXML document factory.
#include <vector>

#include "os/win32/backend.h"
#include "os/win32/handles.h"
#include "os/win32/xml.h"

namespace os::win32 {
namespace {

// LIBID of the type library resource 1, version 1.0.
constexpr GUID kTypeLibraryId = {
    0x2C6B9F40, 0x81E3, 0x4D27, {0xA5, 0xC8, 0x19, 0xF4, 0xE0, 0x7B, 0x3D, 0x92}};

HResult LastErrorResult() {
  return HResultFromWin32(static_cast<Status>(::GetLastError()));
}

// TOKEN_USER or TOKEN_PRIMARY_GROUP of `token`, in a buffer of the size the
// token reports. Empty on failure, with the last error set.
std::vector<std::uint8_t> TokenInformation(HANDLE token,
                                           TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  if (!::GetTokenInformation(token, kind, nullptr, 0, &size) &&
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return {};
  std::vector<std::uint8_t> buffer(size);
  if (size == 0 ||
      !::GetTokenInformation(token, kind, buffer.data(), size, &size))
    return {};
  return buffer;
}

// The executable's path as a wide string (8-bit path converted from the
// ANSI code page), or empty.
std::u16string ModulePathWide() {
  char path[MAX_PATH + 1] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return Widen(std::string(path, length));
}

}  // namespace

HResult Com::Initialize() { return ::CoInitialize(nullptr); }

void Com::Uninitialize() { ::CoUninitialize(); }

HResult Com::InitializeSecurity() {
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
    return LastErrorResult();

  // The thread's token when it impersonates, else the process's.
  HANDLE rawToken = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, FALSE, &rawToken)) {
    if (::GetLastError() != ERROR_NO_TOKEN) return LastErrorResult();
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken))
      return LastErrorResult();
  }
  UniqueKernelHandle token(rawToken);

  std::vector<std::uint8_t> user = TokenInformation(token.Get(), TokenUser);
  if (user.empty()) return LastErrorResult();
  std::vector<std::uint8_t> group =
      TokenInformation(token.Get(), TokenPrimaryGroup);
  if (group.empty()) return LastErrorResult();

  // The descriptor points into the two buffers; both outlive the call below.
  PSID owner = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  PSID primary = reinterpret_cast<TOKEN_PRIMARY_GROUP*>(group.data())->PrimaryGroup;
  if (!::SetSecurityDescriptorOwner(&descriptor, owner, FALSE))
    return LastErrorResult();
  if (!::SetSecurityDescriptorGroup(&descriptor, primary, FALSE))
    return LastErrorResult();

  return ::CoInitializeSecurity(&descriptor, -1, nullptr, nullptr,
                                RPC_C_AUTHN_LEVEL_PKT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                EOAC_NONE, nullptr);
}

HResult Com::RegisterTypeLibrary() {
  std::u16string path = ModulePathWide();
  if (path.empty()) return LastErrorResult();
  const auto* widePath = reinterpret_cast<const OLECHAR*>(path.c_str());

  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(widePath, REGKIND_NONE, library.Put());
  if (FAILED(hr)) return hr;

  // Help directory: the folder of the executable.
  std::u16string folder = path.substr(0, path.find_last_of(u'\\') + 1);
  std::vector<OLECHAR> pathCopy(widePath, widePath + path.size() + 1);
  std::vector<OLECHAR> folderCopy(folder.begin(), folder.end());
  folderCopy.push_back(0);
  return ::RegisterTypeLib(library.Get(), pathCopy.data(), folderCopy.data());
}

HResult Com::UnregisterTypeLibrary() {
  // The platform the library was registered for: win32 for the product,
  // win64 for the 64-bit test build (RegisterTypeLib takes it from the
  // library, which widl builds for the target).
  constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  return ::UnRegisterTypeLib(kTypeLibraryId, 1, 0, 0, kSysKind);
}

HResult Com::CreateXmlDocument(std::unique_ptr<XmlDocument>* document) {
  CLSID classId;
  HRESULT hr = ::CLSIDFromProgID(L"MSXML2.DOMDocument", &classId);
  if (FAILED(hr)) return hr;
  ComPtr<IXMLDOMDocument2> created;
  hr = ::CoCreateInstance(classId, nullptr, CLSCTX_ALL, kIidXmlDomDocument2,
                          reinterpret_cast<void**>(created.Put()));
  if (FAILED(hr)) return hr;
  *document = MakeXmlDocument(std::move(created));
  return hr;
}

}  // namespace os::win32
