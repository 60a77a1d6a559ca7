// Base64 as vCard writes it: decoding that takes the data however a phone
// folded and padded it, and encoding on one line for the writer to fold.
#pragma once

#include <string>
#include <string_view>

namespace strutil {

// True for the 64 characters that carry data ("=" pads and is not one).
[[nodiscard]] bool isBase64Digit(char c) noexcept;

// The bytes text encodes. Anything outside the alphabet is skipped: the
// blanks and line breaks of folds, "=" padding, stray characters. Bits left
// over at the end, short of a byte, are dropped.
[[nodiscard]] std::string decodeBase64(std::string_view text);

// Appends the Base64 of bytes, padded with "=" to a whole group of four.
void appendBase64(std::string_view bytes, std::string* out);

}  // namespace strutil
