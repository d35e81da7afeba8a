// The error each platform call gives when it fails on Windows, for the
// failure sweep: the codes a device really meets, not arbitrary numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reliability {

// HRESULTs as the 32-bit values device.json carries.
constexpr std::uint32_t kEFail = 0x80004005u;
constexpr std::uint32_t kEOutOfMemory = 0x8007000Eu;

struct FaultCodes {
  const char* call;
  std::vector<std::uint32_t> errors;  // tried in turn over the call's occurrences
};

inline const std::vector<FaultCodes>& FaultCodeTable() {
  static const std::vector<FaultCodes> table = {
      // Registry: access denied, not found, not enough memory.
      {"RegOpenKeyExA", {5, 2, 8}},
      {"RegCreateKeyExA", {5, 8}},
      {"RegQueryValueExA", {5, 2, 8}},
      {"RegSetValueExA", {5, 8}},
      {"RegDeleteValueA", {5, 2}},
      {"SHDeleteKeyA", {5, 2}},
      // Event log: access denied, log full.
      {"RegisterEventSourceA", {5}},
      {"ReportEventA", {1502, 5}},
      // Resources and module: resource not found, buffer too small.
      {"LoadStringA", {1814}},
      {"FindResourceA", {1814}},
      {"GetModuleFileNameA", {122}},
      // Service control manager.
      {"StartServiceCtrlDispatcherA", {1063}},
      {"RegisterServiceCtrlHandlerA", {1060}},
      {"SetServiceStatus", {6}},
      {"OpenSCManagerA", {5}},
      {"CreateServiceW", {1073, 5}},
      {"OpenServiceA", {1060, 5}},
      {"DeleteService", {1072}},
      {"ControlService", {1062, 1061}},
      // COM: a failure status, out of memory, and the calls' own statuses.
      {"CoInitialize", {kEOutOfMemory, 0x80010106u /* RPC_E_CHANGED_MODE */}},
      {"CoInitializeSecurity", {0x80010119u /* RPC_E_TOO_LATE */, kEOutOfMemory}},
      {"CoCreateInstance", {0x80040154u /* REGDB_E_CLASSNOTREG */, kEOutOfMemory}},
      {"LoadTypeLib", {0x8002802Fu /* TYPE_E_CANTLOADLIBRARY */, kEOutOfMemory}},
      {"RegisterTypeLib", {0x8002801Cu /* TYPE_E_REGISTRYACCESS */, kEFail}},
      {"UnRegisterTypeLib", {0x8002801Cu, kEFail}},
      {"LocalFree", {6}},
      // Network adapters and computer name.
      {"GetAdaptersInfo", {232, 31}},
      {"GetComputerNameExA", {234}},
      {"SetComputerNameExA", {5, 87}},
      // Restart.
      {"LookupPrivilegeValueA", {1313}},
      {"OpenProcessToken", {5}},
      {"AdjustTokenPrivileges", {1300}},
      {"InitiateSystemShutdownA", {1115, 5}},
      // UPnP component: module and procedure not found, process start.
      {"LoadLibraryA", {126}},
      {"GetProcAddress", {127}},
      {"FindFirstFileA", {2, 3}},
      {"CreateProcessA", {2, 5}},
      {"GetExitCodeProcess", {6}},
      {"Sleep", {0}},
      // Clock and time zone.
      {"GetLocalTime", {0}},
      {"SetLocalTime", {1314}},
      {"SystemTimeToFileTime", {87}},
      {"FileTimeToSystemTime", {87}},
      {"GetTimeZoneInformation", {5}},
      // Windows and the message queue.
      {"RegisterClassExA", {1410}},
      {"CreateWindowExA", {1407, 8}},
      {"PostThreadMessageA", {1444, 1816}},
      {"GetMessageA", {1444}},
      {"MessageBoxA", {8}},
      // Write filters: not installed (invalid function), access denied.
      {"FbwfIsFilterEnabled", {1, 5}},
      {"EwfMgrGetProtectedVolumeList", {8}},
      {"EwfMgrVolumeNameListIsEmpty", {87}},
      {"EwfMgrVolumeNameEntryPop", {87}},
      {"EwfMgrVolumeNameListDelete", {87}},
      {"EwfMgrOpenProtected", {2}},
      {"EwfMgrGetProtectedVolumeConfig", {5}},
      {"EwfMgrClose", {6}},
      // Files: sharing violation, access denied, disk full, not enough
      // memory.
      {"CreateFileA", {32, 5}},
      {"WriteFile", {112, 5}},
      {"FlushFileBuffers", {5, 112}},
      {"GetFileAttributesA", {5, 2}},
      {"GetFileSecurityA", {5, 8}},
      {"SetFileAttributesA", {5}},
      {"SetFileSecurityA", {5, 8}},
      {"MoveFileExA", {32, 5}},
      {"DeleteFileA", {32, 5}},
      // XML document: a COM failure status and out of memory.
      {"IXMLDOMDocument::put_async", {kEFail}},
      {"IXMLDOMDocument::load", {kEFail, kEOutOfMemory}},
      {"IXMLDOMDocument::save", {kEFail, 0x80070020u /* sharing violation */}},
      {"IXMLDOMNode::selectNodes", {kEFail, kEOutOfMemory}},
      {"IXMLDOMNode::get_baseName", {kEFail}},
      {"IXMLDOMNode::get_text", {kEOutOfMemory}},
      {"IXMLDOMNode::put_text", {kEOutOfMemory}},
      {"IXMLDOMNodeList::get_item", {kEFail}},
      {"IXMLDOMNodeList::get_length", {kEFail}},
  };
  return table;
}

// The errors to try for a call; `known` tells whether the table names it.
// Calls it does not name get a COM failure status when they look like COM
// calls and access denied otherwise, and the sweep lists them.
inline std::vector<std::uint32_t> FaultCodesFor(const std::string& call, bool* known) {
  for (const auto& entry : FaultCodeTable()) {
    if (call == entry.call) {
      *known = true;
      return entry.errors;
    }
  }
  *known = false;
  const bool com = call.rfind("Co", 0) == 0 || call.rfind("IXML", 0) == 0 ||
                   call.find("::") != std::string::npos;
  return com ? std::vector<std::uint32_t>{kEFail} : std::vector<std::uint32_t>{5};
}

}  // namespace reliability
