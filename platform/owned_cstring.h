// The one owning type for the C strings that cross the engine's C-style
// interfaces: blocks from malloc, released with free.
#pragma once

#include <cstdlib>
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
[[nodiscard]] OwnedCString copyToCString(std::string_view bytes) noexcept;

}  // namespace platform
