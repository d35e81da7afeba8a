// The Windows entry point of VORN.EXE: builds the Win32 platform and runs
// the process on it.
#include "host/process.h"
#include "os/win32/backend.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  os::win32::Registry registry;
  os::win32::EventLog eventLog;
  os::win32::Process process(instance);
  os::win32::Text text;
  os::win32::Ui ui;
  os::win32::Com com;
  os::win32::ServiceManager services;
  os::win32::Network network;
  os::win32::Power power;
  os::win32::Modules modules;
  os::win32::Files files;
  os::win32::Clock clock;
  os::win32::WriteFilters writeFilters;

  const os::Platform platform{registry, eventLog, process,  text,    ui,
                              com,      services, network,  power,   modules,
                              files,    clock,    writeFilters};
  return vorn::RunProcess(platform);
}
