// Folding of logical lines into physical lines of at most kFoldWidth octets
// (RFC 2425 and 2426): every physical line but the first starts with a blank,
// and every one ends with CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vcard::detail {

inline constexpr std::size_t kFoldWidth = 75;

// The line folded, never inside a UTF-8 sequence, appended to out; a line
// with no sequence boundary before the width is cut at the width.
void appendFolded(std::string_view line, std::string* out);

// The bytes appendFolded writes for the line.
[[nodiscard]] std::size_t foldedSize(std::string_view line) noexcept;

// The most ASCII octets (Base64, say) of one logical line whose folded form
// takes at most lineBytes; 0 below the slack the bound leaves.
[[nodiscard]] std::size_t asciiFoldedCapacity(std::size_t lineBytes) noexcept;

}  // namespace vcard::detail
