// Charset conversion at the edges of the engine's UTF-8 text, and half-width
// katakana folding. None of these throws.
#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Reads the file at path as UTF-16 little-endian and returns its text as a
// malloc'd UTF-8 string, without a leading U+FEFF. buffer is not read. Null
// when the file cannot be read or is not valid UTF-16LE.
[[nodiscard]] char* UTF16_to_SJIS(const void* buffer, const icu::UnicodeString& path) noexcept;

// U+FEFF followed by the text; null when text is not valid UTF-8.
[[nodiscard]] std::unique_ptr<icu::UnicodeString> UTF8_to_UTF16(const char* text) noexcept;

// A malloc'd copy of text with half-width katakana folded to full width, a
// following voiced or semi-voiced sound mark joined into the character.
// Characters outside the Basic Multilingual Plane pass through unchanged. Null
// when text is not valid UTF-8 or memory is exhausted. With VCARD_DEBUG_LOG=1
// in the environment the folded text is written to the process log.
[[nodiscard]] char* Half_to_Full(const char* text) noexcept;

// Half_to_Full appending to out instead of handing out a copy: false (out
// unchanged) when text is null or not valid UTF-8. Logs like Half_to_Full;
// may throw std::bad_alloc.
bool AppendHalfToFull(const char* text, std::string* out);

// AppendHalfToFull for a text already known to be well-formed UTF-8, which
// is not validated again.
bool AppendHalfToFullOfValid(std::string_view text, std::string* out);

// Charset guesses of GetCharset.
inline constexpr std::int32_t kCharsetGuessNotText = -1;
inline constexpr std::int32_t kCharsetGuessShiftJIS = 0;  // also plain ASCII or undecided
inline constexpr std::int32_t kCharsetGuessISO2022JP = 1;
inline constexpr std::int32_t kCharsetGuessEUCJP = 2;
inline constexpr std::int32_t kCharsetGuessUTF16 = 3;
inline constexpr std::int32_t kCharsetGuessUTF8 = 4;

// Guesses the Japanese encoding of a byte buffer from its byte patterns.
[[nodiscard]] std::int32_t GetCharset(const std::uint8_t* bytes, std::uint64_t length) noexcept;
