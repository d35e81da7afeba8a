// std::terminate's default handler in VORN.EXE: abort, as the default
// handler does after its message.
//
// The C++ runtime's own default first prints the type of the uncaught
// exception to standard error, demangled; that demangler is a sixth of the
// executable. A service and a windowed process have no standard error on the
// device, so the message was never seen: defining the handler here keeps the
// runtime's version (and its demangler) out of the link. Nothing in VORN
// reaches it in normal operation: the process entry catches everything.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
