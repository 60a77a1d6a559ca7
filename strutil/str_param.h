// Case-insensitive look-ups in a property line's parameters and values.
//
// A list is a split result (or any array of C strings) with its count; null
// entries are skipped. All tests upper-case both sides and look for the key as
// a substring. Nothing allocated here outlives a call.
//
// The functions with integer codes (StrExists..., Check...) are the C edge:
// they never throw, and when memory runs out their answer is 0, "not found".
// The engine asks the others (StrExistsEach, strutil::containsKey,
// ReadParameterCodes), which throw std::bad_alloc instead of answering.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "ascii_letters.h"

// 1 if key occurs in some entry, else 0.
[[nodiscard]] std::int32_t StrExists(const char* const* list, std::uint64_t count,
                                     const char* key) noexcept;

// StrExists for several keys at once: bit i is set when keys[i] occurs in
// some entry. Keys are non-empty upper-case ASCII, at most 32 of them; ASCII entries
// are read once for all the keys. May throw std::bad_alloc.
[[nodiscard]] std::uint32_t StrExistsEach(const char* const* list, std::uint64_t count,
                                          std::initializer_list<std::string_view> keys);

namespace strutil {

// Whether key occurs in some entry of list (false when either is null), with
// spaces and tabs of the entries ignored when stripBlanks: StrExists and
// StrExists_sp for the engine. May throw std::bad_alloc.
[[nodiscard]] bool containsKey(const char* const* list, std::uint64_t count, const char* key,
                               bool stripBlanks = false);

}  // namespace strutil

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

namespace strutil {

// What one parameter of a property line declares by its name, or by the
// whole word when it has no "=".
enum class ParameterKind {
  Charset,       // CHARSET=...
  Encoding,      // ENCODING=...
  TransferWord,  // a bare vCard 2.1 BASE64, B, QUOTED-PRINTABLE, 7BIT or 8BIT
  CharsetWord,   // a bare UTF-8 or SHIFT_JIS, as some 2.1 writers put the charset
  Other,
};

// The kind of parameter ("CHARSET=SHIFT_JIS", "QUOTED-PRINTABLE",
// "TYPE=CELL"), its name or word compared in any ASCII letter case once
// blanks (spaces, tabs) and then a pair of double quotes around it are left
// out. A parameter that merely contains such a word (X-FROM=UTF-8-EXPORT) is
// Other.
[[nodiscard]] ParameterKind classifyParameter(std::string_view parameter) noexcept;

// The text without blanks (spaces, tabs) at either end and then without the
// pair of double quotes around it, as a parameter's value is read.
[[nodiscard]] constexpr std::string_view unquoted(std::string_view text) noexcept {
  text = platform::trimBlanks(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  return text;
}

// The parameter's value (after its first "=") or, without "=", the whole
// word, with the blanks and quotes classifyParameter leaves out removed.
[[nodiscard]] std::string_view parameterValue(std::string_view parameter) noexcept;

// The parameter's name (before its first "=", or the whole parameter without
// one), blanks around it removed, quotes kept, ASCII letters upper-cased:
// "ENCODING" of " encoding =b".
[[nodiscard]] std::string parameterKey(std::string_view parameter);

}  // namespace strutil

// Codes beyond the three above, given only by ReadParameterCodes.
inline constexpr std::int64_t kCharsetOther = 3;     // a charset ICU knows: bytes decoded with it
inline constexpr std::int64_t kCharsetUnknown = 4;   // a charset ICU does not know
inline constexpr std::int64_t kEncodingPlain = 3;    // 7BIT or 8BIT: nothing to decode
inline constexpr std::int64_t kEncodingUnknown = 4;  // a transfer encoding nobody knows

// The charset and transfer encoding that a name-and-parameters list (element
// 0, the name, is skipped) declares, each parameter judged by its own name
// and value: CHARSET=... and ENCODING=... in any letter case, blanks around
// "=" and double quotes around the value tolerated, the bare vCard 2.1 words
// QUOTED-PRINTABLE, BASE64 and B, and the bare charset words UTF-8 and
// SHIFT_JIS that some writers use. A parameter that merely contains
// such a word (X-FROM=UTF-8-EXPORT) declares nothing.
//
// Charsets: Shift_JIS and every name ICU gives the same table (SJIS,
// Shift-JIS, CP932, Windows-31J) are kCharsetShiftJIS; UTF-8 is kCharsetUTF8;
// US-ASCII and its aliases are kCharsetNone (their bytes read as an
// undeclared value's); any other name ICU can open is kCharsetOther, with
// ICU's name for it in charsetName; the rest kCharsetUnknown. When several
// are declared, UTF-8 wins, then Shift_JIS, then another known charset.
// Transfer encodings: quoted-printable wins over Base64, Base64 over an
// unknown one, and an unknown one over 7BIT and 8BIT.
struct ParameterCodes {
  std::int64_t charset = kCharsetNone;
  std::int64_t encoding = kEncodingNone;
  char charsetName[48] = {};
  std::uint64_t declaring = 0;
};
inline constexpr std::uint64_t kDeclaringMarked = 64;  // elements declaring covers
//
// declaring marks, judged in the same pass, the parameters that declare a
// charset or a transfer encoding (of any kind but Other): bit i for list[i],
// for the first 64 elements of the list. What the rules need to know of a
// parameter they write.
// May throw std::bad_alloc.
[[nodiscard]] ParameterCodes ReadParameterCodes(const char* const* list, std::uint64_t count);
