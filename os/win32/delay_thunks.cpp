// Each delay-loaded function's thunk in dlltool's library: the code its
// address slot points at until the first call, which calls the helper. The
// program calls through the slot; the linker keeps the slots but does not
// follow their references when it drops unused sections (--gc-sections),
// so a thunk nothing else names was dropped and its slot linked as 0 (on
// x86 the first call into such a function jumped to address 0). This
// table, kept by VORN.EXE's link (cmake/win32.cmake), names every thunk.
// Not in delay_load.cpp: its test links other libraries.
#include "os/win32/delayed_functions.h"

#if defined(__i386__)
#define VORN_THUNK_SYMBOL(function, bytes) "_" #function "@" #bytes
#else
#define VORN_THUNK_SYMBOL(function, bytes) #function
#endif

extern "C" {
#define VORN_DELAY_THUNK(function, bytes, how) \
  void vorn_thunk_##function() __asm__(VORN_THUNK_SYMBOL(function, bytes));
VORN_DELAYED(VORN_DELAY_THUNK)
VORN_DELAY_THUNK(VariantInit, 4, kZero)

#define VORN_DELAY_THUNK_ADDRESS(function, bytes, how) &vorn_thunk_##function,
__attribute__((used))
extern void (*const vorn_delay_thunks[])() __asm__("vorn_delay_thunks") = {
    VORN_DELAYED(VORN_DELAY_THUNK_ADDRESS) &vorn_thunk_VariantInit};
}
