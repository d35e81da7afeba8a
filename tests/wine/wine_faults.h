// The device's "faults" for the 64-bit test build of VORN.EXE under Wine:
// which Win32 functions it can be made to fail, what each returns when it
// fails, the list as the runner hands it over (faults.txt, one
// "CALL OCCURRENCE ERROR" a line) and the counting of calls. Plain C++, no
// Windows headers: vorn-wine-device writes the list, the injection in
// VORN.EXE (fault_injection_win64.cpp) reads it and counts with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wine {

// What a failed call returns: 0 (FALSE, NULL, a zero count) or all bits
// set (INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES, -1), each with the
// error as the thread's last-error code; or the error itself as the
// returned status (LSTATUS, HRESULT, a Win32 code), last error untouched.
enum class FailureValue { kZero, kAllOnes, kStatus };

struct FaultCall {
  const char* name;
  FailureValue failure;
};

// The call of that name the injection can fail, or nullptr.
const FaultCall* FindFaultCall(std::string_view name);

// Why a fault naming this call cannot be honoured on Wine; "" when it can.
std::string WhyNotInjectable(std::string_view call);

struct Fault {
  std::string call;
  std::uint32_t occurrence = 0;  // 1-based; 0: every call
  std::uint32_t error = 0;
};

std::string WriteFaults(const std::vector<Fault>& faults);
// False (with the reason) for a malformed line or a call not in the table.
bool ParseFaults(std::string_view text, std::vector<Fault>* faults, std::string* error);

// Counts the calls of each function the faults name, as the simulated
// device does: per function, from 1, and the first fault in list order
// that names the call and this occurrence (or 0) decides. Safe from any
// thread.
class FaultCounter {
 public:
  explicit FaultCounter(std::vector<Fault> faults);
  // The distinct functions named, in order of first mention; a function's
  // slot is its index here.
  const std::vector<std::string>& calls() const { return calls_; }
  // Counts one call of the slot's function: the error it fails with, or
  // nothing when the call goes through.
  std::optional<std::uint32_t> Next(std::size_t slot);

 private:
  std::vector<Fault> faults_;
  std::vector<std::string> calls_;
  std::vector<std::size_t> slotOf_;  // each fault's slot
  std::unique_ptr<std::atomic<std::uint32_t>[]> counts_;
};

}  // namespace wine
