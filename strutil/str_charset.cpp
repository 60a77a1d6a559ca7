#include "str_charset.h"

#include <unicode/utf16.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "byte_scan.h"
#include "platform.h"
#include "rk_text_converter.h"
#include "str_fast_p.h"
#include "strutil.h"

using platform::OwnedCString;

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

// Folded values can hold names and addresses, so they reach the process log
// only when diagnostics are switched on with VCARD_DEBUG_LOG=1.
bool debugLogEnabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("VCARD_DEBUG_LOG");
    return value != nullptr && std::strcmp(value, "1") == 0;
  }();
  return enabled;
}

bool inRange(std::uint8_t c, std::uint8_t low, std::uint8_t high) {
  return c >= low && c <= high;
}

bool startsWith(const std::uint8_t* bytes, std::uint64_t remaining,
                std::initializer_list<std::uint8_t> sequence) {
  if (remaining < sequence.size()) return false;
  return std::memcmp(bytes, sequence.begin(), sequence.size()) == 0;
}

bool hasISO2022JPEscape(const std::uint8_t* bytes, std::uint64_t length) {
  for (std::uint64_t i = 0; i + 3 <= length; ++i) {
    if (bytes[i] != 0x1B) continue;
    const std::uint8_t* at = bytes + i;
    const std::uint64_t remaining = length - i;
    if (startsWith(at, remaining, {0x1B, 0x24, 0x40}) ||
        startsWith(at, remaining, {0x1B, 0x24, 0x42}) ||
        startsWith(at, remaining, {0x1B, 0x28, 0x42}) ||
        startsWith(at, remaining, {0x1B, 0x28, 0x4A}) ||
        startsWith(at, remaining, {0x1B, 0x28, 0x49}) ||
        startsWith(at, remaining, {0x1B, 0x24, 0x28, 0x44}) ||
        startsWith(at, remaining, {0x1B, 0x26, 0x40, 0x1B, 0x24, 0x42})) {
      return true;
    }
  }
  return false;
}

std::int32_t shiftJISScore(const std::uint8_t* bytes, std::uint64_t length) {
  std::int32_t score = 0;
  for (std::uint64_t i = 0; i + 1 < length; ++i) {
    const std::uint8_t lead = bytes[i];
    const std::uint8_t trail = bytes[i + 1];
    if ((inRange(lead, 0x81, 0x9F) || inRange(lead, 0xE0, 0xFC)) &&
        (inRange(trail, 0x40, 0x7E) || inRange(trail, 0x80, 0xFC))) {
      score += 2;
      ++i;
    }
  }
  return score;
}

std::int32_t eucJPScore(const std::uint8_t* bytes, std::uint64_t length) {
  std::int32_t score = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint64_t remaining = length - i;
    const std::uint8_t c = bytes[i];
    if (remaining >= 2 && ((inRange(c, 0xA1, 0xFE) && inRange(bytes[i + 1], 0xA1, 0xFE)) ||
                           (c == 0x8E && inRange(bytes[i + 1], 0xA1, 0xDF)))) {
      score += 2;
      i += 1;
    } else if (remaining >= 3 && c == 0x8F && inRange(bytes[i + 1], 0xA1, 0xFE) &&
               inRange(bytes[i + 2], 0xA1, 0xFE)) {
      score += 3;
      i += 2;
    }
  }
  return score;
}

std::int32_t utf8Score(const std::uint8_t* bytes, std::uint64_t length) {
  std::int32_t score = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint64_t remaining = length - i;
    const std::uint8_t c = bytes[i];
    if (remaining >= 2 && inRange(c, 0xC0, 0xDF) && inRange(bytes[i + 1], 0x80, 0xBF)) {
      score += 2;
      i += 1;
    } else if (remaining >= 3 && inRange(c, 0xE0, 0xEF) && inRange(bytes[i + 1], 0x80, 0xBF) &&
               inRange(bytes[i + 2], 0x80, 0xBF)) {
      score += 3;
      i += 2;
    }
  }
  return score;
}

}  // namespace

char* UTF16_to_SJIS(const void* /*buffer*/, const icu::UnicodeString& path) noexcept {
  try {
    const auto content = platform::readFile(platform::toUTF8(path));
    if (!content) return nullptr;
    auto text = platform::decode(*content, platform::Encoding::UTF16LE);
    if (!text) return nullptr;
    // The engine finds the first card only when its line starts the text.
    if (text->length() > 0 && text->charAt(0) == kByteOrderMark) text->remove(0, 1);
    return platform::copyToCString(platform::toUTF8(*text)).release();
  } catch (...) {
    return nullptr;
  }
}

std::unique_ptr<icu::UnicodeString> UTF8_to_UTF16(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  try {
    const auto decoded = platform::fromUTF8(text);
    if (!decoded) return nullptr;
    // The output writer drops exactly this leading mark after encoding.
    auto result = std::make_unique<icu::UnicodeString>(kByteOrderMark);
    result->append(*decoded);
    return result;
  } catch (...) {
    return nullptr;
  }
}

namespace {

// The folding tables never change, so one converter serves every call.
RKTextConverter& sharedConverter() {
  static RKTextConverter converter;
  return converter;
}

// The UTF-16 unit that starts the well-formed UTF-8 sequence at s (a high
// surrogate for a four-byte sequence).
char16_t firstUnitAt(const char* s) {
  const char32_t c = utf::decodeValidUTF8CodePoint(s);
  return static_cast<char16_t>(c > 0xFFFF ? U16_LEAD(c) : c);
}

// Half-width katakana U+FF61-U+FF9F is EF BD A1-BF or EF BE 80-9F in UTF-8.
bool isHalfwidthKatakanaAt(const unsigned char* s, std::size_t remaining) {
  return remaining >= 3 && s[0] == 0xEF &&
         ((s[1] == 0xBD && s[2] >= 0xA1) || (s[1] == 0xBE && s[2] <= 0x9F));
}

}  // namespace

bool AppendHalfToFull(const char* text, std::string* out) {
  if (text == nullptr) return false;
  const std::string_view view(text);
  if (!utf::validateUTF8(view)) return false;
  return AppendHalfToFullOfValid(view, out);
}

bool AppendHalfToFullOfValid(std::string_view view, std::string* out) {
  if (view.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  // Only half-width katakana changes; everything else is copied byte for
  // byte, which is what a round trip through UTF-16 gives for valid UTF-8.
  const auto* s = reinterpret_cast<const unsigned char*>(view.data());
  const std::size_t length = view.size();
  const std::size_t start = out->size();
  // Every half-width katakana starts with EF, which Japanese text (kana and
  // kanji start with E3-E9) seldom holds: most values have none at all.
  const char* end = view.data() + length;
  const char* firstLead = platform::findByteInLong(view.data(), end, '\xEF');
  if (firstLead == end) {
    out->append(view);
  } else {
    // Folding never lengthens the text: three bytes of a half-width
    // character (six with a joined mark) become one character of at most
    // three. The folded text is written in place and the rest cut off.
    out->resize(start + length);
    char* o = out->data() + start;
    RKTextConverter& converter = sharedConverter();
    std::size_t copiedUpTo = 0;
    for (std::size_t i = static_cast<std::size_t>(firstLead - view.data()); i < length;) {
      if (s[i] != 0xEF) {
        const char* lead = platform::findByteInLong(view.data() + i, end, '\xEF');
        if (lead == end) break;
        i = static_cast<std::size_t>(lead - view.data());
      }
      if (!isHalfwidthKatakanaAt(s + i, length - i)) {
        ++i;
        continue;
      }
      std::memcpy(o, view.data() + copiedUpTo, i - copiedUpTo);
      o += i - copiedUpTo;
      const auto c = static_cast<char16_t>(utf::decodeValidUTF8CodePoint(view.data() + i));
      const char16_t next = i + 3 < length ? firstUnitAt(view.data() + i + 3) : u'\0';
      std::uint32_t replaced = 0;
      o += utf::writeCodePointAsUTF8(
          converter.convertHalfwidthToFullwidthKatakana(c, next, &replaced), o);
      // A joined mark is itself a three-byte half-width character.
      i += replaced > 1 ? 6 : 3;
      copiedUpTo = i;
    }
    std::memcpy(o, view.data() + copiedUpTo, length - copiedUpTo);
    o += length - copiedUpTo;
    out->resize(static_cast<std::size_t>(o - out->data()));
  }
  if (debugLogEnabled()) platform::logLine(std::string_view(*out).substr(start));
  return true;
}

char* Half_to_Full(const char* text) noexcept {
  try {
    std::string folded;
    if (!AppendHalfToFull(text, &folded)) return nullptr;
    return platform::copyToCString(folded).release();
  } catch (...) {
    return nullptr;
  }
}

namespace strutil::detail {

char* HalfToFullByUnits(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  try {
    const auto decoded = platform::fromUTF8(text);
    if (!decoded) return nullptr;
    RKTextConverter converter;
    icu::UnicodeString folded;
    const std::int32_t length = decoded->length();
    for (std::int32_t i = 0; i < length; ++i) {
      // Surrogate units are never half-width katakana: both halves of a pair
      // are appended unchanged, one after the other.
      const char16_t c = decoded->charAt(i);
      const char16_t next = i + 1 < length ? decoded->charAt(i + 1) : u'\0';
      std::uint32_t replaced = 0;
      const char16_t result = converter.convertHalfwidthToFullwidthKatakana(c, next, &replaced);
      if (replaced > 1) ++i;
      folded.append(result);
    }
    const std::string utf8 = platform::toUTF8(folded);
    if (debugLogEnabled()) platform::logLine(utf8);
    return platform::copyToCString(utf8).release();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace strutil::detail

std::int32_t GetCharset(const std::uint8_t* bytes, std::uint64_t length) noexcept {
  if (bytes == nullptr || length == 0) return kCharsetGuessShiftJIS;

  bool notText = false;
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint8_t c = bytes[i];
    if (c > 0x06 && c != 0x7F && c != 0xFF) continue;
    notText = true;
    // A zero byte after an ASCII byte, inside the buffer, is the high half of
    // a UTF-16 unit.
    if (c == 0x00 && i != 0 && i != length - 1 && bytes[i - 1] <= 0x7F) {
      return kCharsetGuessUTF16;
    }
  }
  if (notText) return kCharsetGuessNotText;

  bool plainASCII = true;
  bool japanese = false;
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint8_t c = bytes[i];
    if (!inRange(c, 0x20, 0x7E)) plainASCII = false;
    if (c == 0x1B || c >= 0x80) japanese = true;
  }
  if (plainASCII || !japanese) return kCharsetGuessShiftJIS;

  if (hasISO2022JPEscape(bytes, length)) return kCharsetGuessISO2022JP;

  const std::int32_t sjis = shiftJISScore(bytes, length);
  const std::int32_t euc = eucJPScore(bytes, length);
  const std::int32_t utf8 = utf8Score(bytes, length);
  if (euc > sjis && euc > utf8) return kCharsetGuessEUCJP;
  if (sjis > euc && sjis > utf8) return kCharsetGuessShiftJIS;
  if (utf8 > sjis && utf8 > euc) return kCharsetGuessUTF8;
  return kCharsetGuessShiftJIS;
}
