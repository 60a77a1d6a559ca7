// The general forms behind the toolkit's fast paths. The public functions take
// a shortcut where it provably gives the same answer; these always go the
// long way, so the two can be compared.
#pragma once

#include <cstdint>

namespace strutil::detail {

// Split with every token cut through the pattern replace-all pair.
[[nodiscard]] char** SplitByPattern(const char* text, const char* delimiter, std::uint64_t* count,
                                    std::uint64_t maxCuts) noexcept;

// StrToUpper through the locale-independent Unicode upper-casing.
[[nodiscard]] char* StrToUpperByLocale(const char* text) noexcept;

// Half_to_Full over UTF-16 units, one converter call per unit.
[[nodiscard]] char* HalfToFullByUnits(const char* text) noexcept;

// CheckEncoding, CheckEncoding_onearg, CheckCharset and CheckCharset_onearg
// as one StrExists look-up per key.
[[nodiscard]] std::int64_t CheckEncodingByLookups(const char* const* list,
                                                  std::uint64_t count) noexcept;
[[nodiscard]] std::int64_t CheckEncodingOneByLookups(const char* parameter) noexcept;
[[nodiscard]] std::int64_t CheckCharsetByLookups(const char* const* list,
                                                 std::uint64_t count) noexcept;
[[nodiscard]] std::int64_t CheckCharsetOneByLookups(const char* parameter) noexcept;

}  // namespace strutil::detail
