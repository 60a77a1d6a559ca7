// Text encodings through ICU: the encoding values the system passes around,
// strict and lossy decoding and encoding, charset names and guesses, and
// locale-independent upper-casing.
#pragma once

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "owned_cstring.h"

namespace platform {
// String-class encoding values, numerically the ones the rest of the system
// passes around (for instance 4 for UTF-8 and 8 for Shift_JIS).
enum class Encoding : std::uint32_t {
  EUCJP = 3,
  UTF8 = 4,
  ShiftJIS = 8,
  Unicode = 10,  // UTF-16 in machine order, byte-order mark honoured and written
  ISO2022JP = 21,
  MacOSRoman = 30,
  MacJapanese = 0x80000001,  // converted from the CoreFoundation value 1
  DOSJapanese = 0x80000420,  // converted from the CoreFoundation value 0x0420 (code page 932)
  UTF16BE = 0x90000100,
  UTF16LE = 0x94000100,
  UTF32BE = 0x98000100,
  UTF32LE = 0x9C000100,
};

// CoreFoundation encoding constants that callers name.
namespace cf {
inline constexpr std::uint32_t MacJapanese = 1;
inline constexpr std::uint32_t DOSJapanese = 0x0420;
inline constexpr std::uint32_t UTF8 = 0x08000100;
inline constexpr std::uint32_t UTF16BE = 0x10000100;
inline constexpr std::uint32_t UTF16LE = 0x14000100;
inline constexpr std::uint32_t UTF32BE = 0x18000100;
inline constexpr std::uint32_t UTF32LE = 0x1C000100;
}  // namespace cf

// Maps a CoreFoundation encoding constant to the string-class value; unknown
// constants map to the CoreFoundation value with the high bit set, as the
// platform does, which the converters below then refuse.
[[nodiscard]] Encoding convertCFEncoding(std::uint32_t cfEncoding);

// The ICU converter name behind an encoding, or nullptr for an unknown value.
[[nodiscard]] const char* icuConverterName(Encoding encoding);

// Decodes bytes strictly: no text when any byte sequence is invalid in the
// encoding. UTF-8 and the UTF-16/32 encodings with a fixed byte order keep a
// leading byte-order mark as U+FEFF; Encoding::Unicode reads a mark (either
// order) and drops it, defaulting to little-endian without one.
[[nodiscard]] std::optional<icu::UnicodeString> decode(const void* bytes, std::size_t length,
                                                       Encoding encoding);
[[nodiscard]] std::optional<icu::UnicodeString> decode(std::string_view bytes, Encoding encoding);

// decode followed by toUTF8, without the whole text in UTF-16 on the way:
// nothing when any byte sequence is invalid in the encoding.
[[nodiscard]] std::optional<std::string> decodeToUTF8(std::string_view bytes, Encoding encoding);

// A NUL-terminated text in a block from malloc, freed with the holder unless
// taken with release().
class DecodedText {
 public:
  DecodedText(char* text, std::size_t length) noexcept : text_(text), length_(length) {}

  [[nodiscard]] char* data() const noexcept { return text_.get(); }
  [[nodiscard]] std::size_t size() const noexcept { return length_; }
  [[nodiscard]] std::string_view view() const noexcept { return {text_.get(), length_}; }
  [[nodiscard]] char* release() noexcept {
    length_ = 0;
    return text_.release();
  }

 private:
  OwnedCString text_;
  std::size_t length_;
};

// decodeToUTF8 into a block of its own, so that a large text is written once
// and never copied.
[[nodiscard]] std::optional<DecodedText> decodeToUTF8Block(std::string_view bytes,
                                                           Encoding encoding);

// Shift_JIS decoding of a large file piece by piece (pieces cut at line
// ends), each decoded as decodeToUTF8Block would, into one block reused from
// piece to piece.
class ShiftJISPieceDecoder {
 public:
  ShiftJISPieceDecoder();
  ~ShiftJISPieceDecoder();
  ShiftJISPieceDecoder(const ShiftJISPieceDecoder&) = delete;
  ShiftJISPieceDecoder& operator=(const ShiftJISPieceDecoder&) = delete;

  // Decodes the piece, replacing the previous one's text; false, with no
  // text, when some byte sequence is not Shift_JIS.
  [[nodiscard]] bool decode(std::string_view bytes);
  // The last piece's text, NUL-terminated (valid until the next decode).
  [[nodiscard]] const char* data() const noexcept { return block_.get(); }
  [[nodiscard]] std::size_t size() const noexcept { return length_; }

 private:
  OwnedCString block_;
  std::size_t capacity_ = 0;
  std::size_t length_ = 0;
};

// toUTF8(decodeLossy(...)), reusing one converter from call to call on the
// calling thread.
[[nodiscard]] std::string decodeLossyToUTF8(const void* bytes, std::size_t length,
                                            Encoding encoding);

// Decodes bytes with the ICU converter of that name (any name or alias ICU
// knows: "windows-1252", "ISO-8859-15", "EUC-JP", ...), every undecodable
// sequence becoming U+FFFD; adds the number of replacements to *replaced when
// given. Nothing when ICU cannot open such a converter.
[[nodiscard]] std::optional<std::string> decodeLossyToUTF8(std::string_view bytes,
                                                           const char* converterName,
                                                           std::uint64_t* replaced = nullptr);

// The UTF-8 text written in place of a two-byte Shift_JIS code whose lead
// byte is F0-FC (the user-defined area and the IBM extensions), or an empty
// view for the code to be decoded as usual.
using ShiftJISSubstitute = std::function<std::string_view(std::uint16_t code)>;

// Decodes Shift_JIS to UTF-8 like decodeToUTF8 (strict: nothing when a byte
// sequence is invalid) or like the lossy decoding (every invalid sequence
// U+FFFD), writing substitute's text for the codes it answers.
[[nodiscard]] std::optional<std::string> decodeShiftJISToUTF8(std::string_view bytes,
                                                              const ShiftJISSubstitute& substitute,
                                                              bool lossy);

// The bytes that start a two-byte Shift_JIS character (81-9F, E0-FC) and
// those that may follow such a byte as its second (40-7E, 80-FC).
[[nodiscard]] constexpr bool isShiftJISLeadByte(unsigned char b) noexcept {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
[[nodiscard]] constexpr bool isShiftJISTrailByte(unsigned char b) noexcept {
  return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// True when ICU can open a converter of that name.
[[nodiscard]] bool isKnownCharset(const char* name);

// True when ICU knows the name but this build lacks the converter's table
// (the web build carries only the tables of the charsets exports use).
[[nodiscard]] bool isCharsetTableMissing(const char* name);

// ICU's charset detector asked for its best single-byte guess (an
// ISO-8859-x or windows-125x name), whatever its confidence; windows-1252
// instead of ISO-8859-1 when bytes 80-9F occur. Nothing when the detector has
// no such guess.
[[nodiscard]] std::optional<std::string> guessSingleByteLatinCharset(std::string_view bytes);

// Decodes bytes replacing every invalid sequence with U+FFFD.
[[nodiscard]] icu::UnicodeString decodeLossy(const void* bytes, std::size_t length,
                                             Encoding encoding);

// Encodes text strictly: nothing when a character cannot be represented.
// Encoding::Unicode writes a little-endian mark first.
[[nodiscard]] std::optional<std::string> encode(const icu::UnicodeString& text, Encoding encoding);

// Encodes text replacing unrepresentable characters with the encoding's
// substitution character; fails only for an unknown encoding.
[[nodiscard]] std::optional<std::string> encodeLossy(const icu::UnicodeString& text,
                                                     Encoding encoding);

// UTF-8 <-> UTF-16 through ICU for the common case.
[[nodiscard]] std::optional<icu::UnicodeString> fromUTF8(std::string_view bytes);  // strict
[[nodiscard]] std::string toUTF8(const icu::UnicodeString& text);  // lone surrogates -> U+FFFD

// Unicode full upper-casing with the root locale ("ß" -> "SS"), independent of
// the user's locale.
[[nodiscard]] icu::UnicodeString uppercase(const icu::UnicodeString& text);

// The encoding the platform's text-file reading detects: UTF-8 exactly when
// the whole content is well-formed UTF-8 (after an optional mark), otherwise
// no answer.
[[nodiscard]] std::optional<Encoding> detectFileEncoding(std::string_view content);
}  // namespace platform
