// The string and charset toolkit under the engine: plain functions over
// NUL-terminated UTF-8 byte strings from the C allocator.
#pragma once

#include <cstdlib>
#include <memory>

#include "str_buffer.h"
#include "str_charset.h"
#include "str_decode.h"
#include "str_param.h"

namespace strutil {

// Releases an owned C string with free.
struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
using OwnedCString = std::unique_ptr<char, FreeDeleter>;

// Releases a split result with SplitFree.
struct SplitDeleter {
  void operator()(char** handle) const noexcept { SplitFree(handle); }
};
using OwnedSplit = std::unique_ptr<char*, SplitDeleter>;

}  // namespace strutil
