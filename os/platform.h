// The bundle of port interfaces the system is built with. The process
// entry of each program builds one (the Win32 one in os/win32/, the
// simulated device in os/sim/) and hands it to the system; nothing in the
// system reaches the platform any other way.
#pragma once

#include "os/clock.h"
#include "os/com.h"
#include "os/event_log.h"
#include "os/files.h"
#include "os/modules.h"
#include "os/network.h"
#include "os/power.h"
#include "os/process.h"
#include "os/registry.h"
#include "os/service.h"
#include "os/text.h"
#include "os/ui.h"
#include "os/write_filter.h"
#include "os/xml.h"

namespace os {

struct Platform {
  Registry& registry;
  EventLog& eventLog;
  Process& process;
  Text& text;
  Ui& ui;
  Com& com;
  ServiceManager& services;
  Network& network;
  Power& power;
  Modules& modules;
  Files& files;
  Clock& clock;
  WriteFilters& writeFilters;
};

}  // namespace os
