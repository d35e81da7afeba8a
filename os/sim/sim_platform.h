// Every port facility of the simulated device, bundled as the system sees
// them.
#pragma once

#include <string>

#include "os/platform.h"
#include "device/device.h"
#include "os/sim/sim_host.h"
#include "os/sim/sim_machine.h"
#include "os/sim/sim_network.h"
#include "os/sim/sim_registry.h"
#include "os/sim/sim_services.h"

namespace sim {

class SimPlatform {
 public:
  // `commandLine` is what GetCommandLineA answers.
  SimPlatform(Device& device, std::string commandLine)
      : registry(device), eventLog(device), process(device, std::move(commandLine)),
        ui(device), com(device), services(device, process), network(device), power(device),
        modules(device), files(device), clock(device), writeFilters(device) {}

  os::Platform platform() {
    return os::Platform{registry, eventLog, process, text,    ui,    com,
                        services, network,  power,   modules, files, clock,
                        writeFilters};
  }

  SimRegistry registry;
  SimEventLog eventLog;
  SimProcess process;
  SimText text;
  SimUi ui;
  SimCom com;
  SimServices services;
  SimNetwork network;
  SimPower power;
  SimModules modules;
  SimFiles files;
  SimClock clock;
  SimWriteFilters writeFilters;
};

}  // namespace sim
