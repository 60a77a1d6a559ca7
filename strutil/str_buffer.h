// Owned UTF-8 C strings, line cutting, splitting at unescaped delimiters,
// literal replacing and upper-casing.
//
// Every char* handed out comes from malloc and is released with free, except
// split results, which are released only with SplitFree. None of these
// functions throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A copy of text in an exact-fit block; null when memory is exhausted.
[[nodiscard]] char* StrAlloc(const char* text) noexcept;

// Appends text to buffer, resizing it to exactly the joined length. A null
// buffer gives a copy of text. On failure null is returned and buffer is left
// untouched (it still belongs to the caller).
[[nodiscard]] char* StrAdd(char* buffer, const char* text) noexcept;

// Cuts text in place to n bytes if it is longer; returns text.
char* StrCut(char* text, std::uint64_t n) noexcept;

// Number of non-overlapping, byte-wise occurrences of pattern (not empty).
[[nodiscard]] std::int64_t StrFind(const char* text, const char* pattern) noexcept;

// Terminates the first line of text in place: the LF and every CR directly
// before it become NUL. Returns where the line now ends and sets count to the
// number of bytes cleared, so the next line starts at result + count. Null
// (count 0, text untouched) when text holds no LF.
char* CrLf2NULL(char* text, std::uint64_t* count) noexcept;

// Cuts a copy of text at every delimiter not directly preceded by a backslash
// (escaped delimiters stay in the token with their backslash). With maxCuts
// not 0, at most that many cuts are made and the rest of the text is the last
// token unchanged. The handle indexes the tokens from 0; count receives their
// number (at least 1). Null with count 0 on failure, including text that is
// not valid UTF-8. Release with SplitFree.
[[nodiscard]] char** Split(const char* text, const char* delimiter, std::uint64_t* count,
                           std::uint64_t maxCuts) noexcept;

// One cutting step of Split: terminates the token that starts at position (a
// writable text inside a split's private copy) in place. Returns true when a
// delimiter followed the token, with skip set to its length in bytes;
// otherwise false with skip 0. Also false when position is not valid UTF-8.
bool SearchDelimiter(char* position, const char* delimiter, std::uint64_t* skip) noexcept;

// Splits a property line into its name-and-parameters list (before the first
// unescaped ":", cut at ";") and its value list (after it, cut at ";"). A list
// that does not exist is null with count 0. Always returns 0. Release both
// lists with SplitFree(names, values).
int SplitFR(const char* line, char*** names, std::uint64_t* namesCount, char*** values,
            std::uint64_t* valuesCount) noexcept;

// The name-and-parameters list of SplitFR alone, for callers that do not
// need the values. Always returns 0. Release with SplitFree.
int SplitFRNames(const char* line, char*** names, std::uint64_t* namesCount) noexcept;

// Releases a split result; null does nothing.
void SplitFree(char** handle) noexcept;
// Releases first, then second; either may be null.
void SplitFree(char** first, char** second) noexcept;

// A copy of text with every non-overlapping occurrence of pattern (not empty)
// replaced, byte-wise and case-sensitively; null when memory is exhausted.
[[nodiscard]] char* Replace(const char* text, const char* pattern,
                            const char* replacement) noexcept;

// Unicode full upper-casing, locale-independent ("ß" -> "SS"); null when text
// is not valid UTF-8 or memory is exhausted.
[[nodiscard]] char* StrToUpper(const char* text) noexcept;

namespace strutil {

// StrToUpper for the engine: the upper-cased text, or nothing when text is
// not valid UTF-8. Running out of memory is not an answer here: it throws
// std::bad_alloc, which the driver reports.
[[nodiscard]] std::optional<std::string> upperCased(std::string_view text);

}  // namespace strutil
