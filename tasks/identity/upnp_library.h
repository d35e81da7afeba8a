// The device image's UPnP library once loaded: it stays loaded, with its two
// entry points, until the process ends.
#pragma once

#include <memory>

#include "os/modules.h"

namespace vorn {

struct UpnpLibrary {
  std::shared_ptr<os::Library> library;
  os::EntryPoint unregisterServer;
  os::EntryPoint registerServer;
};

}  // namespace vorn
