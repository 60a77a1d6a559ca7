// RKTextConverter: guesses the encoding of a byte buffer, decodes and encodes
// text by such a guess, handles line-break kinds and folds half-width katakana
// to full width.
#pragma once

#include <unicode/unistr.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Encoding kinds of a guess. Values outside 1-6 decode and encode like
// RKTextEncodingUndetermined (Mac OS Roman).
enum RKTextEncoding : std::int32_t {
  RKTextEncodingUndetermined = 0,
  RKTextEncodingShiftJIS = 1,
  RKTextEncodingISO2022JP = 2,
  RKTextEncodingEUCJP = 3,
  RKTextEncodingUTF8 = 4,
  RKTextEncodingUTF16 = 5,
  RKTextEncodingUTF32 = 6,
};

// Byte order of UTF-16 and UTF-32; meaningless for the other kinds.
enum RKByteOrder : std::int32_t {
  RKByteOrderUnspecified = 0,
  RKByteOrderLittleEndian = 1,
  RKByteOrderBigEndian = 2,
};

enum RKLineBreakType : std::int32_t {
  RKLineBreakNone = 0,
  RKLineBreakLF = 1,
  RKLineBreakCR = 2,
  RKLineBreakCRLF = 3,
  RKLineBreakLineSeparator = 4,
};

// An encoding guess, or the encoding to decode and encode with.
struct RKEncodingInfo {
  std::int32_t encoding = RKTextEncodingUndetermined;  // an RKTextEncoding value
  std::int32_t byteOrder = RKByteOrderUnspecified;     // an RKByteOrder value
  bool hasBOM = false;           // the data begins, or shall begin, with the mark of its encoding
  std::int32_t sjisVariant = 0;  // 1: Windows code page 932; otherwise Mac Japanese

  friend bool operator==(const RKEncodingInfo&, const RKEncodingInfo&) = default;
};

// The state of one detection run, handed to the three byte tests. (The name
// carries no leading double underscore: such names are reserved in C++.)
struct RKEncodingDetectionWorkingStruct {
  RKEncodingInfo info;
  std::uint32_t eucCount = 0;        // EUC-JP evidence
  std::uint32_t jisEscapeCount = 0;  // ESC ( J and ESC ( B seen
  std::uint32_t utf8Count = 0;       // well-formed UTF-8 multi-byte sequences seen
  std::uint8_t notUTF8 = 0;          // set once the data cannot be UTF-8
  const unsigned char* start = nullptr;
  const unsigned char* current = nullptr;  // always start + index
  std::uint32_t index = 0;
  std::uint32_t dataLength = 0;
};

// A table from a half-width UTF-16 unit to a full-width one.
using RKHalfToFullMap = std::map<char16_t, char16_t>;

class RKTextConverter {
 public:
  RKTextConverter();  // builds the three katakana tables

  // --- Encoding detection ---------------------------------------------------

  // Guesses the encoding of the bytes; null or empty data gives the all-zero
  // (undetermined) answer. Never fails.
  [[nodiscard]] RKEncodingInfo encodingInfoOfTextData(const std::string* data);

  // True when the data begins with a byte-order mark; fills ws->info.
  bool detectEncodingInfoWithBOM(RKEncodingDetectionWorkingStruct* ws);
  // True when a well-formed UTF-8 multi-byte sequence begins at ws->current;
  // updates utf8Count and notUTF8.
  bool checkUTF8Features(RKEncodingDetectionWorkingStruct* ws);
  // True when the zero bytes at ws->current settle UTF-16 or UTF-32; fills the
  // encoding and byte order of ws->info.
  bool checkUTFnFeatures(RKEncodingDetectionWorkingStruct* ws);

  [[nodiscard]] bool isIncludedInASCII(unsigned char c) const;          // 0x00-0x20, 0x7F
  [[nodiscard]] bool isIncludedInJISX0201Roman(unsigned char c) const;  // 0x21-0x7E

  // --- Decoding and encoding ------------------------------------------------

  // Decodes the bytes by the guess; nothing for null data, for UTF-16/32
  // without a byte order, or for bytes invalid in the encoding.
  [[nodiscard]] std::optional<icu::UnicodeString> stringWithData(const std::string* data,
                                                                 RKEncodingInfo info);
  // Encodes the text by the guess, strictly first and lossily when that fails;
  // nothing only for a null text.
  [[nodiscard]] std::optional<std::string> dataWithString(const icu::UnicodeString* string,
                                                          RKEncodingInfo info);

  // --- Line breaks ----------------------------------------------------------

  // The kind of the first line break in the text.
  [[nodiscard]] RKLineBreakType lineBreakTypeOfString(const icu::UnicodeString& string) const;
  // The text of a kind; nothing for a kind outside 1-4.
  [[nodiscard]] std::optional<icu::UnicodeString> lineBreakString(RKLineBreakType type) const;
  // Replaces every line break of kind `from` by one of kind `to`, in place.
  // Equal kinds, a kind outside 1-4 or a null text leave the text unchanged.
  void convertLineBreakOfString(icu::UnicodeString* string, RKLineBreakType from,
                                RKLineBreakType to) const;

  // --- Half-width katakana --------------------------------------------------

  // True for U+FF61 through U+FF9F.
  [[nodiscard]] bool isHalfwidthKatakana(char16_t c) const;
  // Converts one unit, joining a following voiced or semi-voiced mark where a
  // combined letter exists. *numOfCharsBeReplaced (may be null) receives 0 for
  // a unit that is not half-width katakana, 1 for the unit alone, 2 for the
  // unit and its mark. Logs "error" for a semi-voiced mark after a letter that
  // has only a voiced form.
  [[nodiscard]] char16_t convertHalfwidthToFullwidthKatakana(char16_t c, char16_t nextChar,
                                                             std::uint32_t* numOfCharsBeReplaced);
  [[nodiscard]] RKHalfToFullMap makeHalfToFullMap() const;          // 63 entries, marks included
  [[nodiscard]] RKHalfToFullMap makeHalfToFullDullnessMap() const;  // 23 entries, voiced mark
  [[nodiscard]] RKHalfToFullMap makeHalfToFullSemiMap() const;      // 5 entries, semi-voiced mark
  // Converts the whole text in place; a null text is left alone.
  void convertHalfToFullKatakanaOfString(icu::UnicodeString* string);

 private:
  // The maps laid out flat by unit - 0xFF61 (0 = no entry), for look-ups in
  // the folding loop; filled from the maps, so they always agree.
  using FlatTable = std::array<char16_t, 0xFF9F - 0xFF61 + 1>;
  static FlatTable flatten(const RKHalfToFullMap& map);

  RKHalfToFullMap _halfToFullDullnessMap;
  RKHalfToFullMap _halfToFullMap;
  RKHalfToFullMap _halfToFullSemiMap;
  FlatTable _halfToFullTable{};
  FlatTable _halfToFullDullnessTable{};
  FlatTable _halfToFullSemiTable{};
};
