// The display text in the automation runtime's boot configuration.
#pragma once

#include <string>

#include "common/event_reporter.h"
#include "os/platform.h"

namespace vorn {

// Builds the path of DefaultConfig.xml from the runtime's "InstallationPath"
// (remembered in *path), switches the document to synchronous loading and
// loads the file. When the file is missing because a save was cut short,
// the save's leftover takes its name first and an information event says
// so. True when the document reports a successful load; a failure status
// from either call counts as an unsuccessful load.
bool LoadBootProject(const os::Platform& platform, EventReporter& events,
                     os::XmlDocument& document, std::string* path);

// Puts the two display lines (the first from `text`, the second "Name: "
// and the host name) into the display init command of DefaultConfig.xml and
// saves the file when they changed. True when the command was found and now
// holds the current lines.
bool UpdateDisplayText(const os::Platform& platform, EventReporter& events,
                       const char* text);

}  // namespace vorn
