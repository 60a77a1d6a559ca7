// Descriptor-level writing shared by the file services and the log.
#pragma once

#include <string_view>

namespace platform::detail {

// Writes all of content to fd, going on after interruptions; false on any
// error or when nothing more can be written.
bool writeAll(int fd, std::string_view content);

}  // namespace platform::detail
