#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "param_names.h"
#include "rk_text_converter.h"
#include "test_support.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using textconv_test::text;
using textconv_test::units;

using Pairs = std::vector<std::pair<char16_t, char16_t>>;

// Half-width letter -> full-width letter, for every half-width unit but the marks.
const Pairs kPlain = {
    {u'｡', u'。'}, {u'｢', u'「'}, {u'｣', u'」'}, {u'､', u'、'}, {u'･', u'・'}, {u'ｦ', u'ヲ'},
    {u'ｧ', u'ァ'}, {u'ｨ', u'ィ'}, {u'ｩ', u'ゥ'}, {u'ｪ', u'ェ'}, {u'ｫ', u'ォ'}, {u'ｬ', u'ャ'},
    {u'ｭ', u'ュ'}, {u'ｮ', u'ョ'}, {u'ｯ', u'ッ'}, {u'ｰ', u'ー'}, {u'ｱ', u'ア'}, {u'ｲ', u'イ'},
    {u'ｳ', u'ウ'}, {u'ｴ', u'エ'}, {u'ｵ', u'オ'}, {u'ｶ', u'カ'}, {u'ｷ', u'キ'}, {u'ｸ', u'ク'},
    {u'ｹ', u'ケ'}, {u'ｺ', u'コ'}, {u'ｻ', u'サ'}, {u'ｼ', u'シ'}, {u'ｽ', u'ス'}, {u'ｾ', u'セ'},
    {u'ｿ', u'ソ'}, {u'ﾀ', u'タ'}, {u'ﾁ', u'チ'}, {u'ﾂ', u'ツ'}, {u'ﾃ', u'テ'}, {u'ﾄ', u'ト'},
    {u'ﾅ', u'ナ'}, {u'ﾆ', u'ニ'}, {u'ﾇ', u'ヌ'}, {u'ﾈ', u'ネ'}, {u'ﾉ', u'ノ'}, {u'ﾊ', u'ハ'},
    {u'ﾋ', u'ヒ'}, {u'ﾌ', u'フ'}, {u'ﾍ', u'ヘ'}, {u'ﾎ', u'ホ'}, {u'ﾏ', u'マ'}, {u'ﾐ', u'ミ'},
    {u'ﾑ', u'ム'}, {u'ﾒ', u'メ'}, {u'ﾓ', u'モ'}, {u'ﾔ', u'ヤ'}, {u'ﾕ', u'ユ'}, {u'ﾖ', u'ヨ'},
    {u'ﾗ', u'ラ'}, {u'ﾘ', u'リ'}, {u'ﾙ', u'ル'}, {u'ﾚ', u'レ'}, {u'ﾛ', u'ロ'}, {u'ﾜ', u'ワ'},
    {u'ﾝ', u'ン'}, {u'ﾞ', u'゛'}, {u'ﾟ', u'゜'},
};

// Letter followed by ﾞ.
const Pairs kVoiced = {
    {u'ｦ', u'ヺ'}, {u'ｳ', u'ヴ'}, {u'ｶ', u'ガ'}, {u'ｷ', u'ギ'}, {u'ｸ', u'グ'}, {u'ｹ', u'ゲ'},
    {u'ｺ', u'ゴ'}, {u'ｻ', u'ザ'}, {u'ｼ', u'ジ'}, {u'ｽ', u'ズ'}, {u'ｾ', u'ゼ'}, {u'ｿ', u'ゾ'},
    {u'ﾀ', u'ダ'}, {u'ﾁ', u'ヂ'}, {u'ﾂ', u'ヅ'}, {u'ﾃ', u'デ'}, {u'ﾄ', u'ド'}, {u'ﾊ', u'バ'},
    {u'ﾋ', u'ビ'}, {u'ﾌ', u'ブ'}, {u'ﾍ', u'ベ'}, {u'ﾎ', u'ボ'}, {u'ﾜ', u'ヷ'},
};

// Letter followed by ﾟ.
const Pairs kSemiVoiced = {
    {u'ﾊ', u'パ'}, {u'ﾋ', u'ピ'}, {u'ﾌ', u'プ'}, {u'ﾍ', u'ペ'}, {u'ﾎ', u'ポ'},
};

Pairs entries(const RKHalfToFullMap& map) {
  return Pairs(map.begin(), map.end());
}

TEST(KatakanaTableTest, TablesHoldExactlyTheirEntries) {
  RKTextConverter converter;
  ASSERT_EQ(kPlain.size(), 63u);
  ASSERT_EQ(kVoiced.size(), 23u);
  ASSERT_EQ(kSemiVoiced.size(), 5u);
  EXPECT_EQ(entries(converter.makeHalfToFullMap()), kPlain);
  EXPECT_EQ(entries(converter.makeHalfToFullDullnessMap()), kVoiced);
  EXPECT_EQ(entries(converter.makeHalfToFullSemiMap()), kSemiVoiced);
}

// Every table entry as the converter applies it, the next unit chosen so that
// only the table under test can answer.
TEST(KatakanaTableTest, ConversionAppliesEveryEntry) {
  RKTextConverter converter;
  struct Table {
    const Pairs* pairs;
    char16_t next;
    std::uint32_t count;
  };
  const Table tables[] = {
      {&kPlain, u'A', 1}, {&kPlain, 0, 1}, {&kVoiced, u'ﾞ', 2}, {&kSemiVoiced, u'ﾟ', 2}};
  for (const Table& table : tables) {
    for (const auto& [half, full] : *table.pairs) {
      SCOPED_TRACE(units(icu::UnicodeString(half)) + " next " +
                   units(icu::UnicodeString(table.next)));
      std::uint32_t count = 99;
      EXPECT_EQ(converter.convertHalfwidthToFullwidthKatakana(half, table.next, &count), full);
      EXPECT_EQ(count, table.count);
    }
  }
}

TEST(KatakanaTableTest, HalfwidthKatakanaIsFF61ToFF9F) {
  RKTextConverter converter;
  int found = 0;
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    if (converter.isHalfwidthKatakana(static_cast<char16_t>(u))) ++found;
  }
  EXPECT_EQ(found, 63);
  EXPECT_FALSE(converter.isHalfwidthKatakana(0xFF60));
  EXPECT_TRUE(converter.isHalfwidthKatakana(0xFF61));
  EXPECT_TRUE(converter.isHalfwidthKatakana(0xFF9F));
  EXPECT_FALSE(converter.isHalfwidthKatakana(0xFFA0));
}

struct UnitCase {
  std::string_view name;
  char16_t c;
  char16_t next;
  char16_t expected;
  std::uint32_t count;
  bool logsError;
};

const UnitCase kUnitCases[] = {
    {"KaVoiced", u'ｶ', u'ﾞ', u'ガ', 2, false},
    {"HaSemiVoiced", u'ﾊ', u'ﾟ', u'パ', 2, false},
    {"UVoiced", u'ｳ', u'ﾞ', u'ヴ', 2, false},
    {"HoVoiced", u'ﾎ', u'ﾞ', u'ボ', 2, false},
    {"HoSemiVoiced", u'ﾎ', u'ﾟ', u'ポ', 2, false},
    {"KaSemiVoicedIsError", u'ｶ', u'ﾟ', u'カ', 1, true},
    {"ToSemiVoicedIsError", u'ﾄ', u'ﾟ', u'ト', 1, true},
    {"USemiVoicedIsError", u'ｳ', u'ﾟ', u'ウ', 1, true},
    // A mark that no letter takes becomes the full-width spacing mark.
    {"SemiVoicedMarkAlone", u'ﾟ', 0, u'゜', 1, false},
    {"VoicedMarkAlone", u'ﾞ', 0, u'゛', 1, false},
    {"VoicedMarkBeforeVoicedMark", u'ﾞ', u'ﾞ', u'゛', 1, false},
    {"WaVoiced", u'ﾜ', u'ﾞ', u'ヷ', 2, false},
    {"WoVoiced", u'ｦ', u'ﾞ', u'ヺ', 2, false},
    {"WaSemiVoicedIsError", u'ﾜ', u'ﾟ', u'ワ', 1, true},
    {"AVoicedKeepsMark", u'ｱ', u'ﾞ', u'ア', 1, false},
    {"NaVoicedKeepsMark", u'ﾅ', u'ﾞ', u'ナ', 1, false},
    {"HaLastUnit", u'ﾊ', 0, u'ハ', 1, false},
    {"KaBeforeLetter", u'ｶ', u'ｱ', u'カ', 1, false},
    {"LongVowelMark", u'ｰ', 0, u'ー', 1, false},
    {"FullStop", u'｡', 0, u'。', 1, false},
    {"MiddleDot", u'･', u'ﾞ', u'・', 1, false},
    {"LatinLetter", u'a', u'ﾞ', u'a', 0, false},
    {"FullwidthKatakana", u'ア', u'ﾞ', u'ア', 0, false},
    {"BelowRange", 0xFF60, 0, 0xFF60, 0, false},
    {"AboveRange", 0xFFA0, 0, 0xFFA0, 0, false},
};

class KatakanaUnitTest : public testing::TestWithParam<UnitCase> {};

TEST_P(KatakanaUnitTest, ConvertsOneUnit) {
  const UnitCase& c = GetParam();
  RKTextConverter converter;
  std::uint32_t count = 99;
  testing::internal::CaptureStderr();
  const char16_t got = converter.convertHalfwidthToFullwidthKatakana(c.c, c.next, &count);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(got, c.expected);
  EXPECT_EQ(count, c.count);
  if (c.logsError) {
    EXPECT_NE(log.find(" error\n"), std::string::npos) << log;
  } else {
    EXPECT_EQ(log, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Units, KatakanaUnitTest, testing::ValuesIn(kUnitCases), CaseName());

struct TextCase {
  std::string_view name;
  std::u16string_view text;
  std::u16string_view expected;
};

const TextCase kTextCases[] = {
    {"Data", u"ﾃﾞｰﾀ", u"データ"},
    {"Papa", u"ﾊﾟﾊﾟ", u"パパ"},
    {"GaGiGu", u"ｶﾞｷﾞｸﾞ", u"ガギグ"},
    {"MarkAfterPlainLetterGoesFullWidth", u"ｱﾞ", u"ア゛"},
    {"MarkAloneGoesFullWidth", u"ﾞ", u"゛"},
    {"WaWoVoiced", u"ﾜﾞｦﾞ", u"ヷヺ"},
    {"Empty", u"", u""},
    {"NoHalfwidthKatakana", u"abc 山田 ア\r\n", u"abc 山田 ア\r\n"},
    {"Name", u"ﾔﾏﾀﾞ ﾀﾛｳ", u"ヤマダ タロウ"},
    {"BetweenOtherText", u"Aｶﾞ1ﾎﾟ2", u"Aガ1ポ2"},
    {"SemiVoicedAfterKa", u"ｶﾟ", u"カ゜"},
    {"SecondMark", u"ﾊﾞﾟ", u"バ゜"},
    {"LetterAtEnd", u"ｱｲｳ", u"アイウ"},
    {"LeadingMarkThenPair", u"ﾞｶﾞ", u"゛ガ"},
    {"Punctuation", u"｢ｺﾝﾆﾁﾊ｡､･｣", u"「コンニチハ。、・」"},
    {"AfterSurrogatePair", u"🙂ｳﾞｧ", u"🙂ヴァ"},
};

class KatakanaTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(KatakanaTextTest, ConvertsInPlace) {
  const TextCase& c = GetParam();
  RKTextConverter converter;
  icu::UnicodeString s = text(c.text);
  testing::internal::CaptureStderr();  // keeps the "error" line out of the test output
  converter.convertHalfToFullKatakanaOfString(&s);
  (void)testing::internal::GetCapturedStderr();
  EXPECT_EQ(units(s), units(text(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(Texts, KatakanaTextTest, testing::ValuesIn(kTextCases), CaseName());

}  // namespace
