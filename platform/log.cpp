// The process log: one time-stamped line on standard error per message.
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "log.h"
#include "posix_io_p.h"

namespace platform {

using detail::writeAll;

void logLine(std::string_view message) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  tm local{};
  ::localtime_r(&tv.tv_sec, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::string line = std::string(stamp) + "." + std::to_string(tv.tv_usec / 1000 + 1000).substr(1) +
                     " " + program_invocation_short_name + "[" + std::to_string(::getpid()) + "] " +
                     std::string(message) + "\n";
  // One write so that lines from several threads do not interleave.
  (void)writeAll(STDERR_FILENO, line);
}

void logFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length >= 0) {
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    logLine(text);
  }
  va_end(args);
}

}  // namespace platform
