#include "rk_text_converter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform.h"

namespace {

constexpr unsigned char kEscape = 0x1B;

constexpr char16_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char16_t kSemiVoicedMark = 0xFF9F;  // ﾟ

bool inRange(unsigned int value, unsigned int low, unsigned int high) {
  return value >= low && value <= high;
}

// Moves the scan to the next byte.
void advance(RKEncodingDetectionWorkingStruct* ws) {
  ++ws->index;
  ++ws->current;
}

// Bytes left from the current one on, itself included. Comparing offsets
// against this instead of adding them to the index cannot wrap around.
std::uint32_t remaining(const RKEncodingDetectionWorkingStruct* ws) {
  return ws->dataLength - ws->index;
}

// The Shift_JIS flavour that sjisVariant selects.
platform::Encoding shiftJISEncoding(std::int32_t sjisVariant) {
  return platform::convertCFEncoding(sjisVariant == 1 ? platform::cf::DOSJapanese
                                                      : platform::cf::MacJapanese);
}

}  // namespace

RKTextConverter::RKTextConverter() {
  _halfToFullMap = makeHalfToFullMap();
  _halfToFullDullnessMap = makeHalfToFullDullnessMap();
  _halfToFullSemiMap = makeHalfToFullSemiMap();
  _halfToFullTable = flatten(_halfToFullMap);
  _halfToFullDullnessTable = flatten(_halfToFullDullnessMap);
  _halfToFullSemiTable = flatten(_halfToFullSemiMap);
}

RKTextConverter::FlatTable RKTextConverter::flatten(const RKHalfToFullMap& map) {
  FlatTable table{};
  for (const auto& [half, full] : map) {
    if (half >= 0xFF61 && half <= 0xFF9F) table[half - 0xFF61] = full;
  }
  return table;
}

// ---------------------------------------------------------------------------
// Encoding detection

RKEncodingInfo RKTextConverter::encodingInfoOfTextData(const std::string* data) {
  RKEncodingDetectionWorkingStruct ws{};
  if (data == nullptr) return ws.info;

  ws.start = reinterpret_cast<const unsigned char*>(data->data());
  ws.current = ws.start;
  ws.index = 0;
  // Lengths are 32-bit; a larger buffer is judged by its first 4 GiB rather
  // than by a wrapped-around length.
  ws.dataLength = static_cast<std::uint32_t>(
      std::min<std::size_t>(data->size(), std::numeric_limits<std::uint32_t>::max()));

  if (detectEncodingInfoWithBOM(&ws)) return ws.info;

  while (ws.index < ws.dataLength) {
    const unsigned char byte = *ws.current;

    // Only the lead byte is consumed here: the continuation bytes still go
    // through the tests below, which is what lets 0x80-0x9F settle the scan.
    if (!ws.notUTF8 && checkUTF8Features(&ws)) {
      advance(&ws);
      continue;
    }

    if (checkUTFnFeatures(&ws)) return ws.info;

    if (byte == kEscape && remaining(&ws) > 2) {
      const unsigned char first = ws.current[1];
      const unsigned char second = ws.current[2];
      if (first == 0x24 && (second == 0x42 || second == 0x40)) {  // ESC $ B, ESC $ @
        ws.info.encoding = RKTextEncodingISO2022JP;
        return ws.info;
      }
      if (first == 0x28 && (second == 0x4A || second == 0x42)) {  // ESC ( J, ESC ( B
        ++ws.jisEscapeCount;
        advance(&ws);
        continue;
      }
    }

    // C1 bytes never occur in EUC-JP or ISO-2022-JP: a Shift_JIS lead byte or
    // a UTF-8 continuation byte. Only a zero run can still change the answer.
    if (inRange(byte, 0x80, 0x8D) || inRange(byte, 0x90, 0x9F)) {
      while (ws.index < ws.dataLength) {
        // Only a zero byte can answer; jump from one to the next.
        const void* zero = std::memchr(ws.current, 0x00, remaining(&ws));
        if (zero == nullptr) break;
        const auto skipped =
            static_cast<std::uint32_t>(static_cast<const unsigned char*>(zero) - ws.current);
        ws.index += skipped;
        ws.current += skipped;
        if (checkUTFnFeatures(&ws)) return ws.info;
        advance(&ws);
      }
      ws.info.encoding = ws.utf8Count > 0 ? RKTextEncodingUTF8 : RKTextEncodingShiftJIS;
      return ws.info;
    }

    if (isIncludedInASCII(byte) || isIncludedInJISX0201Roman(byte)) {
      advance(&ws);
      continue;
    }

    // 0x8E, 0x8F (EUC-JP single shifts) or 0xA0-0xFF.
    if (inRange(byte, 0xA1, 0xFE)) {
      if (remaining(&ws) > 1 && inRange(ws.current[1], 0xA1, 0xFE)) ++ws.eucCount;
    } else {
      ++ws.eucCount;
    }
    advance(&ws);
  }

  if (ws.jisEscapeCount == 0 && ws.eucCount == 0) {
    ws.info.encoding = RKTextEncodingUndetermined;
  } else if (ws.utf8Count > ws.jisEscapeCount && ws.utf8Count > ws.eucCount) {
    ws.info.encoding = RKTextEncodingUTF8;
  } else if (ws.jisEscapeCount > 0) {
    ws.info.encoding = RKTextEncodingISO2022JP;
  } else {
    ws.info.encoding = RKTextEncodingEUCJP;
  }
  return ws.info;
}

bool RKTextConverter::detectEncodingInfoWithBOM(RKEncodingDetectionWorkingStruct* ws) {
  if (ws == nullptr || ws->start == nullptr || ws->dataLength < 2) return false;
  const unsigned char* s = ws->start;
  const std::uint32_t length = ws->dataLength;
  RKEncodingInfo& info = ws->info;

  if (length >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) {
    info.encoding = RKTextEncodingUTF8;
    info.hasBOM = true;
    return true;
  }
  if (s[0] == 0xFE && s[1] == 0xFF) {
    info.encoding = RKTextEncodingUTF16;
    info.byteOrder = RKByteOrderBigEndian;
    info.hasBOM = true;
    return true;
  }
  if (s[0] == 0xFF && s[1] == 0xFE) {
    // FF FE 00 00 is read as the UTF-32 mark, although it could also be the
    // UTF-16 mark followed by U+0000.
    const bool utf32 = length >= 4 && s[2] == 0x00 && s[3] == 0x00;
    info.encoding = utf32 ? RKTextEncodingUTF32 : RKTextEncodingUTF16;
    info.byteOrder = RKByteOrderLittleEndian;
    info.hasBOM = true;
    return true;
  }
  if (length >= 4 && s[0] == 0x00 && s[1] == 0x00 && s[2] == 0xFE && s[3] == 0xFF) {
    info.encoding = RKTextEncodingUTF32;
    info.byteOrder = RKByteOrderBigEndian;
    info.hasBOM = true;
    return true;
  }
  return false;
}

bool RKTextConverter::checkUTF8Features(RKEncodingDetectionWorkingStruct* ws) {
  if (ws == nullptr || ws->current == nullptr || ws->index >= ws->dataLength) return false;
  const unsigned char lead = *ws->current;

  auto notUTF8 = [ws] {
    ws->notUTF8 = 1;
    ws->utf8Count = 0;
    return false;
  };

  if (lead == 0xFE || lead == 0xFF) return notUTF8();

  std::uint32_t ones = 0;
  while (ones < 6 && (lead & (0x80u >> ones)) != 0)
    ++ones;
  if (ones <= 1) return false;  // a single-byte character or a continuation byte

  // Only the shape is checked: overlong forms, surrogates and the old five-
  // and six-byte forms pass.
  const std::uint32_t left = remaining(ws);
  for (std::uint32_t k = 1; k < ones; ++k) {
    if (k >= left || (ws->current[k] & 0xC0) != 0x80) return notUTF8();
  }
  ++ws->utf8Count;
  return true;
}

bool RKTextConverter::checkUTFnFeatures(RKEncodingDetectionWorkingStruct* ws) {
  if (ws == nullptr || ws->current == nullptr || ws->index >= ws->dataLength) return false;
  if (*ws->current != 0x00) return false;

  const std::uint32_t left = remaining(ws);
  const std::uint32_t index = ws->index;
  RKEncodingInfo& info = ws->info;

  // Plain text has no zero bytes; two in a row only appear in UTF-32, where
  // the high bytes of a character come first in big-endian order.
  if (left >= 2 && ws->current[1] == 0x00) {
    info.encoding = RKTextEncodingUTF32;
    info.byteOrder = index % 4 == 0 ? RKByteOrderBigEndian : RKByteOrderLittleEndian;
    return true;
  }

  const bool utf16 = index % 4 == 1 || index % 4 == 2 || ws->dataLength % 4 != 0 ||
                     (left > 3 && (ws->current[2] == 0x00 || ws->current[3] == 0x00));
  if (!utf16) return false;
  info.encoding = RKTextEncodingUTF16;
  info.byteOrder = index % 2 == 0 ? RKByteOrderBigEndian : RKByteOrderLittleEndian;
  return true;
}

bool RKTextConverter::isIncludedInASCII(unsigned char c) const {
  return c <= 0x20 || c == 0x7F;
}

bool RKTextConverter::isIncludedInJISX0201Roman(unsigned char c) const {
  return c >= 0x21 && c <= 0x7E;
}

// ---------------------------------------------------------------------------
// Decoding and encoding

namespace {

// How a guess is realised: the platform encoding and the byte-order mark of
// the kind. UTF-16 and UTF-32 without a byte order have no encoding.
struct Realisation {
  std::optional<platform::Encoding> encoding;
  std::string_view mark;
};

Realisation realise(const RKEncodingInfo& info) {
  const bool big = info.byteOrder == RKByteOrderBigEndian;
  const bool little = info.byteOrder == RKByteOrderLittleEndian;
  using std::string_view_literals::operator""sv;
  switch (info.encoding) {
    case RKTextEncodingShiftJIS:
      return {shiftJISEncoding(info.sjisVariant), {}};
    case RKTextEncodingISO2022JP:
      return {platform::Encoding::ISO2022JP, {}};
    case RKTextEncodingEUCJP:
      return {platform::Encoding::EUCJP, {}};
    case RKTextEncodingUTF8:
      return {platform::Encoding::UTF8, "\xEF\xBB\xBF"sv};
    case RKTextEncodingUTF16:
      if (big) return {platform::Encoding::UTF16BE, "\xFE\xFF"sv};
      if (little) return {platform::Encoding::UTF16LE, "\xFF\xFE"sv};
      return {std::nullopt, {}};
    case RKTextEncodingUTF32:
      if (big) return {platform::Encoding::UTF32BE, "\x00\x00\xFE\xFF"sv};
      if (little) return {platform::Encoding::UTF32LE, "\xFF\xFE\x00\x00"sv};
      return {std::nullopt, {}};
    default:
      return {platform::Encoding::MacOSRoman, {}};
  }
}

}  // namespace

std::optional<icu::UnicodeString> RKTextConverter::stringWithData(const std::string* data,
                                                                  RKEncodingInfo info) {
  if (data == nullptr) return std::nullopt;
  const Realisation how = realise(info);
  if (!how.encoding) return std::nullopt;
  // The skipped bytes are taken on trust as the mark; data shorter than the
  // mark decodes as empty rather than reading past its end.
  const std::size_t skip = std::min(info.hasBOM ? how.mark.size() : 0, data->size());
  return platform::decode(data->data() + skip, data->size() - skip, *how.encoding);
}

std::optional<std::string> RKTextConverter::dataWithString(const icu::UnicodeString* string,
                                                           RKEncodingInfo info) {
  if (string == nullptr) return std::nullopt;
  const Realisation how = realise(info);
  // Without a byte order, UTF-16 and UTF-32 text is written as Mac OS Roman.
  const platform::Encoding encoding = how.encoding.value_or(platform::Encoding::MacOSRoman);
  std::optional<std::string> bytes = platform::encode(*string, encoding);
  if (!bytes) bytes = platform::encodeLossy(*string, encoding);
  if (!bytes) return std::nullopt;  // only for an encoding the platform lacks
  if (info.hasBOM && how.encoding && !how.mark.empty()) return std::string(how.mark) + *bytes;
  return bytes;
}

// ---------------------------------------------------------------------------
// Line breaks

RKLineBreakType RKTextConverter::lineBreakTypeOfString(const icu::UnicodeString& string) const {
  const std::int32_t length = string.length();
  for (std::int32_t i = 0; i < length; ++i) {
    switch (string.charAt(i)) {
      case u'\r':
        return i + 1 < length && string.charAt(i + 1) == u'\n' ? RKLineBreakCRLF : RKLineBreakCR;
      case u'\n':
        return RKLineBreakLF;
      case u'\u2028':
        return RKLineBreakLineSeparator;
      default:
        break;
    }
  }
  return RKLineBreakNone;
}

std::optional<icu::UnicodeString> RKTextConverter::lineBreakString(RKLineBreakType type) const {
  switch (type) {
    case RKLineBreakLF:
      return icu::UnicodeString(u'\n');
    case RKLineBreakCR:
      return icu::UnicodeString(u'\r');
    case RKLineBreakCRLF:
      return icu::UnicodeString(u"\r\n", 2);
    case RKLineBreakLineSeparator:
      return icu::UnicodeString(u'\u2028');
    default:
      return std::nullopt;
  }
}

void RKTextConverter::convertLineBreakOfString(icu::UnicodeString* string, RKLineBreakType from,
                                               RKLineBreakType to) const {
  if (string == nullptr || from == to) return;
  const std::optional<icu::UnicodeString> fromText = lineBreakString(from);
  const std::optional<icu::UnicodeString> toText = lineBreakString(to);
  // A kind without a text has nothing to search for or to put in its place.
  if (!fromText || !toText) return;
  // A literal, left-to-right search: converting from CR also rewrites the CR
  // of a CR LF pair.
  string->findAndReplace(*fromText, *toText);
}

// ---------------------------------------------------------------------------
// Half-width katakana

bool RKTextConverter::isHalfwidthKatakana(char16_t c) const {
  return c >= 0xFF61 && c <= 0xFF9F;
}

char16_t RKTextConverter::convertHalfwidthToFullwidthKatakana(char16_t c, char16_t nextChar,
                                                              std::uint32_t* numOfCharsBeReplaced) {
  std::uint32_t count = 0;
  char16_t result = c;
  if (isHalfwidthKatakana(c)) {
    const bool takesMark = c == 0xFF66 || c == 0xFF73 || inRange(c, 0xFF76, 0xFF84) ||
                           inRange(c, 0xFF8A, 0xFF8E) || c == 0xFF9C;
    if (takesMark && (nextChar == kVoicedMark || nextChar == kSemiVoicedMark)) {
      const FlatTable& table =
          nextChar == kVoicedMark ? _halfToFullDullnessTable : _halfToFullSemiTable;
      if (const char16_t full = table[c - 0xFF61]; full != 0) {
        result = full;
      } else {
        // Only ﾊ-ﾎ take the semi-voiced mark.
        platform::logLine("error");
      }
      count = 2;
    }
    // A failed combination falls back to the letter alone and leaves the mark
    // for the next step.
    if (result == c) {
      if (const char16_t full = _halfToFullTable[c - 0xFF61]; full != 0) result = full;
      count = 1;
    }
  }
  if (numOfCharsBeReplaced != nullptr) *numOfCharsBeReplaced = count;
  return result;
}

RKHalfToFullMap RKTextConverter::makeHalfToFullMap() const {
  // U+FF61 through U+FF9F in order: their compatibility equivalents. The
  // two sound marks come last: a mark that no letter takes becomes the
  // full-width spacing mark, so nothing half-width reaches the output.
  static constexpr std::array<char16_t, 63> kFullWidth = {
      0x3002, 0x300C, 0x300D, 0x3001, 0x30FB,                          // ｡ ｢ ｣ ､ ･
      0x30F2,                                                          // ｦ
      0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7,  // ｧ-ｮ
      0x30C3,                                                          // ｯ
      0x30FC,                                                          // ｰ
      0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA,                          // ｱ-ｵ
      0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,                          // ｶ-ｺ
      0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD,                          // ｻ-ｿ
      0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8,                          // ﾀ-ﾄ
      0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE,                          // ﾅ-ﾉ
      0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB,                          // ﾊ-ﾎ
      0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2,                          // ﾏ-ﾓ
      0x30E4, 0x30E6, 0x30E8,                                          // ﾔ ﾕ ﾖ
      0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED,                          // ﾗ-ﾛ
      0x30EF,                                                          // ﾜ
      0x30F3,                                                          // ﾝ
      0x309B, 0x309C,                                                  // ﾞ ﾟ
  };
  RKHalfToFullMap map;
  char16_t half = 0xFF61;
  for (char16_t full : kFullWidth)
    map.emplace(half++, full);
  return map;
}

RKHalfToFullMap RKTextConverter::makeHalfToFullDullnessMap() const {
  return {
      {0xFF66, 0x30FA},                                                        // ｦﾞ ヺ
      {0xFF73, 0x30F4},                                                        // ｳﾞ ヴ
      {0xFF76, 0x30AC}, {0xFF77, 0x30AE}, {0xFF78, 0x30B0}, {0xFF79, 0x30B2},  // ガ-ゲ
      {0xFF7A, 0x30B4},                                                        // ゴ
      {0xFF7B, 0x30B6}, {0xFF7C, 0x30B8}, {0xFF7D, 0x30BA}, {0xFF7E, 0x30BC},  // ザ-ゼ
      {0xFF7F, 0x30BE},                                                        // ゾ
      {0xFF80, 0x30C0}, {0xFF81, 0x30C2}, {0xFF82, 0x30C5}, {0xFF83, 0x30C7},  // ダ-デ
      {0xFF84, 0x30C9},                                                        // ド
      {0xFF8A, 0x30D0}, {0xFF8B, 0x30D3}, {0xFF8C, 0x30D6}, {0xFF8D, 0x30D9},  // バ-ベ
      {0xFF8E, 0x30DC},                                                        // ボ
      {0xFF9C, 0x30F7},                                                        // ﾜﾞ ヷ
  };
}

RKHalfToFullMap RKTextConverter::makeHalfToFullSemiMap() const {
  return {
      {0xFF8A, 0x30D1}, {0xFF8B, 0x30D4}, {0xFF8C, 0x30D7}, {0xFF8D, 0x30DA},  // パ-ペ
      {0xFF8E, 0x30DD},                                                        // ポ
  };
}

void RKTextConverter::convertHalfToFullKatakanaOfString(icu::UnicodeString* string) {
  if (string == nullptr) return;
  std::int32_t length = string->length();
  for (std::int32_t position = 0; position < length; ++position) {
    const char16_t c = string->charAt(position);
    if (!isHalfwidthKatakana(c)) continue;
    const char16_t next = position + 1 < length ? string->charAt(position + 1) : char16_t{0};
    std::uint32_t count = 0;
    const char16_t full = convertHalfwidthToFullwidthKatakana(c, next, &count);
    string->replace(position, static_cast<std::int32_t>(count), full);
    length = string->length();
  }
}
