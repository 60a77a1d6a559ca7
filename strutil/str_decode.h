// Quoted-printable and Base64 decoding of one value.
//
// Both hand out a new malloc'd string with the decoded bytes and a NUL (a
// decoded zero byte therefore ends the text); null when memory is exhausted.
// Neither reads past the terminator of its argument or throws: they are the
// C edge. The engine calls the strutil:: forms, which let std::bad_alloc
// through to the driver.
#pragma once

#include <string>
#include <string_view>

// Decodes "=XX" escapes (hex digits in either case); an "=" without two hex
// digits after it is kept as it stands. Soft line breaks must already be
// removed.
[[nodiscard]] char* QprintDecode(const char* text) noexcept;

namespace strutil {

// QprintDecode's bytes appended to out, up to the first decoded zero byte
// (where QprintDecode's text ends). May throw std::bad_alloc.
void appendQprintDecoded(std::string_view text, std::string* out);

}  // namespace strutil

// Decodes groups of four Base64 characters; "=" counts as 0, characters
// outside the alphabet are skipped, and a short last group is decoded as if
// padded with "=".
[[nodiscard]] char* Base64Decode(const char* text) noexcept;

namespace strutil {

// Base64Decode's bytes appended to out, up to the first decoded zero byte
// (where Base64Decode's text ends). May throw std::bad_alloc.
void appendBase64Decoded(std::string_view text, std::string* out);

}  // namespace strutil
