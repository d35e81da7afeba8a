// The display text in the automation runtime's boot configuration.
#pragma once

#include "host/event_reporter.h"
#include "os/platform.h"

namespace vorn {

// Puts the two display lines (the first from `text`, the second "Name: "
// and the host name) into the display init command of DefaultConfig.xml and
// saves the file when they changed. True when the command was found and now
// holds the current lines.
bool UpdateDisplayText(const os::Platform& platform, EventReporter& events,
                       const char* text);

}  // namespace vorn
