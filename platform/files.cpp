// Whole-file reading, atomic replacement, appending and the other file-system
// services.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "files.h"
#include "posix_io_p.h"

namespace platform {
namespace {

// Holds a file descriptor and closes it on every path.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  // Closes now and reports whether the close succeeded (a deferred write error
  // on some file systems only shows here).
  bool close() {
    int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int m_fd;
};

}  // namespace

namespace detail {

bool writeAll(int fd, std::string_view content) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace detail

using detail::writeAll;

std::optional<std::string> readFile(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
  // come; with it the open returns at once and fstat turns the FIFO away.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  // Devices (/dev/zero never ends), sockets, FIFOs and folders are no source.
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string content;
  if (st.st_size > 0) {
    // Room for a caller's terminator too, so that adding one does not copy
    // the whole content.
    content.reserve(static_cast<std::size_t>(st.st_size) + 8);
  }
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return content;
}

bool writeFileAtomically(const std::string& path, std::string_view content) {
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  std::string temp = folder + "/.vcf-XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  FileDescriptor fd(::mkstemp(name.data()));
  if (fd.get() < 0) return false;
  const std::string tempPath(name.data());
  // mkstemp creates 0600; give the file the permissions a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(fd.get(), 0666 & ~mask) == 0;
  ok = ok && writeAll(fd.get(), content) && ::fsync(fd.get()) == 0;
  ok = fd.close() && ok;
  ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tempPath.c_str());
  return ok;
}

bool appendToFile(const std::string& path, std::string_view content) {
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  bool ok = writeAll(fd.get(), content);
  return fd.close() && ok;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

}  // namespace platform
