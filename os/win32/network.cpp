// The adapter list (iphlpapi) and the computer name (kernel32).
#include <algorithm>
#include <cstring>
#include <vector>

#include "os/win32/backend.h"

namespace os::win32 {

Status Network::GetAdaptersInfo(std::vector<AdapterInfo>* adapters,
                                std::uint32_t* size) {
  ULONG length = *size;
  if (!adapters) {
    // A call with no buffer is a pure size query: a size beside a null
    // buffer would claim room that is not there.
    length = 0;
    ULONG status = ::GetAdaptersInfo(nullptr, &length);
    if (status == ERROR_BUFFER_OVERFLOW) *size = length;
    return static_cast<Status>(status);
  }
  // The caller's size, in records aligned for the list's pointers.
  std::vector<IP_ADAPTER_INFO> buffer(
      (length + sizeof(IP_ADAPTER_INFO) - 1) / sizeof(IP_ADAPTER_INFO));
  ULONG status = ::GetAdaptersInfo(buffer.empty() ? nullptr : buffer.data(),
                                   &length);
  if (status == ERROR_BUFFER_OVERFLOW) {
    *size = length;
    return static_cast<Status>(status);
  }
  if (status != ERROR_SUCCESS) return static_cast<Status>(status);

  std::vector<AdapterInfo> list;
  for (const IP_ADAPTER_INFO* record = buffer.data(); record;
       record = record->Next) {
    AdapterInfo adapter;
    adapter.description.assign(
        record->Description,
        strnlen(record->Description, sizeof(record->Description)));
    adapter.addressLength = record->AddressLength;
    std::size_t count = std::min<std::size_t>(record->AddressLength,
                                              kMaxAdapterAddressLength);
    std::copy_n(record->Address, count, adapter.address.begin());
    list.push_back(std::move(adapter));
  }
  *adapters = std::move(list);
  return kSuccess;
}

bool Network::GetComputerName(std::size_t capacity, std::string* name) {
  name->clear();
  std::vector<char> buffer(capacity + 1);
  DWORD length = static_cast<DWORD>(capacity);
  if (!::GetComputerNameExA(ComputerNamePhysicalDnsHostname, buffer.data(),
                            &length))
    return false;
  name->assign(buffer.data(), length);
  return true;
}

bool Network::SetComputerName(const std::string& name) {
  return ::SetComputerNameExA(ComputerNamePhysicalDnsHostname, name.c_str()) !=
         FALSE;
}

}  // namespace os::win32
