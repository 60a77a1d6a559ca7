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
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace utf {

// True for a byte below 0x80.
[[nodiscard]] constexpr bool isASCII(char c) noexcept {
  return static_cast<unsigned char>(c) < 0x80;
}

// True when every byte is below 0x80 (the empty text included). Inline, like
// the two below: the callers run it on every short name and value.
[[nodiscard]] inline bool isASCII(std::string_view bytes) noexcept {
  const char* s = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (; n - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s + i, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < n; ++i) {
    if (!isASCII(s[i])) return false;
  }
  return true;
}

// True for well-formed UTF-8: shortest forms only, no surrogates, nothing
// above U+10FFFF. NUL bytes are characters like any other.
[[nodiscard]] bool validateUTF8(std::string_view bytes) noexcept;

// Writes the UTF-16 units as UTF-8 to out, which must have room for three
// bytes per unit, and returns the number of bytes written. Never fails: a
// surrogate without its partner becomes U+FFFD.
std::size_t convertUTF16ToUTF8WithReplacement(const char16_t* units, std::size_t count,
                                              char* out) noexcept;

// Writes the UTF-8 text at out as UTF-16LE units, which must have room for
// two bytes per byte of text, and returns the end of what it wrote; null for
// ill-formed UTF-8 (as validateUTF8 judges it), with out left partly written.
[[nodiscard]] char* encodeUTF16LE(std::string_view utf8, char* out) noexcept;

// Appends the UTF-8 text to out as UTF-16LE units without a byte-order mark.
// Ill-formed UTF-8 (as validateUTF8 judges it) appends nothing and gives
// false. May throw std::bad_alloc.
bool convertUTF8ToUTF16LE(std::string_view utf8, std::string* out);

// The code point of the well-formed UTF-8 sequence that starts at text.
// Reads only the bytes of that sequence; anything else is undefined.
[[nodiscard]] inline char32_t decodeValidUTF8CodePoint(const char* text) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  if (s[0] < 0x80) return s[0];
  if (s[0] < 0xE0) return static_cast<char32_t>((s[0] & 0x1F) << 6 | (s[1] & 0x3F));
  if (s[0] < 0xF0) {
    return static_cast<char32_t>((s[0] & 0x0F) << 12 | (s[1] & 0x3F) << 6 | (s[2] & 0x3F));
  }
  return static_cast<char32_t>((s[0] & 0x07) << 18 | (s[1] & 0x3F) << 12 | (s[2] & 0x3F) << 6 |
                               (s[3] & 0x3F));
}

// Writes one code point (at most U+10FFFF) as UTF-8 at out, which must have
// room for four bytes (three below U+10000), and returns the bytes written.
inline std::size_t writeCodePointAsUTF8(char32_t c, char* out) noexcept {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | c >> 6);
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | c >> 12);
    out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | c >> 18);
  out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
  out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-8. May
// throw std::bad_alloc.
inline void appendCodePointAsUTF8(char32_t c, std::string* out) {
  char bytes[4];
  out->append(bytes, writeCodePointAsUTF8(c, bytes));
}

// True when the text is well-formed UTF-8 made of ASCII and the characters
// that upper-casing leaves alone which Japanese text is mostly made of:
// U+3000-U+9FFF (CJK symbols, kana, ideographs) and U+FF61-U+FF9F
// (half-width katakana). Anything else, ill-formed bytes included, gives
// false.
[[nodiscard]] bool isASCIIOrUncasedJapanese(std::string_view utf8) noexcept;

// True when some byte starts a character of U+3000-U+9FFF (a lead byte
// E3-E9); the rest of the text is not checked.
[[nodiscard]] bool containsCJKLeadByte(std::string_view bytes) noexcept;

// The length of the well-formed sequence of two bytes or more at the start
// of bytes (shortest form, no surrogate, at most U+10FFFF, as validateUTF8
// judges), or 0 for an ASCII byte or an ill-formed start.
[[nodiscard]] std::size_t multiByteSequenceLength(std::string_view bytes) noexcept;

}  // namespace utf
