#include <gtest/gtest.h>

#include <optional>
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
using textconv_test::info;
using textconv_test::text;
using textconv_test::units;

using textconv_test::kBE;
using textconv_test::kLE;

struct DecodeCase {
  std::string_view name;
  std::string_view data;  // hex
  RKEncodingInfo info;
  std::optional<std::u16string_view> expected;  // nothing: no text
};

const DecodeCase kDecodeCases[] = {
    // あ in each encoding.
    {"ShiftJISMac", "82 A0", info(RKTextEncodingShiftJIS), u"あ"},
    {"ShiftJISWindows", "82 A0", info(RKTextEncodingShiftJIS, 0, false, 1), u"あ"},
    // ① is a code page 932 (NEC row 13) character.
    {"ShiftJISWindowsCircledOne", "87 40", info(RKTextEncodingShiftJIS, 0, false, 1), u"①"},
    {"ShiftJISIgnoresMarkFlag", "82 A0", info(RKTextEncodingShiftJIS, 0, true), u"あ"},
    {"ShiftJISInvalid", "82", info(RKTextEncodingShiftJIS), std::nullopt},
    {"Iso2022JP", "1B 24 42 24 22 1B 28 42", info(RKTextEncodingISO2022JP), u"あ"},
    {"EucJP", "A4 A2", info(RKTextEncodingEUCJP), u"あ"},
    {"EucJPIgnoresMarkFlag", "A4 A2", info(RKTextEncodingEUCJP, 0, true), u"あ"},
    {"Utf8", "E3 81 82", info(RKTextEncodingUTF8), u"あ"},
    {"Utf8MarkSkipped", "EF BB BF E3 81 82", info(RKTextEncodingUTF8, 0, true), u"あ"},
    {"Utf8MarkKeptWithoutFlag", "EF BB BF 41", info(RKTextEncodingUTF8), u"\uFEFFA"},
    // The skipped bytes are not compared with the mark.
    {"Utf8SkipsAnyThreeBytes", "41 42 43 44", info(RKTextEncodingUTF8, 0, true), u"D"},
    {"Utf8ShorterThanMark", "EF BB", info(RKTextEncodingUTF8, 0, true), u""},
    {"Utf8Invalid", "41 C3", info(RKTextEncodingUTF8), std::nullopt},
    {"Utf16LEMark", "FF FE 42 30", info(RKTextEncodingUTF16, kLE, true), u"あ"},
    {"Utf16BENoMark", "30 42 00 41", info(RKTextEncodingUTF16, kBE), u"あA"},
    {"Utf16LEShorterThanMark", "FF", info(RKTextEncodingUTF16, kLE, true), u""},
    {"Utf16NoByteOrder", "42 30", info(RKTextEncodingUTF16), std::nullopt},
    {"Utf16BadByteOrder", "42 30", info(RKTextEncodingUTF16, 3), std::nullopt},
    {"Utf16OddLength", "41 00 42", info(RKTextEncodingUTF16, kLE), std::nullopt},
    {"Utf32BEMark", "00 00 FE FF 00 00 30 42", info(RKTextEncodingUTF32, kBE, true), u"あ"},
    {"Utf32LENoMark", "42 30 00 00 42 F6 01 00", info(RKTextEncodingUTF32, kLE), u"あ🙂"},
    {"Utf32NoByteOrder", "42 30 00 00", info(RKTextEncodingUTF32), std::nullopt},
    // Mac OS Roman: 8A is ä, 8E is é; a mark is never skipped.
    {"Undetermined", "41 8A 8E", info(RKTextEncodingUndetermined), u"Aäé"},
    {"UndeterminedKeepsMarkBytes", "EF BB BF", info(RKTextEncodingUndetermined, 0, true), u"Ôªø"},
    {"OutOfRangeKind", "41 8A", info(9), u"Aä"},
    {"NegativeKind", "41 8A", info(-1), u"Aä"},
    {"EmptyData", "", info(RKTextEncodingUTF8), u""},
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesByGuess) {
  const DecodeCase& c = GetParam();
  RKTextConverter converter;
  const std::string data = bytes(c.data);
  const std::optional<icu::UnicodeString> got = converter.stringWithData(&data, c.info);
  ASSERT_EQ(got.has_value(), c.expected.has_value());
  if (got) {
    EXPECT_EQ(units(*got), units(text(*c.expected)));
  }
}

INSTANTIATE_TEST_SUITE_P(Bytes, DecodeTest, testing::ValuesIn(kDecodeCases), CaseName());

struct EncodeCase {
  std::string_view name;
  std::u16string_view text;
  RKEncodingInfo info;
  std::string_view expected;  // hex
};

const EncodeCase kEncodeCases[] = {
    {"Utf16LEMark", u"A", info(RKTextEncodingUTF16, kLE, true), "FF FE 41 00"},
    {"Utf16BEMark", u"A", info(RKTextEncodingUTF16, kBE, true), "FE FF 00 41"},
    {"Utf16BENoMark", u"あ", info(RKTextEncodingUTF16, kBE), "30 42"},
    {"Utf32BEMark", u"A", info(RKTextEncodingUTF32, kBE, true), "00 00 FE FF 00 00 00 41"},
    {"Utf32LEMark", u"あ", info(RKTextEncodingUTF32, kLE, true), "FF FE 00 00 42 30 00 00"},
    {"Utf32LESurrogatePair", u"🙂", info(RKTextEncodingUTF32, kLE), "42 F6 01 00"},
    {"Utf8Mark", u"A", info(RKTextEncodingUTF8, 0, true), "EF BB BF 41"},
    {"Utf8MarkOnEmptyText", u"", info(RKTextEncodingUTF8, 0, true), "EF BB BF"},
    {"Utf8NoMark", u"あ", info(RKTextEncodingUTF8), "E3 81 82"},
    {"Iso2022JPIgnoresMark", u"A", info(RKTextEncodingISO2022JP, 0, true), "41"},
    {"Iso2022JP", u"あ", info(RKTextEncodingISO2022JP), "1B 24 42 24 22 1B 28 42"},
    {"EucJP", u"あ", info(RKTextEncodingEUCJP, 0, true), "A4 A2"},
    {"ShiftJISMac", u"あ", info(RKTextEncodingShiftJIS), "82 A0"},
    {"ShiftJISWindows", u"あ①", info(RKTextEncodingShiftJIS, 0, false, 1), "82 A0 87 40"},
    // Without a byte order UTF-16 and UTF-32 fall back to Mac OS Roman, unmarked.
    {"Utf16NoByteOrder", u"A", info(RKTextEncodingUTF16, 0, true), "41"},
    {"Utf32NoByteOrder", u"Aé", info(RKTextEncodingUTF32, 0, true), "41 8E"},
    {"Undetermined", u"Aé", info(RKTextEncodingUndetermined, 0, true), "41 8E"},
    {"OutOfRangeKind", u"Aä", info(7), "41 8A"},
    // What an encoding cannot hold is replaced, not refused.
    {"ShiftJISLossy", u"A가", info(RKTextEncodingShiftJIS), "41 3F"},
    {"EucJPLossy", u"가A", info(RKTextEncodingEUCJP), "3F 41"},
    {"MacRomanLossy", u"Aあ", info(RKTextEncodingUndetermined), "41 3F"},
};

class EncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, EncodesByGuess) {
  const EncodeCase& c = GetParam();
  RKTextConverter converter;
  const icu::UnicodeString source = text(c.text);
  const std::optional<std::string> got = converter.dataWithString(&source, c.info);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(hex(*got), hex(bytes(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(Texts, EncodeTest, testing::ValuesIn(kEncodeCases), CaseName());

TEST(CodecNullTest, NullInputsGiveNothing) {
  RKTextConverter converter;
  // The in-place operations must simply ignore a null text.
  converter.convertLineBreakOfString(nullptr, RKLineBreakLF, RKLineBreakCRLF);
  converter.convertHalfToFullKatakanaOfString(nullptr);
  EXPECT_FALSE(converter.stringWithData(nullptr, info(RKTextEncodingUTF8)).has_value());
  EXPECT_FALSE(converter.dataWithString(nullptr, info(RKTextEncodingUTF8)).has_value());
}

// A lossy result for every encoding, lone surrogates included.
TEST(CodecLossyTest, UnrepresentableTextStillEncodes) {
  const RKEncodingInfo infos[] = {info(0),      info(1),     info(1, 0, false, 1), info(2),
                                  info(3),      info(4),     info(5, kLE),         info(5, kBE),
                                  info(6, kLE), info(6, kBE)};
  RKTextConverter converter;
  icu::UnicodeString source = text(u"A가");
  source.append(static_cast<char16_t>(0xD800));  // a lone high surrogate
  source.append(u'B');
  for (const RKEncodingInfo& i : infos) {
    SCOPED_TRACE(i.encoding * 10 + i.byteOrder);
    const std::optional<std::string> got = converter.dataWithString(&source, i);
    ASSERT_TRUE(got.has_value());
    EXPECT_GE(got->size(), 3u);
  }
}

// Encoding, detecting and decoding again gives back the text.
struct RoundTripCase {
  std::string_view name;
  RKEncodingInfo info;
  std::u16string_view text = u"山田 太郎 やまだ たろう ﾔﾏﾀﾞ 03-1234";
};

const RoundTripCase kRoundTripCases[] = {
    {"ShiftJIS", info(RKTextEncodingShiftJIS)},
    // ISO-2022-JP has no half-width katakana.
    {"Iso2022JP", info(RKTextEncodingISO2022JP), u"山田 太郎 やまだ たろう 03-1234"},
    {"EucJP", info(RKTextEncodingEUCJP)},
    {"Utf8", info(RKTextEncodingUTF8)},
    {"Utf8Mark", info(RKTextEncodingUTF8, 0, true)},
    {"Utf16LEMark", info(RKTextEncodingUTF16, kLE, true)},
    {"Utf16BEMark", info(RKTextEncodingUTF16, kBE, true)},
    {"Utf32LEMark", info(RKTextEncodingUTF32, kLE, true)},
    {"Utf32BEMark", info(RKTextEncodingUTF32, kBE, true)},
};

class RoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, DetectsAndDecodesWhatItEncoded) {
  const RoundTripCase& c = GetParam();
  RKTextConverter converter;
  const icu::UnicodeString source = text(c.text);
  const std::optional<std::string> data = converter.dataWithString(&source, c.info);
  ASSERT_TRUE(data.has_value());
  const RKEncodingInfo guessed = converter.encodingInfoOfTextData(&*data);
  EXPECT_EQ(guessed.encoding, c.info.encoding);
  EXPECT_EQ(guessed.hasBOM, c.info.hasBOM);
  if (c.info.hasBOM) {
    EXPECT_EQ(guessed.byteOrder, c.info.byteOrder);
  }
  const std::optional<icu::UnicodeString> back = converter.stringWithData(&*data, c.info);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(units(*back), units(source));
}

INSTANTIATE_TEST_SUITE_P(Encodings, RoundTripTest, testing::ValuesIn(kRoundTripCases), CaseName());

}  // namespace
