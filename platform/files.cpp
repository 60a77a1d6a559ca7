// Whole-file reading, atomic replacement, appending and the other file-system
// services.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "files.h"
#include "posix_io_p.h"

namespace platform {
namespace {

// Holds a file descriptor and closes it on every path.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded (a deferred write error
  // on some file systems only shows here).
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
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

namespace {

// Opens a regular file for reading; -1 for anything else. Without
// O_NONBLOCK, opening a FIFO waits for a writer that may never come; with it
// the open returns at once and fstat turns the FIFO away.
int openRegularFile(const std::string& path, struct stat* st) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  // Devices (/dev/zero never ends), sockets, FIFOs and folders are no source.
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

FileReader::FileReader(const std::string& path) {
  struct stat st {};
  fd_ = openRegularFile(path, &st);
  if (fd_ < 0) return;
  size_ = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  device_ = static_cast<std::uint64_t>(st.st_dev);
  inode_ = static_cast<std::uint64_t>(st.st_ino);
}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::size_t> FileReader::readSome(char* out, std::size_t count) {
  if (fd_ < 0) return std::nullopt;
  for (;;) {
    const ssize_t n = ::read(fd_, out, count);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return std::nullopt;
  }
}

bool FileReader::rewind() noexcept {
  return fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
}

std::optional<std::string> FileReader::readAll() {
  if (!rewind()) return std::nullopt;
  std::string content;
  // Room for a caller's terminator too, so that adding one does not copy
  // the whole content.
  if (size_ > 0) content.reserve(static_cast<std::size_t>(size_) + 8);
  char buffer[1 << 16];
  for (;;) {
    const std::optional<std::size_t> n = readSome(buffer, sizeof buffer);
    if (!n) return std::nullopt;
    if (*n == 0) break;
    content.append(buffer, *n);
  }
  return content;
}

bool FileReader::isFileAt(const std::string& path) const {
  struct stat st {};
  return fd_ >= 0 && ::stat(path.c_str(), &st) == 0 &&
         static_cast<std::uint64_t>(st.st_dev) == device_ &&
         static_cast<std::uint64_t>(st.st_ino) == inode_;
}

std::optional<std::string> readFile(const std::string& path) {
  FileReader reader(path);
  if (!reader.isOpen()) return std::nullopt;
  return reader.readAll();
}

namespace {

// Staged temporaries are ".vcf-" and 16 hexadecimal digits, then ".partial":
// hidden, and no file a person or a later run takes for a vCard file.
constexpr std::string_view kStagedPrefix = ".vcf-";
constexpr std::string_view kStagedSuffix = ".partial";
constexpr std::size_t kStagedDigits = 16;

// A temporary name in folder that no other writer picks by chance: 64 bits
// from the system's random source, in hexadecimal. getentropy fills the whole
// buffer or fails, retrying interrupted reads itself; unlike getrandom it also
// exists under Emscripten, where the browser's crypto supplies the bytes.
std::optional<std::string> randomTemporaryName(const std::string& folder) {
  std::uint64_t bits = 0;
  if (::getentropy(&bits, sizeof bits) != 0) return std::nullopt;
  char digits[kStagedDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(bits));
  std::string path = folder == "/" ? std::string() : folder;
  path += '/';
  path += kStagedPrefix;
  path += digits;
  path += kStagedSuffix;
  return path;
}

bool isStagedName(std::string_view name) {
  if (name.size() != kStagedPrefix.size() + kStagedDigits + kStagedSuffix.size() ||
      !name.starts_with(kStagedPrefix) || !name.ends_with(kStagedSuffix))
    return false;
  for (const char c : name.substr(kStagedPrefix.size(), kStagedDigits)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Asks the disk to start writing a range of the file, without waiting for
// it; nothing where the system has no such request.
void startWriting(int fd, std::uint64_t from, std::uint64_t count) {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  (void)::sync_file_range(fd, static_cast<off_t>(from), static_cast<off_t>(count),
                          SYNC_FILE_RANGE_WRITE);
#else
  (void)fd;
  (void)from;
  (void)count;
#endif
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

StagedFile::StagedFile(std::string destination, std::string temporary, int fd) noexcept
    : destination_(std::move(destination)), temporary_(std::move(temporary)), fd_(fd) {}

StagedFile::~StagedFile() {
  discard();
}

std::unique_ptr<StagedFile> StagedFile::create(std::string destination) {
  const std::string folder = folderOf(destination);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::optional<std::string> name = randomTemporaryName(folder);
    if (!name) return nullptr;
    // Created 0666 so that the umask gives the file the permissions a plain
    // create would. The umask is only read by the kernel, never set here: it
    // is shared by every thread of the process.
    const int fd =
        ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return nullptr;
    }
    // Locked for as long as it is written. A run cleaning up leftovers may
    // have taken the lock in the instant before this one and removed the
    // name: then another name is taken.
    struct stat opened {};
    struct stat named {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &opened) != 0 ||
        ::stat(name->c_str(), &named) != 0 || !sameFile(opened, named)) {
      ::close(fd);
      continue;
    }
    return std::unique_ptr<StagedFile>(
        new StagedFile(std::move(destination), std::move(*name), fd));
  }
  return nullptr;
}

bool StagedFile::append(std::string_view content) {
  if (fd_ < 0 || placed_ || !writeAll(fd_, content)) return false;
  written_ += content.size();
  // The disk starts on what has gathered while the conversion goes on, so
  // that the flush at the end waits for little more than the last blocks.
  if (written_ - flushed_ >= kWriteBehind) {
    startWriting(fd_, flushed_, written_ - flushed_);
    flushed_ = written_;
  }
  return true;
}

bool StagedFile::finish() {
  return fd_ >= 0 && !placed_ && ::fsync(fd_) == 0;
}

bool StagedFile::replace() {
  if (fd_ < 0 || placed_) return false;
  // A replaced file keeps who may read it (an address book is private).
  struct stat existing {};
  if (::stat(destination_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
    (void)::fchmod(fd_, existing.st_mode & 07777);
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) return false;
  placed_ = true;
  // The lock goes only now, so that no cleaner takes the finished temporary
  // for a leftover before it is in place.
  FileDescriptor closing(fd_);
  fd_ = -1;
  return closing.close();
}

void StagedFile::discard() noexcept {
  if (!placed_ && !temporary_.empty()) (void)::unlink(temporary_.c_str());
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  temporary_.clear();
}

std::size_t removeAbandonedStagedFiles(const std::string& folder) {
  std::size_t removed = 0;
  for (const std::string& name : folderEntries(folder)) {
    if (!isStagedName(name)) continue;
    const std::string path = (folder == "/" ? std::string() : folder) + "/" + name;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat opened {};
    struct stat named {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) continue;
    // A writer holds its lock until the file is in place or gone.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (::stat(path.c_str(), &named) != 0 || !sameFile(opened, named)) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

bool syncFolder(const std::string& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  // Some file systems cannot sync a folder and say so; that is no failure.
  return ::fsync(fd.get()) == 0 || errno == EINVAL;
}

std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

bool writeFileAtomically(const std::string& path, std::string_view content) {
  const std::unique_ptr<StagedFile> file = StagedFile::create(path);
  return file != nullptr && file->append(content) && file->finish() && file->replace();
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

bool isSameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool renameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

}  // namespace platform
