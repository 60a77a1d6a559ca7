// The one owning type for the C strings that cross the engine's C-style
// interfaces: blocks from malloc, released with free.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace platform {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

// A NUL-terminated text from malloc; release() hands it to a C interface.
using OwnedCString = std::unique_ptr<char, FreeDeleter>;

// The bytes (NULs inside included) and a terminating NUL in a block of their
// own; null when memory is exhausted.
[[nodiscard]] inline OwnedCString copyToCString(std::string_view bytes) noexcept {
  OwnedCString copy(static_cast<char*>(std::malloc(bytes.size() + 1)));
  if (!copy) return nullptr;
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  copy.get()[bytes.size()] = '\0';
  return copy;
}

}  // namespace platform
