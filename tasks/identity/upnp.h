// The device image's UPnP component and its registration tool.
#pragma once

#include "os/modules.h"

namespace vorn {

constexpr char kUpnpLibraryPath[] = "c:\\windows\\system32\\UPnPAgent.dll";
constexpr char kUpnpToolPath[] = "c:\\windows\\system32\\UPnPRegistrar.exe";

// Starts the program (with `arguments` after a space when given) and waits
// for it to end, at most 254 pauses of 100 ms; a program still running then
// is left running. False only when the program file does not exist; a
// program that cannot be started counts as run.
bool RunAndWait(os::Modules& modules, const char* path, const char* arguments = nullptr);

}  // namespace vorn
