// The engine's names for the ASCII case helpers, which live in platform.
#pragma once

#include "ascii_letters.h"

namespace vcard::detail {

using platform::asciiUpper;
using platform::asciiUpperEquals;
using platform::upperASCII;

}  // namespace vcard::detail
