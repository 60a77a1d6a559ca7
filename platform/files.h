// File-system services. Paths are byte strings as the file system takes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Reads a regular file piece by piece, for sources too large to hold twice.
// Opens as readFile does: anything but a regular file is refused at once.
class FileReader {
 public:
  explicit FileReader(const std::string& path);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // False when the path is no readable regular file.
  [[nodiscard]] bool isOpen() const noexcept { return fd_ >= 0; }
  // The size when it was opened.
  [[nodiscard]] std::uint64_t size() const noexcept { return size_; }
  // Reads up to count bytes into out: how many (0 at the end of the file),
  // or nothing on a read error.
  [[nodiscard]] std::optional<std::size_t> readSome(char* out, std::size_t count);
  // Back to the first byte; false on failure.
  [[nodiscard]] bool rewind() noexcept;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The whole content of a regular file (links followed). Anything else, a
// folder, a device or a FIFO, gives nothing at once, without blocking.
[[nodiscard]] std::optional<std::string> readFile(const std::string& path);

// Writes the whole content to a temporary file in the target folder and
// renames it over the target, so the target holds either the old content or
// exactly the new bytes.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view content);

// Appends to an existing regular file; fails without creating a missing one.
// A short write is reported as a failure.
[[nodiscard]] bool appendToFile(const std::string& path, std::string_view content);

// True for an existing file or folder (links followed).
[[nodiscard]] bool fileExists(const std::string& path);

// True when both paths name the same existing file (same device and inode),
// so links and relative spellings are caught.
[[nodiscard]] bool isSameFile(const std::string& a, const std::string& b);

// The size of the regular file at path; nothing when it is none.
[[nodiscard]] std::optional<std::uint64_t> fileSize(const std::string& path);

// Removes a file; false when it could not be removed (a missing file counts
// as removed).
bool removeFile(const std::string& path);

// Renames a file within one file system, replacing a file of the new name.
[[nodiscard]] bool renameFile(const std::string& from, const std::string& to);

// The user's home folder ($HOME, else the password database).
[[nodiscard]] std::string homeDirectory();

}  // namespace platform
