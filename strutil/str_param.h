// Case-insensitive look-ups in a property line's parameters and values.
//
// A list is a split result (or any array of C strings) with its count; null
// entries are skipped. All tests upper-case both sides and look for the key as
// a substring. Nothing allocated here outlives a call; none of these throws.
#pragma once

#include <cstdint>

// 1 if key occurs in some entry, else 0.
[[nodiscard]] std::int32_t StrExists(const char* const* list, std::uint64_t count,
                                     const char* key) noexcept;

// 1 if key occurs in text, else 0; 0 when either is null.
[[nodiscard]] std::int32_t StrExists_twoarg(const char* text, const char* key) noexcept;

// Like StrExists, ignoring spaces and tabs in the entries.
[[nodiscard]] std::int32_t StrExists_sp(const char* const* list, std::uint64_t count,
                                        const char* key) noexcept;

// Like StrExists_twoarg, ignoring spaces and tabs in text; 0 when either is
// null.
[[nodiscard]] std::int32_t StrExists_sp(const char* text, const char* key) noexcept;

// 1 if every comma-separated value of parameter (the part after its first
// unescaped "=", or the whole parameter) contains firstKey or, when given,
// secondKey; else 0.
[[nodiscard]] std::int32_t StrExists_only(const char* parameter, const char* firstKey,
                                          const char* secondKey) noexcept;

// Transfer-encoding codes.
inline constexpr std::int64_t kEncodingNone = 0;
inline constexpr std::int64_t kEncodingBase64 = 1;
inline constexpr std::int64_t kEncodingQuotedPrintable = 2;

// Charset codes.
inline constexpr std::int64_t kCharsetNone = 0;
inline constexpr std::int64_t kCharsetShiftJIS = 1;
inline constexpr std::int64_t kCharsetUTF8 = 2;

// The transfer-encoding code a name-and-parameters list names; when both are
// named, quoted-printable wins.
[[nodiscard]] std::int64_t CheckEncoding(const char* const* list, std::uint64_t count) noexcept;

// 1 if the one parameter names a transfer encoding, else 0.
[[nodiscard]] std::int64_t CheckEncoding_onearg(const char* parameter) noexcept;

// The charset code a name-and-parameters list names; when both are named,
// UTF-8 wins.
[[nodiscard]] std::int64_t CheckCharset(const char* const* list, std::uint64_t count) noexcept;

// The charset code of the one parameter.
[[nodiscard]] std::int64_t CheckCharset_onearg(const char* parameter) noexcept;
