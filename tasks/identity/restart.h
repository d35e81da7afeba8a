// The restart that makes a changed identity take effect.
#pragma once

#include "os/power.h"

namespace vorn {

// Schedules a forced restart of the local machine after 60 seconds with
// `message` shown to anyone at the machine. True when the restart was
// scheduled and the shutdown privilege switched off again; false otherwise
// (also while another shutdown is scheduled). Nothing is logged.
bool RequestRestart(os::Power& power, const char* message);

}  // namespace vorn
