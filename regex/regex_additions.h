// Regular-expression helpers over the ICU engine: the first match of a
// pattern in a text and replace-all with an ICU replacement template. Compiled
// patterns and bound subjects are kept in a process-wide cache, so repeated
// calls with the same few patterns on the same texts skip that work.
#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>

namespace rx {

// A stretch of a text in UTF-16 code units.
struct Range {
  std::uint64_t location;
  std::uint64_t length;
};

// The location of a failed search (the largest signed 64-bit value).
inline constexpr std::uint64_t NSNotFound = 0x7FFFFFFFFFFFFFFFull;

inline bool operator==(const Range& a, const Range& b) {
  return a.location == b.location && a.length == b.length;
}

// First match of pattern in subject (options 0): its location and length, or
// (NSNotFound, 0) when there is none or the pattern does not compile.
// A null subject or pattern raises an rx::RXException (see rx_exception.h).
Range rangeOfRegex(const icu::UnicodeString* subject, const icu::UnicodeString* pattern);
inline Range rangeOfRegex(const icu::UnicodeString& subject, const icu::UnicodeString& pattern) {
  return rangeOfRegex(&subject, &pattern);
}

// Copy of subject with every match of pattern replaced by the expanded
// replacement template ("$n" inserts group n, a backslash quotes the next
// character). std::nullopt when the pattern does not compile. Null arguments
// raise an rx::RXException.
std::optional<icu::UnicodeString> stringByReplacingOccurrencesOfRegex(
    const icu::UnicodeString* subject, const icu::UnicodeString* pattern,
    const icu::UnicodeString* replacement);
inline std::optional<icu::UnicodeString> stringByReplacingOccurrencesOfRegex(
    const icu::UnicodeString& subject, const icu::UnicodeString& pattern,
    const icu::UnicodeString& replacement) {
  return stringByReplacingOccurrencesOfRegex(&subject, &pattern, &replacement);
}

}  // namespace rx
