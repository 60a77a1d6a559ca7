// Every hand-written UTF-8 routine of the system, in one place. Each function
// says in its name what it takes and what it gives, and in its comment how it
// answers bad input: by a false result, by U+FFFD, or not at all (the
// "Valid" functions trust that their input was checked already).
//
// ICU can do all of this; these exist because the hot paths (loading,
// splitting, writing cards) call them once per line or per byte, where ICU's
// general converters cost several times more.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace utf {

// True for a byte below 0x80.
[[nodiscard]] constexpr bool isASCII(char c) noexcept {
  return static_cast<unsigned char>(c) < 0x80;
}

// True when every byte is below 0x80 (the empty text included).
[[nodiscard]] bool isASCII(std::string_view bytes) noexcept;

// True for well-formed UTF-8: shortest forms only, no surrogates, nothing
// above U+10FFFF. NUL bytes are characters like any other.
[[nodiscard]] bool validateUTF8(std::string_view bytes) noexcept;

// Writes the UTF-16 units as UTF-8 to out, which must have room for three
// bytes per unit, and returns the number of bytes written. Never fails: a
// surrogate without its partner becomes U+FFFD.
std::size_t convertUTF16ToUTF8WithReplacement(const char16_t* units, std::size_t count,
                                              char* out) noexcept;

// Appends the UTF-8 text to out as UTF-16LE units without a byte-order mark.
// Ill-formed UTF-8 (as validateUTF8 judges it) appends nothing and gives
// false. May throw std::bad_alloc.
bool convertUTF8ToUTF16LE(std::string_view utf8, std::string* out);

// The code point of the well-formed UTF-8 sequence that starts at s. Reads
// only the bytes of that sequence; anything else is undefined.
[[nodiscard]] char32_t decodeValidUTF8CodePoint(const char* s) noexcept;

// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-8. May
// throw std::bad_alloc.
void appendCodePointAsUTF8(char32_t codePoint, std::string* out);

// True when the text is well-formed UTF-8 made of ASCII and the characters
// that upper-casing leaves alone which Japanese text is mostly made of:
// U+3000-U+9FFF (CJK symbols, kana, ideographs) and U+FF61-U+FF9F
// (half-width katakana). Anything else, ill-formed bytes included, gives
// false.
[[nodiscard]] bool isASCIIOrUncasedJapanese(std::string_view utf8) noexcept;

// True when some byte starts a character of U+3000-U+9FFF (a lead byte
// E3-E9); the rest of the text is not checked.
[[nodiscard]] bool containsCJKLeadByte(std::string_view bytes) noexcept;

}  // namespace utf
