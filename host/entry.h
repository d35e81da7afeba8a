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

enum class Verb { kNone, kVersion, kUnregServer, kRegServer, kService, kEnableDst, kDisableDst };

// The verb a command line asks for. "Version" counts only as the first
// token; every other verb is tested on each token in turn, and a token is
// the whole remainder of the line behind its delimiter.
Verb ParseVerb(os::Text& text, const std::string& line);

// Reads the command line, dispatches a verb or runs the job. Returns the
// process exit code.
int ProcessEntry(CServiceModule& module);

}  // namespace vorn
