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

}  // namespace strutil::detail
