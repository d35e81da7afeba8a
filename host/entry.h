// The process entry: the command line and its verbs.
#pragma once

#include <cstddef>
#include <string>

#include "host/service_module.h"

namespace vorn {

// The position just behind the first delimiter in text[pos...], stepping
// over double-byte characters whole; npos when there is none.
std::size_t NextToken(os::Text& text, const std::string& line, std::size_t pos,
                      const char* delimiters);

// Reads the command line, dispatches a verb or runs the job. Returns the
// process exit code.
int ProcessEntry(CServiceModule& module);

}  // namespace vorn
