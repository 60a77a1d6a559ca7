// The process log.
#pragma once

#include <string_view>

namespace platform {

// Writes one diagnostic line to standard error, prefixed with a time stamp and
// the process name and id, the way the desktop platform's log does.
void logLine(std::string_view message);

// Formats like printf and logs the result.
void logFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
