// The network adapter list (iphlpapi) and the computer name (kernel32).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "os/types.h"

namespace os {

constexpr std::size_t kMaxAdapterAddressLength = 8;
// sizeof(IP_ADAPTER_INFO) on 32-bit Windows: what one record of the list
// takes in the caller's buffer.
constexpr std::uint32_t kAdapterInfoSize = 640;

// The members of IP_ADAPTER_INFO that the system reads.
struct AdapterInfo {
  std::string description;  // at most 131 characters
  std::uint32_t addressLength = 0;  // as the adapter reports it, 0 to 8
  std::array<std::uint8_t, kMaxAdapterAddressLength> address{};
};

class Network {
 public:
  virtual ~Network() = default;

  // GetAdaptersInfo. `adapters` null is a call with no buffer. When *size
  // is smaller than the list needs (kAdapterInfoSize per adapter), returns
  // 111 (ERROR_BUFFER_OVERFLOW) with *size set to the size needed and
  // *adapters untouched; otherwise returns 0 and fills *adapters in the
  // order Windows lists them. Returns 232 (ERROR_NO_DATA) when there is no
  // adapter, or another code when the list cannot be read.
  virtual Status GetAdaptersInfo(std::vector<AdapterInfo>* adapters,
                                 std::uint32_t* size) = 0;

  // GetComputerNameExA(ComputerNamePhysicalDnsHostname) into a buffer of
  // `capacity` characters. False when the name does not fit (with its
  // terminator) or cannot be read; *name is then empty.
  virtual bool GetComputerName(std::size_t capacity, std::string* name) = 0;

  // SetComputerNameExA(ComputerNamePhysicalDnsHostname): the host name that
  // takes effect at the next start of Windows. False on failure.
  virtual bool SetComputerName(const std::string& name) = 0;
};

}  // namespace os
