#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "param_names.h"
#include "rk_text_converter.h"
#include "test_support.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using textconv_test::bytes;
using textconv_test::hex;

using textconv_test::kBE;
using textconv_test::kLE;

struct DetectCase {
  std::string_view name;
  std::string_view data;  // hex
  std::int32_t encoding;
  std::int32_t byteOrder;
  bool hasBOM;
};

const DetectCase kDetectCases[] = {
    {"Empty", "", RKTextEncodingUndetermined, 0, false},
    // "Hello" and 7-bit controls: nothing to go on.
    {"SevenBitText", "48 65 6C 6C 6F", RKTextEncodingUndetermined, 0, false},
    {"SevenBitControlsAndDel", "01 09 0A 0D 20 7E 7F", RKTextEncodingUndetermined, 0, false},
    // 7-bit text plus the two zero bytes the loader appends: a zero run of two.
    {"SevenBitPlusZerosLengthMultipleOf4", "41 42 43 44 00 00", RKTextEncodingUTF32, kBE, false},
    {"SevenBitPlusZerosOtherLength", "41 42 43 00 00", RKTextEncodingUTF32, kLE, false},
    {"SevenBitPlusZerosLengthTwo", "41 42 00 00", RKTextEncodingUTF32, kLE, false},
    // Byte-order marks.
    {"Utf8MarkAlone", "EF BB BF", RKTextEncodingUTF8, 0, true},
    {"Utf8MarkWithText", "EF BB BF E3 81 82", RKTextEncodingUTF8, 0, true},
    {"Utf8MarkIncomplete", "EF BB", RKTextEncodingEUCJP, 0, false},
    {"Utf16LEMarkWithA", "FF FE 41 00", RKTextEncodingUTF16, kLE, true},
    {"Utf16LEMarkAlone", "FF FE", RKTextEncodingUTF16, kLE, true},
    {"Utf16LEMarkThenOneZero", "FF FE 00", RKTextEncodingUTF16, kLE, true},
    {"Utf32LEMark", "FF FE 00 00", RKTextEncodingUTF32, kLE, true},
    {"Utf16BEMarkAlone", "FE FF", RKTextEncodingUTF16, kBE, true},
    {"Utf16BEMarkWithA", "FE FF 00 41", RKTextEncodingUTF16, kBE, true},
    {"Utf32BEMark", "00 00 FE FF", RKTextEncodingUTF32, kBE, true},
    // 00 00 FE is no mark, but its zero run settles UTF-32 at index 0.
    {"Utf32BEMarkIncomplete", "00 00 FE", RKTextEncodingUTF32, kBE, false},
    {"SingleMarkByte", "FE", RKTextEncodingUndetermined, 0, false},
    // UTF-16 without a mark, told by where the single zero bytes sit.
    {"Utf16LENoMark", "41 00 42 00", RKTextEncodingUTF16, kLE, false},
    {"Utf16BENoMark", "00 41 00 42", RKTextEncodingUTF16, kBE, false},
    {"Utf16BELengthNotMultipleOf4", "00 41 42", RKTextEncodingUTF16, kBE, false},
    {"Utf16LEAsLoaderPassesIt", "41 00 42 00 00 00", RKTextEncodingUTF16, kLE, false},
    {"ZeroAtIndex2IsUtf16BE", "41 42 00 43", RKTextEncodingUTF16, kBE, false},
    {"ZeroAtIndex4OddLength", "41 42 43 44 00", RKTextEncodingUTF16, kBE, false},
    // A single zero at index 0 or 3 of a multiple-of-4 buffer proves nothing.
    {"LoneLeadingZeroProvesNothing", "00 41 42 43", RKTextEncodingUndetermined, 0, false},
    {"LoneZeroAtIndex3ProvesNothing", "41 42 43 00", RKTextEncodingUndetermined, 0, false},
    // Shift_JIS あ: 0x82 settles the scan, no UTF-8 sequence seen.
    {"ShiftJISHiragana", "82 A0", RKTextEncodingShiftJIS, 0, false},
    {"ShiftJISSettledBy8D", "41 8D", RKTextEncodingShiftJIS, 0, false},
    {"ShiftJISSettledBy90", "90 41", RKTextEncodingShiftJIS, 0, false},
    {"ShiftJISSettledBy9F", "9F", RKTextEncodingShiftJIS, 0, false},
    // Once settled, escapes no longer count, but a zero run still does.
    {"SettledBeforeEscape", "82 A0 1B 24 42", RKTextEncodingShiftJIS, 0, false},
    {"SettledThenZeroRun", "82 A0 00 00", RKTextEncodingUTF32, kLE, false},
    {"ShiftJISAsLoaderPassesIt", "82 A0 82 A2 00 00", RKTextEncodingUTF32, kBE, false},
    // UTF-8 あ: counted at E3, settled by its continuation byte 0x81.
    {"Utf8Hiragana", "E3 81 82", RKTextEncodingUTF8, 0, false},
    {"Utf8ThenShiftJIS", "C3 A9 82 A0", RKTextEncodingUTF8, 0, false},
    // A truncated sequence resets the count: E3 81 at the end is Shift_JIS.
    {"TruncatedUtf8", "E3 81", RKTextEncodingShiftJIS, 0, false},
    // Five-byte form: only the shape is checked.
    {"Utf8FiveByteShape", "F8 88 80 80 80", RKTextEncodingUTF8, 0, false},
    // EUC-JP あ, and Shift_JIS half-width ｱｲ which look the same.
    {"EucHiragana", "A4 A2", RKTextEncodingEUCJP, 0, false},
    {"ShiftJISHalfwidthKatakanaPair", "B1 B2", RKTextEncodingEUCJP, 0, false},
    {"EucRun", "A4 A2 A4 A4", RKTextEncodingEUCJP, 0, false},
    {"EucSingleShift8E", "8E B1", RKTextEncodingEUCJP, 0, false},
    {"EucSingleShift8F", "41 8F", RKTextEncodingEUCJP, 0, false},
    {"ByteA0", "A0", RKTextEncodingEUCJP, 0, false},
    {"SingleFF", "FF", RKTextEncodingEUCJP, 0, false},
    {"LoneA1IsNoPair", "41 A1 42", RKTextEncodingUndetermined, 0, false},
    // Shift_JIS ﾃｽ (C3 BD) between letters has the shape of UTF-8, no EUC pair.
    {"HalfwidthKatakanaLookingLikeUtf8", "41 C3 BD 42", RKTextEncodingUndetermined, 0, false},
    // é in UTF-8: the counters only consult utf8Count beside other evidence.
    {"Utf8WithoutOtherEvidence", "41 C3 A9 42", RKTextEncodingUndetermined, 0, false},
    {"Utf8OutnumbersEucPairs", "C3 A9 C3 A9", RKTextEncodingUTF8, 0, false},
    // FF proves the data is not UTF-8 and wipes the count.
    {"Utf8CountResetByFF", "C3 A9 C3 A9 FF", RKTextEncodingEUCJP, 0, false},
    // ISO-2022-JP: ESC $ B / ESC $ @ decide at once; ESC ( B / ESC ( J count.
    {"JisKanjiIn", "1B 24 42", RKTextEncodingISO2022JP, 0, false},
    {"JisOldKanjiIn", "1B 24 40", RKTextEncodingISO2022JP, 0, false},
    {"JisFullSequence", "41 1B 24 42 24 22 1B 28 42", RKTextEncodingISO2022JP, 0, false},
    {"JisAsciiInOnly", "1B 28 42", RKTextEncodingISO2022JP, 0, false},
    {"JisRomanInOnly", "1B 28 4A 41", RKTextEncodingISO2022JP, 0, false},
    {"JisEscapeTooShort", "41 1B 24", RKTextEncodingUndetermined, 0, false},
    {"UnknownEscape", "1B 28 49", RKTextEncodingUndetermined, 0, false},
    {"JisEscapeOutweighsEucPair", "1B 28 42 A4 A2", RKTextEncodingISO2022JP, 0, false},
    {"Utf8OutnumbersJisEscape", "1B 28 42 C3 A9 C3 A9", RKTextEncodingUTF8, 0, false},
    {"JisEscapesOutnumberUtf8", "1B 28 42 1B 28 4A C3 A9", RKTextEncodingISO2022JP, 0, false},
    {"Utf8TieWithEucPairsIsEuc", "C3 A9 C3 A9 A4", RKTextEncodingEUCJP, 0, false},
};

class DetectionTest : public testing::TestWithParam<DetectCase> {};

TEST_P(DetectionTest, GuessesKindOrderAndMark) {
  const DetectCase& c = GetParam();
  RKTextConverter converter;
  const std::string data = bytes(c.data);
  const RKEncodingInfo got = converter.encodingInfoOfTextData(&data);
  SCOPED_TRACE(hex(data));
  EXPECT_EQ(got.encoding, c.encoding);
  EXPECT_EQ(got.byteOrder, c.byteOrder);
  EXPECT_EQ(got.hasBOM, c.hasBOM);
  EXPECT_EQ(got.sjisVariant, 0);
}

INSTANTIATE_TEST_SUITE_P(Bytes, DetectionTest, testing::ValuesIn(kDetectCases), CaseName());

TEST(DetectionNullTest, NullDataIsUndetermined) {
  RKTextConverter converter;
  EXPECT_EQ(converter.encodingInfoOfTextData(nullptr), RKEncodingInfo{});
}

// The mark test on its own: it must leave info alone when it finds no mark,
// and leave the byte order alone for UTF-8.
struct MarkCase {
  std::string_view name;
  std::string_view data;
  bool found;
  std::int32_t encoding;
  std::int32_t byteOrder;
};

constexpr std::int32_t kSentinel = 77;

const MarkCase kMarkCases[] = {
    {"TooShort", "FF", false, kSentinel, kSentinel},
    {"Utf8", "EF BB BF", true, RKTextEncodingUTF8, kSentinel},
    {"Utf8TooShort", "EF BB", false, kSentinel, kSentinel},
    {"Utf16BE", "FE FF 00", true, RKTextEncodingUTF16, kBE},
    {"Utf16LE", "FF FE 41", true, RKTextEncodingUTF16, kLE},
    {"Utf32LE", "FF FE 00 00 41 00 00 00", true, RKTextEncodingUTF32, kLE},
    {"Utf32BE", "00 00 FE FF", true, RKTextEncodingUTF32, kBE},
    {"Utf32BETooShort", "00 00 FE", false, kSentinel, kSentinel},
    {"MarkNotAtStart", "41 FF FE", false, kSentinel, kSentinel},
    {"PlainText", "41 42 43 44", false, kSentinel, kSentinel},
};

class MarkTest : public testing::TestWithParam<MarkCase> {};

TEST_P(MarkTest, FindsMarkOnlyAtStart) {
  const MarkCase& c = GetParam();
  RKTextConverter converter;
  const std::string data = bytes(c.data);
  auto ws = textconv_test::workingStruct(data, 0);
  ws.info = RKEncodingInfo{kSentinel, kSentinel, false, 0};
  // The test looks at the start even when the scan has moved on.
  ws.index = static_cast<std::uint32_t>(data.size() - 1);
  ws.current = ws.start + ws.index;
  EXPECT_EQ(converter.detectEncodingInfoWithBOM(&ws), c.found);
  EXPECT_EQ(ws.info.encoding, c.encoding);
  EXPECT_EQ(ws.info.byteOrder, c.byteOrder);
  EXPECT_EQ(ws.info.hasBOM, c.found);
}

INSTANTIATE_TEST_SUITE_P(Bytes, MarkTest, testing::ValuesIn(kMarkCases), CaseName());

struct Utf8Case {
  std::string_view name;
  std::string_view data;
  std::uint32_t index;
  bool found;
  std::uint32_t countAfter;  // starting from 5
  bool notUTF8After;
};

const Utf8Case kUtf8Cases[] = {
    {"Ascii", "41", 0, false, 5, false},
    {"ContinuationByte", "80", 0, false, 5, false},
    {"TwoBytes", "C3 A9", 0, true, 6, false},
    {"ThreeBytes", "E3 81 82", 0, true, 6, false},
    {"FourBytes", "F0 9F 98 80", 0, true, 6, false},
    {"AtIndex", "41 C3 A9", 1, true, 6, false},
    {"InsideSequence", "E3 81 82", 1, false, 5, false},
    {"Truncated", "C3", 0, false, 0, true},
    {"TruncatedThree", "41 E3 81", 1, false, 0, true},
    {"FollowedByAscii", "C3 41", 0, false, 0, true},
    {"FollowedByLeadByte", "C3 C3", 0, false, 0, true},
    {"Overlong", "C0 80", 0, true, 6, false},
    {"EncodedSurrogate", "ED A0 80", 0, true, 6, false},
    {"FiveBytes", "F8 80 80 80 80", 0, true, 6, false},
    {"SixBytes", "FC 80 80 80 80 80", 0, true, 6, false},
    {"SixBytesShort", "FD 80 80 80 80", 0, false, 0, true},
    {"FE", "FE 80 80 80 80 80 80", 0, false, 0, true},
    {"FF", "FF", 0, false, 0, true},
};

class Utf8FeatureTest : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8FeatureTest, TestsShapeOfSequence) {
  const Utf8Case& c = GetParam();
  RKTextConverter converter;
  const std::string data = bytes(c.data);
  auto ws = textconv_test::workingStruct(data, c.index);
  ws.utf8Count = 5;
  EXPECT_EQ(converter.checkUTF8Features(&ws), c.found);
  EXPECT_EQ(ws.utf8Count, c.countAfter);
  EXPECT_EQ(ws.notUTF8 != 0, c.notUTF8After);
  EXPECT_EQ(ws.index, c.index);  // the caller advances, not the test
}

INSTANTIATE_TEST_SUITE_P(Bytes, Utf8FeatureTest, testing::ValuesIn(kUtf8Cases), CaseName());

struct UtfnCase {
  std::string_view name;
  std::string_view data;
  std::uint32_t index;
  bool found;
  std::int32_t encoding;
  std::int32_t byteOrder;
};

const UtfnCase kUtfnCases[] = {
    {"NotZero", "41 00", 0, false, 0, 0},
    {"RunAtIndex0", "00 00", 0, true, RKTextEncodingUTF32, kBE},
    {"RunAtIndex1", "41 00 00", 1, true, RKTextEncodingUTF32, kLE},
    {"RunAtIndex4", "41 42 43 44 00 00", 4, true, RKTextEncodingUTF32, kBE},
    {"SingleAtIndex1", "41 00 42 00", 1, true, RKTextEncodingUTF16, kLE},
    {"SingleAtIndex2", "41 42 00 43", 2, true, RKTextEncodingUTF16, kBE},
    {"SingleAtIndex0ZeroTwoAhead", "00 41 00 42", 0, true, RKTextEncodingUTF16, kBE},
    {"SingleAtIndex0ZeroThreeAhead", "00 41 42 00", 0, true, RKTextEncodingUTF16, kBE},
    {"SingleAtIndex0OddLength", "00 41 42", 0, true, RKTextEncodingUTF16, kBE},
    {"LastByteAlone", "00", 0, true, RKTextEncodingUTF16, kBE},
    {"SingleAtIndex0Alone", "00 41 42 43", 0, false, 0, 0},
    {"SingleAtIndex3AtEnd", "41 42 43 00", 3, false, 0, 0},
    {"SingleAtIndex3NoZeroAhead", "41 42 43 00 41 42 43 44", 3, false, 0, 0},
    {"SingleAtIndex3ZeroAhead", "41 42 43 00 41 00 43 44", 3, true, RKTextEncodingUTF16, kLE},
};

class UtfnFeatureTest : public testing::TestWithParam<UtfnCase> {};

TEST_P(UtfnFeatureTest, SettlesOnZeroBytes) {
  const UtfnCase& c = GetParam();
  RKTextConverter converter;
  const std::string data = bytes(c.data);
  auto ws = textconv_test::workingStruct(data, c.index);
  EXPECT_EQ(converter.checkUTFnFeatures(&ws), c.found);
  EXPECT_EQ(ws.info.encoding, c.encoding);
  EXPECT_EQ(ws.info.byteOrder, c.byteOrder);
}

INSTANTIATE_TEST_SUITE_P(Bytes, UtfnFeatureTest, testing::ValuesIn(kUtfnCases), CaseName());

TEST(ByteClassTest, AsciiAndRomanSplitSevenBitRange) {
  struct Case {
    unsigned char byte;
    bool ascii;
    bool roman;
  };
  const Case cases[] = {{0x00, true, false}, {0x1B, true, false},  {0x20, true, false},
                        {0x21, false, true}, {0x5C, false, true},  {0x7E, false, true},
                        {0x7F, true, false}, {0x80, false, false}, {0xA1, false, false},
                        {0xFF, false, false}};
  RKTextConverter converter;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    EXPECT_EQ(converter.isIncludedInASCII(c.byte), c.ascii);
    EXPECT_EQ(converter.isIncludedInJISX0201Roman(c.byte), c.roman);
  }
}

}  // namespace
