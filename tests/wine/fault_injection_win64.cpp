// Failure injection for the 64-bit test build of VORN.EXE (never the
// shipped 32-bit one; cmake/win32.cmake links it into the x86-64 build only).
//
// Before main, the device's faults (C:\vorntest\faults.txt, which
// vorn-wine-device writes into the prefix, or the file VORN_FAULTS_FILE
// names) are read and each import table entry of a function they name is
// pointed at a stub of its own. The stub counts the call and either jumps
// to the real function with every argument as it was, or returns the
// function's failure value with the fault's error as the last-error code
// or as the returned status. Injection only fails calls: a call that goes
// through is the real one. The import table is patched, not the backend:
// os/win32 stays as it ships, and calls that Wine's own libraries make
// between themselves are not counted, as on the simulated device, which
// counts the calls the system makes.
//
// Two states of XP that Wine does not keep are kept here, failing calls
// only: a restart request after an accepted one fails (GuardedShutdown),
// and with protected keys (protected-keys.txt beside the faults) creating
// a key also asks whether the deepest existing key of the new one's path
// lets its caller create sub-keys (GuardedCreateKey).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/wine/wine_faults.h"

namespace {

constexpr std::size_t kSlots = 64;  // the stubs below; far more than the failable calls

struct Slot {
  void* original = nullptr;
  wine::FailureValue failure = wine::FailureValue::kZero;
};

wine::FaultCounter* g_counter = nullptr;
Slot g_slots[kSlots];

// The calls failed, for the runner's journal: "CALL ERROR NAME" a line, the
// name a computer-name call was given (Wine's relay trace, the journal's
// source for these calls, never sees a call that is not made). Opened and
// written through kernel32 directly, past the import table, so that a
// fault naming CreateFileA or WriteFile does not touch the log.
HANDLE g_failedLog = INVALID_HANDLE_VALUE;
decltype(&::WriteFile) g_writeFile = nullptr;

void LogFailure(const std::string& call, std::uint32_t error, const std::uint64_t* regs) {
  if (g_failedLog == INVALID_HANDLE_VALUE || g_writeFile == nullptr) return;
  // regs: r9, r8, rdx, rcx as the stub saved them.
  const char* name = call == "SetComputerNameExA" ? reinterpret_cast<const char*>(regs[2])
                     : call == "SetComputerNameA" ? reinterpret_cast<const char*>(regs[3])
                                                  : nullptr;
  const std::string line =
      call + " " + std::to_string(error) + " " + (name != nullptr ? name : "") + "\n";
  DWORD written = 0;
  g_writeFile(g_failedLog, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

// Called by the stubs with the slot and where to put the failure value:
// the address to jump to for a call that goes through, nullptr for one that
// fails. The caller's last-error code is kept for a call that goes through.
extern "C" void* vorn_fault_decide(std::uint64_t slot, std::uint64_t* failValue,
                                   const std::uint64_t* regs) {
  const DWORD saved = ::GetLastError();
  const Slot& s = g_slots[slot];
  const std::optional<std::uint32_t> error = g_counter->Next(slot);
  if (!error) {
    ::SetLastError(saved);
    return s.original;
  }
  LogFailure(g_counter->calls()[slot], *error, regs);
  switch (s.failure) {
    case wine::FailureValue::kStatus:
      *failValue = *error;
      ::SetLastError(saved);
      return nullptr;
    case wine::FailureValue::kAllOnes:
      *failValue = ~std::uint64_t{0};
      break;
    case wine::FailureValue::kZero:
      *failValue = 0;
      break;
  }
  ::SetLastError(*error);
  return nullptr;
}

extern "C" char vorn_fault_stubs[];

// Stub N (16 bytes apart) pushes N and goes to the common part, which keeps
// the four argument registers across the decision (and shows them to it);
// the stack arguments and
// the return address stay where the caller put them. Entry: rsp is 8 mod
// 16; after the slot, four registers and 48 bytes (32 bytes of shadow space
// and the failure value) it is 0 mod 16 at the call, as the ABI wants.
asm(R"(
    .text
    .p2align 4
    .globl vorn_fault_stubs
vorn_fault_stubs:
    .set vorn_slot, 0
    .rept 64
    .p2align 4
    pushq $vorn_slot
    jmp vorn_fault_common
    .set vorn_slot, vorn_slot + 1
    .endr
vorn_fault_common:
    pushq %rcx
    pushq %rdx
    pushq %r8
    pushq %r9
    subq $48, %rsp
    movq 80(%rsp), %rcx
    leaq 32(%rsp), %rdx
    leaq 48(%rsp), %r8
    call vorn_fault_decide
    movq 32(%rsp), %r10
    addq $48, %rsp
    popq %r9
    popq %r8
    popq %rdx
    popq %rcx
    addq $8, %rsp
    testq %rax, %rax
    jz 1f
    jmp *%rax
1:
    movq %r10, %rax
    ret
)");

namespace {

[[noreturn]] void Refuse(const std::string& why) {
  std::fputs(("VORN.EXE fault injection: " + why + "\n").c_str(), stderr);
  std::abort();
}

std::string FaultsPath() {
  char path[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableA("VORN_FAULTS_FILE", path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string("C:\\vorntest\\faults.txt");
}

// The file's text; nothing when there is no such file (no faults).
std::optional<std::string> ReadTextFile(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  ::CloseHandle(file);
  return text;
}

// Points an import table entry at `to`; returns what it pointed at.
void* Redirect(IMAGE_THUNK_DATA* entry, void* to) {
  DWORD old = 0;
  void** address = reinterpret_cast<void**>(&entry->u1.Function);
  if (!::VirtualProtect(address, sizeof *address, PAGE_READWRITE, &old)) {
    Refuse("cannot write the import table");
  }
  void* was = *address;
  *address = to;
  ::VirtualProtect(address, sizeof *address, old, &old);
  return was;
}

// `real`: where a call that goes through goes (nullptr: the entry's own).
void PatchEntry(IMAGE_THUNK_DATA* entry, std::size_t slot, void* real = nullptr) {
  void* was = Redirect(entry, vorn_fault_stubs + 16 * slot);
  g_slots[slot].original = real != nullptr ? real : was;
}

// A file in the faults file's folder.
std::string Beside(const std::string& faultsPath, const char* name) {
  return faultsPath.substr(0, faultsPath.find_last_of('\\') + 1) + name;
}

// The failed-call log beside the faults file ("failed-calls.txt"), appended to.
void OpenFailedLog(const std::string& faultsPath) {
  HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  auto create = reinterpret_cast<decltype(&::CreateFileA)>(
      reinterpret_cast<void*>(::GetProcAddress(kernel32, "CreateFileA")));
  g_writeFile = reinterpret_cast<decltype(&::WriteFile)>(
      reinterpret_cast<void*>(::GetProcAddress(kernel32, "WriteFile")));
  if (create == nullptr || g_writeFile == nullptr) return;
  g_failedLog = create(Beside(faultsPath, "failed-calls.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

BYTE* ImageBase() { return reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr)); }

const IMAGE_DATA_DIRECTORY& Directory(int index) {
  BYTE* base = ImageBase();
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  return nt->OptionalHeader.DataDirectory[index];
}

// Calls patch(entry, slot, name) for each entry of a name table and its
// address table whose function one of `calls` names.
template <typename Patch>
void ForNamedEntries(DWORD namesRva, DWORD entriesRva, const std::vector<std::string>& calls,
                     Patch patch) {
  BYTE* base = ImageBase();
  auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesRva);
  auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entriesRva);
  for (; names->u1.AddressOfData; ++names, ++entries) {
    if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
    const char* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
    for (std::size_t slot = 0; slot < calls.size(); ++slot) {
      if (calls[slot] == name) patch(entries, slot, name);
    }
  }
}

// Calls patch(entry, slot, name) for each entry of the bound import table
// whose function one of `calls` names.
template <typename Patch>
void ForImportEntries(const std::vector<std::string>& calls, Patch patch) {
  const IMAGE_DATA_DIRECTORY& dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(ImageBase() + dir.VirtualAddress);
       d->Name; ++d) {
    ForNamedEntries(d->OriginalFirstThunk, d->FirstThunk, calls, patch);
  }
}

// Points the import table entries of the named functions at their stubs.
void PatchImports(const std::vector<std::string>& calls) {
  ForImportEntries(calls, [](IMAGE_THUNK_DATA* entry, std::size_t slot, const char*) {
    PatchEntry(entry, slot);
  });
}

// The same for the delay-loaded imports: their slots hold the loader
// helper's thunks until the first call, when the helper writes the real
// address over the slot (and over a stub placed there). So the named
// functions are bound here, as the helper would bind them, and their slots
// point at the stubs from the start; a library or function that cannot be
// bound is left to the helper, its fault never firing.
void PatchDelayImports(const std::vector<std::string>& calls) {
  const IMAGE_DATA_DIRECTORY& dir = Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
  if (dir.VirtualAddress == 0) return;
  for (auto* d = reinterpret_cast<IMAGE_DELAYLOAD_DESCRIPTOR*>(ImageBase() + dir.VirtualAddress);
       d->DllNameRVA != 0; ++d) {
    const char* dll = reinterpret_cast<const char*>(ImageBase() + d->DllNameRVA);
    ForNamedEntries(d->ImportNameTableRVA, d->ImportAddressTableRVA, calls,
                    [dll](IMAGE_THUNK_DATA* entry, std::size_t slot, const char* name) {
                      HMODULE library = ::LoadLibraryA(dll);
                      FARPROC real = library != nullptr ? ::GetProcAddress(library, name) : nullptr;
                      if (real != nullptr) PatchEntry(entry, slot, reinterpret_cast<void*>(real));
                    });
  }
}

using ShutdownFunction = decltype(&::InitiateSystemShutdownA);
ShutdownFunction g_shutdown = nullptr;  // where a request allowed goes on
std::atomic<bool> g_restartAccepted{false};

// XP refuses a restart request while another one's countdown runs, with
// ERROR_SHUTDOWN_IN_PROGRESS; Wine's request is a stub that accepts every
// one. So after one accepted request of this process the next ones fail as
// on XP; a request that goes through is the real one.
BOOL WINAPI GuardedShutdown(LPSTR machine, LPSTR message, DWORD timeout, BOOL force,
                            BOOL reboot) {
  if (g_restartAccepted) {
    ::SetLastError(ERROR_SHUTDOWN_IN_PROGRESS);
    return FALSE;
  }
  const BOOL accepted = g_shutdown(machine, message, timeout, force, reboot);
  if (accepted) g_restartAccepted = true;
  return accepted;
}

// Points the import table entry of `call` at `guard`; returns the entry's
// function, nullptr when VORN.EXE does not import it.
void* GuardImport(const char* call, void* guard) {
  void* was = nullptr;
  ForImportEntries({call}, [&](IMAGE_THUNK_DATA* entry, std::size_t, const char*) {
    was = Redirect(entry, guard);
  });
  return was;
}

using CreateKeyFunction = decltype(&::RegCreateKeyExA);
using OpenKeyFunction = decltype(&::RegOpenKeyExA);
using CloseKeyFunction = decltype(&::RegCloseKey);
CreateKeyFunction g_createKey = nullptr;  // where a creation allowed goes on
OpenKeyFunction g_openKey = nullptr;      // advapi32's own, past the stubs
CloseKeyFunction g_closeKey = nullptr;

// ERROR_SUCCESS when the key exists (its own security decides in the
// call) or the deepest existing key of its path lets the caller create
// sub-keys; that key's refusal otherwise.
LONG MayCreate(HKEY parent, const std::string& subKey) {
  std::string path = subKey;
  for (;;) {
    HKEY key = nullptr;
    LONG status = g_openKey(parent, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) g_closeKey(key);
    if (status != ERROR_FILE_NOT_FOUND) {
      if (path == subKey) return ERROR_SUCCESS;
      status = g_openKey(parent, path.c_str(), 0, KEY_CREATE_SUB_KEY, &key);
      if (status == ERROR_SUCCESS) g_closeKey(key);
      return status;
    }
    if (path.empty()) return ERROR_SUCCESS;
    const std::size_t cut = path.find_last_of('\\');
    path.resize(cut == std::string::npos ? 0 : cut);
  }
}

// Wine checks the security of the key created or opened, not of the key
// above a new one, which XP does: a key is created below a protected key
// only where that key's security lets its caller create sub-keys.
LONG WINAPI GuardedCreateKey(HKEY parent, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                             DWORD options, REGSAM access, const LPSECURITY_ATTRIBUTES security,
                             PHKEY result, LPDWORD disposition) {
  const LONG refused = MayCreate(parent, subKey != nullptr ? subKey : "");
  if (refused != ERROR_SUCCESS) return refused;
  return g_createKey(parent, subKey, reserved, keyClass, options, access, security, result,
                     disposition);
}

// RegCreateKeyExA's import table entry pointed at GuardedCreateKey when the
// run protects keys; before the faults, whose stub then goes on to it.
void GuardKeyCreation(const std::string& protectedKeysPath) {
  const std::optional<std::string> keys = ReadTextFile(protectedKeysPath);
  if (!keys || keys->empty()) return;
  HMODULE advapi32 = ::GetModuleHandleA("advapi32.dll");
  g_openKey = reinterpret_cast<OpenKeyFunction>(
      reinterpret_cast<void*>(::GetProcAddress(advapi32, "RegOpenKeyExA")));
  g_closeKey = reinterpret_cast<CloseKeyFunction>(
      reinterpret_cast<void*>(::GetProcAddress(advapi32, "RegCloseKey")));
  if (g_openKey == nullptr || g_closeKey == nullptr) Refuse("advapi32 has no RegOpenKeyExA");
  CreateKeyFunction guard = GuardedCreateKey;
  g_createKey = reinterpret_cast<CreateKeyFunction>(
      GuardImport("RegCreateKeyExA", reinterpret_cast<void*>(guard)));
  if (g_createKey == nullptr) Refuse("VORN.EXE does not import RegCreateKeyExA");
}

// Before main and before any other constructor: the faults read, the
// import table patched. A list the runner wrote wrongly ends the process.
__attribute__((constructor(101))) void InstallFaults() {
  const std::string path = FaultsPath();
  ShutdownFunction shutdown = GuardedShutdown;
  g_shutdown = reinterpret_cast<ShutdownFunction>(
      GuardImport("InitiateSystemShutdownA", reinterpret_cast<void*>(shutdown)));
  if (g_shutdown == nullptr) Refuse("VORN.EXE does not import InitiateSystemShutdownA");
  GuardKeyCreation(Beside(path, "protected-keys.txt"));
  const std::optional<std::string> text = ReadTextFile(path);
  if (!text) return;
  std::vector<wine::Fault> faults;
  std::string error;
  if (!wine::ParseFaults(*text, &faults, &error)) Refuse(path + ": " + error);
  if (faults.empty()) return;
  g_counter = new wine::FaultCounter(faults);
  const std::vector<std::string>& calls = g_counter->calls();
  if (calls.size() > kSlots) Refuse("more than 64 functions named");
  for (std::size_t slot = 0; slot < calls.size(); ++slot) {
    g_slots[slot].failure = wine::FindFaultCall(calls[slot])->failure;
  }
  OpenFailedLog(path);
  // A function VORN.EXE does not import is never called: its fault never
  // fires, as on the simulated device.
  // The delay-loaded ones first: binding them calls LoadLibraryA and
  // GetProcAddress, which a fault may name, before their own slots change.
  PatchDelayImports(calls);
  PatchImports(calls);
}

}  // namespace
