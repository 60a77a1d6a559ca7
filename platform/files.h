// File-system services. Paths are byte strings as the file system takes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
  // The whole file from its first byte; nothing on a read error.
  [[nodiscard]] std::optional<std::string> readAll();
  // True when path names this very file (same device and inode), so that
  // links and other spellings are caught without opening it again.
  [[nodiscard]] bool isFileAt(const std::string& path) const;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
};

// The whole content of a regular file (links followed). Anything else, a
// folder, a device or a FIFO, gives nothing at once, without blocking.
[[nodiscard]] std::optional<std::string> readFile(const std::string& path);

// A file written under a temporary name in its destination's folder and put
// in the destination's place only when it is complete, so that whatever
// stood there before stays whole until then. The temporary is created
// exclusively (never through a link), is hidden and never ends in ".vcf",
// and is held locked while it is written: a leftover of a killed process is
// told from one being written by the lock (removeAbandonedStagedFiles).
// Destroying a staged file that was not put in place removes its temporary.
class StagedFile {
 public:
  // Creates the temporary for destination; nothing when it cannot be made.
  [[nodiscard]] static std::unique_ptr<StagedFile> create(std::string destination);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  [[nodiscard]] const std::string& destination() const noexcept { return destination_; }
  // Where it goes in the end; the temporary stays in the same folder.
  void setDestination(std::string destination) { destination_ = std::move(destination); }
  [[nodiscard]] const std::string& temporaryPath() const noexcept { return temporary_; }

  // Appends to the temporary; false on a short or failed write.
  [[nodiscard]] bool append(std::string_view content);
  // Flushes the bytes written to the disk; the temporary stays open, and
  // locked, until it is put in place or dropped.
  [[nodiscard]] bool finish();
  // Renames the finished temporary over the destination; the permissions of
  // a file it replaces carry over.
  [[nodiscard]] bool replace();
  // Removes the temporary, unless it has been put in place.
  void discard() noexcept;

 private:
  StagedFile(std::string destination, std::string temporary, int fd) noexcept;
  std::string destination_;
  std::string temporary_;
  // The disk is asked to start writing each time this much has gathered.
  static constexpr std::uint64_t kWriteBehind = std::uint64_t{8} << 20;
  // Bytes written, and of them those the disk was asked to start writing.
  std::uint64_t written_ = 0;
  std::uint64_t flushed_ = 0;
  int fd_ = -1;
  bool placed_ = false;
};

// Removes the temporaries of staged files in folder that no process holds
// any more (one killed while it wrote), and reports how many went. One that
// is being written is left alone.
std::size_t removeAbandonedStagedFiles(const std::string& folder);

// The folder part of a path ("." for a bare name, "/" for a file at the root).
[[nodiscard]] std::string folderOf(const std::string& path);

// Flushes a folder's entries (renames, removals) to the disk.
[[nodiscard]] bool syncFolder(const std::string& folder);

// The names in a folder, without "." and ".."; empty when it cannot be read.
[[nodiscard]] std::vector<std::string> folderEntries(const std::string& folder);

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
