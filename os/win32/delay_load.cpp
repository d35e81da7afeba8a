// The delay-loaded imports of VORN.EXE (cmake/win32.cmake lists the DLLs):
// what happens when one of them, or one of its functions, is missing.
//
// A delay-loaded DLL is mapped by the helper linked into the executable
// (__delayLoadHelper2, mingw-w64's runtime) on the first call into it,
// through LoadLibrary and GetProcAddress; the loader itself never sees it.
// The helper's default for a missing library or entry point is an
// exception, which VORN does not catch. Its failure hook makes it a failed
// call instead: the function is replaced by one of the same signature that
// fails as the real one fails, with ERROR_MOD_NOT_FOUND (library missing)
// or ERROR_PROC_NOT_FOUND (function missing), and the code goes on as it
// does after that failure of the real function.
#include <cstring>
#include <type_traits>

#include "os/win32/delayed_functions.h"
#include "os/win32/win32.h"
// After <windows.h>: it needs its types.
#include <delayimp.h>

namespace os::win32 {
namespace {

// How a function reports failure.
enum class Fails {
  kStatus,    // returns the Win32 error
  kHResult,   // returns it as an HRESULT
  kZero,      // returns 0 / null, the error in GetLastError
  kMinusOne,  // returns -1 (GetMessageA), the error in GetLastError
};

template <Fails How, DWORD Error, class R, class... A>
R WINAPI Failed(A...) {
  if constexpr (How == Fails::kStatus) {
    return static_cast<R>(Error);
  } else if constexpr (How == Fails::kHResult) {
    return static_cast<R>(HRESULT_FROM_WIN32(Error));
  } else {
    ::SetLastError(Error);
    if constexpr (How == Fails::kMinusOne) return static_cast<R>(-1);
    if constexpr (!std::is_void_v<R>) return R{};
  }
}

// A function pointer as the helper hands it out. void (*)() is the type a
// function pointer may be cast through without the compiler's warning.
template <class F>
FARPROC AsFarProc(F function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Stub {
  const char* name;
  FARPROC missingLibrary;
  FARPROC missingFunction;
};

// The stand-ins of one function, deduced from its declared type: the same
// parameters and calling convention (on x86 a stdcall function removes its
// arguments from the stack itself, so the size must match).
template <Fails How, class R, class... A>
Stub StubOf(const char* name, R (WINAPI*)(A...)) {
  return {name, AsFarProc(&Failed<How, ERROR_MOD_NOT_FOUND, R, A...>),
          AsFarProc(&Failed<How, ERROR_PROC_NOT_FOUND, R, A...>)};
}

// VariantInit cannot fail: without oleaut32 it still leaves the VARIANT
// empty, which is all it does.
void WINAPI EmptyVariant(VARIANTARG* value) { V_VT(value) = VT_EMPTY; }
static_assert(std::is_same_v<decltype(&EmptyVariant), decltype(&::VariantInit)>);

// The bytes a function's arguments take on the stack (a reference is
// passed as a pointer): on x86 the "@N" of its decorated name.
template <class A>
constexpr std::size_t StackBytes() {
  return ((std::is_reference_v<A> ? sizeof(void*) : sizeof(A)) + 3) / 4 * 4;
}
template <class R, class... A>
constexpr std::size_t ArgumentBytes(R (WINAPI*)(A...)) {
  return (std::size_t{0} + ... + StackBytes<A>());
}

#define VORN_DELAY_TYPE(function) decltype(&::function)
#define VORN_DELAY_STUB(function, bytes, how) \
  StubOf<Fails::how>(#function, static_cast<VORN_DELAY_TYPE(function)>(nullptr))


#define VORN_DELAY_STUB_ENTRY(function, bytes, how) VORN_DELAY_STUB(function, bytes, how),
const Stub kStubs[] = {
    VORN_DELAYED(VORN_DELAY_STUB_ENTRY)
    {"VariantInit", AsFarProc(&EmptyVariant), AsFarProc(&EmptyVariant)},
};

#define VORN_DELAY_BYTES_MATCH(function, bytes, how)                                        \
  static_assert(sizeof(void*) == 8 || ArgumentBytes(VORN_DELAY_TYPE(function){}) == bytes, \
                #function "'s argument bytes");
VORN_DELAYED(VORN_DELAY_BYTES_MATCH)
static_assert(sizeof(void*) == 8 || ArgumentBytes(VORN_DELAY_TYPE(VariantInit){}) == 4);

FARPROC WINAPI DelayLoadFailed(unsigned notification, PDelayLoadInfo info) {
  // A missing library: the executable's own module stands in for it, so
  // that the helper goes on to look up the function there, finds nothing
  // (VORN.EXE exports none) and asks below for the stand-in.
  const HMODULE self = ::GetModuleHandleA(nullptr);
  if (notification == dliFailLoadLib) return reinterpret_cast<FARPROC>(self);
  if (notification != dliFailGetProc || !info->dlp.fImportByName) return nullptr;
  for (const Stub& stub : kStubs) {
    if (std::strcmp(stub.name, info->dlp.szProcName) == 0)
      return info->hmodCur == self ? stub.missingLibrary : stub.missingFunction;
  }
  return nullptr;  // no stand-in: the helper raises its exception
}

}  // namespace
}  // namespace os::win32

extern "C" {
// Replaces the runtime's empty hook (the linker takes this definition and
// leaves the runtime's out).
PfnDliHook __pfnDliFailureHook2 = os::win32::DelayLoadFailed;

// The zero descriptor that ends the table of delay-import descriptors:
// dlltool's libraries put theirs in .text$2, the linker sorts .text$3 right
// after them, and scripts/pe_delay_imports.py points the executable's
// delay-import directory at the table (cmake/win32.cmake keeps this in the
// link).
__attribute__((section(".text$3"), used, aligned(4)))
extern const unsigned char vorn_delay_import_end[32] = {};
}
