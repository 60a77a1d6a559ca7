#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "param_names.h"
#include "rk_text_converter.h"
#include "test_support.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using textconv_test::text;
using textconv_test::units;

RKLineBreakType kind(std::int32_t value) {
  return static_cast<RKLineBreakType>(value);
}

struct KindCase {
  std::string_view name;
  std::u16string_view text;
  RKLineBreakType expected;
};

const KindCase kKindCases[] = {
    {"CrLfFirst", u"a\r\nb\rc", RKLineBreakCRLF},
    {"CrFirst", u"a\rb\r\n", RKLineBreakCR},
    {"LoneCrAtEnd", u"abc\r", RKLineBreakCR},
    {"NoBreak", u"abc", RKLineBreakNone},
    {"Empty", u"", RKLineBreakNone},
    {"LineSeparatorFirst", u"a\u2028b\n", RKLineBreakLineSeparator},
    {"LfFirst", u"a\nb\r\n", RKLineBreakLF},
    {"LfCrIsLf", u"\n\r", RKLineBreakLF},
    {"OnlyCrLf", u"\r\n", RKLineBreakCRLF},
    {"OtherBreaksDoNotCount", u"a\u2029b\u0085c\u000Bd\u000Ce", RKLineBreakNone},
};

class LineBreakKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(LineBreakKindTest, FirstBreakDecides) {
  const KindCase& c = GetParam();
  RKTextConverter converter;
  EXPECT_EQ(converter.lineBreakTypeOfString(text(c.text)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, LineBreakKindTest, testing::ValuesIn(kKindCases), CaseName());

TEST(LineBreakStringTest, GivesTextOfEachKind) {
  struct Case {
    std::int32_t kind;
    std::optional<std::u16string_view> expected;
  };
  const Case cases[] = {{0, std::nullopt}, {1, u"\n"},        {2, u"\r"},        {3, u"\r\n"},
                        {4, u"\u2028"},    {5, std::nullopt}, {-1, std::nullopt}};
  RKTextConverter converter;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::optional<icu::UnicodeString> got = converter.lineBreakString(kind(c.kind));
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
      EXPECT_EQ(units(*got), units(text(*c.expected)));
    }
  }
}

struct ConvertCase {
  std::string_view name;
  std::u16string_view text;
  std::int32_t from;
  std::int32_t to;
  std::u16string_view expected;
};

const ConvertCase kConvertCases[] = {
    {"CrLfToLf", u"a\r\nb", RKLineBreakCRLF, RKLineBreakLF, u"a\nb"},
    {"CrToCrLf", u"a\rb\rc", RKLineBreakCR, RKLineBreakCRLF, u"a\r\nb\r\nc"},
    {"LfToCrLf", u"a\nb", RKLineBreakLF, RKLineBreakCRLF, u"a\r\nb"},
    {"LfToCrLfDoesNotRematch", u"\n\n", RKLineBreakLF, RKLineBreakCRLF, u"\r\n\r\n"},
    {"CrLfLeavesLoneCrAndLf", u"a\r\nb\rc\nd\r\n", RKLineBreakCRLF, RKLineBreakLF, u"a\nb\rc\nd\n"},
    {"LineSeparatorToLf", u"a\u2028b\u2028", RKLineBreakLineSeparator, RKLineBreakLF, u"a\nb\n"},
    {"LfToLineSeparator", u"a\nb", RKLineBreakLF, RKLineBreakLineSeparator, u"a\u2028b"},
    {"CrLfToCr", u"\r\n\r\n", RKLineBreakCRLF, RKLineBreakCR, u"\r\r"},
    // The search is literal: a CR of a CR LF pair counts as a CR.
    {"CrToLfSplitsPair", u"a\r\nb", RKLineBreakCR, RKLineBreakLF, u"a\n\nb"},
    {"NothingToReplace", u"abc", RKLineBreakLF, RKLineBreakCR, u"abc"},
    {"EmptyText", u"", RKLineBreakLF, RKLineBreakCRLF, u""},
    {"EqualKinds", u"a\r\nb\rc\n", RKLineBreakCRLF, RKLineBreakCRLF, u"a\r\nb\rc\n"},
    {"EqualKindsOutOfRange", u"a\nb", 9, 9, u"a\nb"},
    {"EqualKindsNone", u"a\nb", RKLineBreakNone, RKLineBreakNone, u"a\nb"},
    {"ToKindNone", u"a\nb", RKLineBreakLF, RKLineBreakNone, u"a\nb"},
    {"ToKindOutOfRange", u"a\nb", RKLineBreakLF, 5, u"a\nb"},
    {"FromKindNone", u"a\nb", RKLineBreakNone, RKLineBreakLF, u"a\nb"},
    {"FromKindNegative", u"a\rb", -3, RKLineBreakCR, u"a\rb"},
};

class LineBreakConvertTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(LineBreakConvertTest, ReplacesEveryBreakOfKind) {
  const ConvertCase& c = GetParam();
  RKTextConverter converter;
  icu::UnicodeString s = text(c.text);
  converter.convertLineBreakOfString(&s, kind(c.from), kind(c.to));
  EXPECT_EQ(units(s), units(text(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(Texts, LineBreakConvertTest, testing::ValuesIn(kConvertCases), CaseName());

}  // namespace
