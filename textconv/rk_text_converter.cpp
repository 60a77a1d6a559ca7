// RKTextConverter's construction and its half-width katakana folding. The
// encoding detection, decoding and encoding, and line breaks are in
// rk_detection.cpp, rk_codec.cpp and rk_linebreak.cpp.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform.h"
#include "rk_text_converter.h"
#include "rk_text_converter_p.h"

namespace {

using rk_detail::inRange;

constexpr char16_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char16_t kSemiVoicedMark = 0xFF9F;  // ﾟ

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
