// Thread-local scratch buffers are reused from call to call so that the usual
// short lines and parameter lists cost no allocation. A buffer only ever
// grows, though: one 10 MB line would leave megabytes behind for the rest of
// the thread's life. A call that grows one past a modest size gives the
// storage back on its way out.
#pragma once

#include <cstddef>

namespace strutil::detail {

// Scratch storage up to this many bytes is kept for the next call.
inline constexpr std::size_t kScratchKeptBytes = 64 * 1024;

// Frees the buffer's storage when the scope ends if it holds more than
// kScratchKeptBytes; Buffer is a std::string or a std::vector.
template <typename Buffer>
class ScratchRelease {
 public:
  explicit ScratchRelease(Buffer& buffer) noexcept : buffer_(buffer) {}
  ~ScratchRelease() {
    if (buffer_.capacity() * sizeof(typename Buffer::value_type) > kScratchKeptBytes) {
      Buffer().swap(buffer_);
    }
  }
  ScratchRelease(const ScratchRelease&) = delete;
  ScratchRelease& operator=(const ScratchRelease&) = delete;

 private:
  Buffer& buffer_;
};

}  // namespace strutil::detail
