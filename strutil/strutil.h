// The string and charset toolkit under the engine: plain functions over
// NUL-terminated UTF-8 byte strings from the C allocator.
#pragma once

#include <memory>

#include "line_split.h"
#include "owned_cstring.h"
#include "str_buffer.h"
#include "str_charset.h"
#include "str_decode.h"
#include "str_param.h"

namespace strutil {

// Releases a split result with SplitFree.
struct SplitDeleter {
  void operator()(char** handle) const noexcept { SplitFree(handle); }
};
using OwnedSplit = std::unique_ptr<char*, SplitDeleter>;

}  // namespace strutil
