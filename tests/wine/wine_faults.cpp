// The table of failable calls, the fault list's text form and the counting
// of calls; see wine_faults.h.
#include "tests/wine/wine_faults.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace wine {
namespace {

using F = FailureValue;

// Every Win32 function the simulated device can fail that VORN.EXE imports,
// with its failure value from the function's documentation.
constexpr FaultCall kCalls[] = {
    {"AdjustTokenPrivileges", F::kZero},        {"CoCreateInstance", F::kStatus},
    {"CoInitialize", F::kStatus},               {"CoInitializeSecurity", F::kStatus},
    {"ControlService", F::kZero},               {"CreateFileA", F::kAllOnes},
    {"CreateProcessA", F::kZero},               {"CreateServiceW", F::kZero},
    {"CreateWindowExA", F::kZero},              {"DeleteFileA", F::kZero},
    {"DeleteService", F::kZero},                {"EwfMgrClose", F::kZero},
    {"EwfMgrGetProtectedVolumeConfig", F::kZero}, {"EwfMgrGetProtectedVolumeList", F::kZero},
    {"EwfMgrOpenProtected", F::kAllOnes},       {"FbwfIsFilterEnabled", F::kStatus},
    {"FileTimeToSystemTime", F::kZero},         {"FindFirstFileA", F::kAllOnes},
    {"FindResourceA", F::kZero},                {"FlushFileBuffers", F::kZero},
    {"GetAdaptersInfo", F::kStatus},            {"GetComputerNameExA", F::kZero},
    {"GetExitCodeProcess", F::kZero},           {"GetFileAttributesA", F::kAllOnes},
    {"GetFileSecurityA", F::kZero},             {"GetFullPathNameA", F::kZero},
    {"GetMessageA", F::kAllOnes},               {"GetModuleFileNameA", F::kZero},
    {"GetProcAddress", F::kZero},               {"GetTimeZoneInformation", F::kAllOnes},
    {"InitiateSystemShutdownA", F::kZero},      {"LoadLibraryA", F::kZero},
    {"LoadStringA", F::kZero},                  {"LookupPrivilegeValueA", F::kZero},
    {"MessageBoxA", F::kZero},                  {"MoveFileExA", F::kZero},
    {"OpenProcessToken", F::kZero},             {"OpenSCManagerA", F::kZero},
    {"OpenServiceA", F::kZero},                 {"PostThreadMessageA", F::kZero},
    {"QueryServiceStatus", F::kZero},           {"RegCreateKeyExA", F::kStatus},
    {"RegDeleteValueA", F::kStatus},            {"RegOpenKeyExA", F::kStatus},
    {"RegQueryValueExA", F::kStatus},           {"RegSetValueExA", F::kStatus},
    {"RegisterClassExA", F::kZero},             {"RegisterEventSourceA", F::kZero},
    {"RegisterServiceCtrlHandlerA", F::kZero},  {"RegisterTypeLib", F::kStatus},
    {"ReportEventA", F::kZero},                 {"SHDeleteKeyA", F::kStatus},
    {"SetComputerNameExA", F::kZero},           {"SetFileAttributesA", F::kZero},
    {"SetFileSecurityA", F::kZero},             {"SetLocalTime", F::kZero},
    {"SetServiceStatus", F::kZero},             {"StartServiceCtrlDispatcherA", F::kZero},
    {"SystemTimeToFileTime", F::kZero},         {"UnRegisterTypeLib", F::kStatus},
};

// Calls the simulated device counts but never fails: they cannot fail on
// Windows either (or return nothing to fail with).
constexpr const char* kUnfailable[] = {"EwfMgrVolumeNameEntryPop", "EwfMgrVolumeNameListDelete",
                                       "EwfMgrVolumeNameListIsEmpty", "GetLocalTime",
                                       "LocalFree", "Sleep"};

bool ParseNumber(std::string_view text, std::uint32_t* value) {
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && at == end && !text.empty();
}

// "CALL OCCURRENCE ERROR", single spaces.
bool ParseLine(std::string_view line, Fault* fault) {
  const std::size_t a = line.find(' ');
  const std::size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
  if (b == std::string_view::npos || a == 0) return false;
  fault->call = std::string(line.substr(0, a));
  return ParseNumber(line.substr(a + 1, b - a - 1), &fault->occurrence) &&
         ParseNumber(line.substr(b + 1), &fault->error);
}

}  // namespace

const FaultCall* FindFaultCall(std::string_view name) {
  for (const FaultCall& call : kCalls) {
    if (name == call.name) return &call;
  }
  return nullptr;
}

std::string WhyNotInjectable(std::string_view call) {
  const std::string name(call);
  if (FindFaultCall(call)) return "";
  if (name.find("::") != std::string::npos) {
    return name + " is a COM method, not reached through VORN.EXE's import table";
  }
  if (std::find(std::begin(kUnfailable), std::end(kUnfailable), name) != std::end(kUnfailable)) {
    return name + " cannot fail: the simulated device only counts it";
  }
  if (name == "LoadTypeLib") return "VORN.EXE calls LoadTypeLibEx, not LoadTypeLib";
  return name + " is not a Win32 function VORN.EXE imports and the simulated device can fail";
}

std::string WriteFaults(const std::vector<Fault>& faults) {
  std::string text;
  for (const Fault& f : faults) {
    text += f.call + " " + std::to_string(f.occurrence) + " " + std::to_string(f.error) + "\n";
  }
  return text;
}

bool ParseFaults(std::string_view text, std::vector<Fault>* faults, std::string* error) {
  std::size_t lineNo = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    Fault fault;
    if (!ParseLine(line, &fault) || !FindFaultCall(fault.call)) {
      *error = "faults line " + std::to_string(lineNo) + ": " + std::string(line);
      return false;
    }
    faults->push_back(fault);
  }
  return true;
}

FaultCounter::FaultCounter(std::vector<Fault> faults) : faults_(std::move(faults)) {
  for (const Fault& f : faults_) {
    auto at = std::find(calls_.begin(), calls_.end(), f.call);
    slotOf_.push_back(static_cast<std::size_t>(at - calls_.begin()));
    if (at == calls_.end()) calls_.push_back(f.call);
  }
  counts_ = std::make_unique<std::atomic<std::uint32_t>[]>(calls_.size());
  for (std::size_t i = 0; i < calls_.size(); ++i) counts_[i] = 0;
}

std::optional<std::uint32_t> FaultCounter::Next(std::size_t slot) {
  if (slot >= calls_.size()) return std::nullopt;
  const std::uint32_t n = ++counts_[slot];
  for (std::size_t i = 0; i < faults_.size(); ++i) {
    const Fault& f = faults_[i];
    if (slotOf_[i] == slot && (f.occurrence == 0 || f.occurrence == n)) return f.error;
  }
  return std::nullopt;
}

}  // namespace wine
