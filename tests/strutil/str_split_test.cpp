#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "param_names.h"
#include "strutil.h"

using strutil::OwnedSplit;

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using testsupport::testName;

std::vector<std::string> tokensOf(char** handle, std::uint64_t count) {
  std::vector<std::string> tokens;
  for (std::uint64_t i = 0; i < count; ++i)
    tokens.emplace_back(handle[i]);
  return tokens;
}

// --- Split ---------------------------------------------------------------------------

struct SplitCase {
  std::string_view name;
  const char* text;
  const char* delimiter;
  std::uint64_t maxCuts;
  std::vector<std::string> expected;
};

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, CutsAtUnescapedDelimiters) {
  const SplitCase& c = GetParam();
  std::uint64_t count = 99;
  const OwnedSplit handle(Split(c.text, c.delimiter, &count, c.maxCuts));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(tokensOf(handle.get(), count), c.expected);
}

const SplitCase kSplitCases[] = {
    {"EmptyText", "", ";", 0, {""}},
    {"EmptyMiddleField", "A;;B", ";", 0, {"A", "", "B"}},
    {"EmptyTrailingField", "A;", ";", 0, {"A", ""}},
    {"EmptyLeadingField", ";A", ";", 0, {"", "A"}},
    {"OnlyDelimiters", ";;;", ";", 0, {"", "", "", ""}},
    {"NoDelimiter", "plain", ";", 0, {"plain"}},
    {"EscapedDelimiterStaysInToken", "A\\;B;C", ";", 0, {"A\\;B", "C"}},
    {"BackslashBeforeBackslashStillEscapes", "A\\\\;B", ";", 0, {"A\\\\;B"}},
    {"BackslashElsewhereHasNoEffect", "a\\b;c\\", ";", 0, {"a\\b", "c\\"}},
    {"EscapedDelimiterAtEnd", "A\\;", ";", 0, {"A\\;"}},
    {"OneCutLeavesRestUnchanged", "A:B:C", ":", 1, {"A", "B:C"}},
    {"OneCutKeepsEscapesInRest", "a:b\\:c:d", ":", 1, {"a", "b\\:c:d"}},
    {"OneCutSkipsEscapedFirstColon", "a\\:b:c:d", ":", 1, {"a\\:b", "c:d"}},
    {"TwoCuts", "a,b,c,d", ",", 2, {"a", "b", "c,d"}},
    {"LimitAboveTokenCount", "a,b", ",", 5, {"a", "b"}},
    {"EqualsSign", "TYPE=HOME,WORK", "=", 1, {"TYPE", "HOME,WORK"}},
    {"MultiByteTokens", "山田;太郎;ﾔﾏﾀﾞ", ";", 0, {"山田", "太郎", "ﾔﾏﾀﾞ"}},
    {"OtherDelimiterEscapeDoesNotProtect", "a\\,b;c", ";", 0, {"a\\,b", "c"}},
    {"MultiByteDelimiter", "a、b\\、c、d", "、", 0, {"a", "b\\、c", "d"}},
    {"LiteralPlaceholderKept", "a___nonsep___b;c", ";", 0, {"a___nonsep___b", "c"}},
    {"LiteralPlaceholderWithEscape", "x\\;___nonsep___;y", ";", 0, {"x\\;___nonsep___", "y"}},
    {"RegexLookalikeText", "a.*b;(c|d)", ";", 0, {"a.*b", "(c|d)"}},
    {"CrLfInValue", "a\r\nb;c", ";", 0, {"a\r\nb", "c"}},
};
INSTANTIATE_TEST_SUITE_P(Texts, SplitTest, testing::ValuesIn(kSplitCases), CaseName());

TEST(SplitLayoutTest, HiddenSlotHoldsThePrivateCopyOfAllTokens) {
  const char* texts[] = {"", "A;;B", "a\\;b;c;", "山田;太郎;;;", ";"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    std::uint64_t count = 0;
    const OwnedSplit handle(Split(text, ";", &count, 0));
    ASSERT_NE(handle, nullptr);
    ASSERT_GE(count, 1u);
    const char* copy = handle.get()[-1];
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text);
    const std::size_t length = std::strlen(text);
    EXPECT_EQ(handle.get()[0], copy);  // the first token starts the copy
    for (std::uint64_t i = 0; i < count; ++i) {
      const char* token = handle.get()[i];
      EXPECT_GE(token, copy);
      EXPECT_LE(token + std::strlen(token), copy + length);
      if (i > 0) {
        EXPECT_GT(token, handle.get()[i - 1]);
      }
    }
  }
}

TEST(SplitLayoutTest, LeavesTheInputUntouched) {
  const std::string original = "N;CHARSET=SHIFT_JIS:a\\;b;c";
  std::string text = original;
  std::uint64_t count = 0;
  const OwnedSplit handle(Split(text.c_str(), ";", &count, 0));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(text, original);
}

TEST(SplitLongLineTest, KeepsEveryFieldOfALongLine) {
  // Fields alternate between plain and escaped ones, as a long note might.
  std::string line;
  std::vector<std::string> expected;
  for (int i = 0; i < 20000; ++i) {
    // Appended rather than "literal" + std::string: that form sends GCC 12 at
    // -O3 into a false -Wrestrict on the insertion at the front.
    std::string field = i % 2 == 0 ? "f" : "a\\;";
    field += std::to_string(i);
    expected.push_back(std::move(field));
    if (i != 0) line += ';';
    line += expected.back();
  }
  std::uint64_t count = 0;
  const OwnedSplit handle(Split(line.c_str(), ";", &count, 0));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(tokensOf(handle.get(), count), expected);
}

TEST(SplitFailureTest, InvalidUTF8GivesNullAndZeroCount) {
  const char* texts[] = {"\xFF", "ab;\x80;cd", "a;\xE3\x81", "\xC0\xAF;x"};
  for (const char* text : texts) {
    SCOPED_TRACE(testName(text));
    for (const std::uint64_t maxCuts : {0u, 1u}) {
      std::uint64_t count = 99;
      const OwnedSplit handle(Split(text, ";", &count, maxCuts));
      EXPECT_EQ(handle, nullptr);
      EXPECT_EQ(count, 0u);
    }
  }
}

TEST(SplitFailureTest, DelimiterThatIsNoValidPatternGivesNull) {
  // "(" makes an escape pattern with an unclosed group.
  std::uint64_t count = 99;
  const OwnedSplit handle(Split("a(b(c", "(", &count, 0));
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(count, 0u);
}

// --- SearchDelimiter --------------------------------------------------------------------

TEST(SearchDelimiterTest, TerminatesOneTokenInPlace) {
  struct Case {
    std::string_view text;
    const char* delimiter;
    bool follows;
    std::uint64_t skip;
    std::string_view token;
    std::string_view after;  // the text just past the delimiter
  };
  const Case cases[] = {
      {"ab;cd", ";", true, 1, "ab", "cd"},
      {"ab", ";", false, 0, "ab", ""},
      {"a\\;b;c", ";", true, 1, "a\\;b", "c"},
      {"x、y", "、", true, 3, "x", "y"},
      {";", ";", true, 1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string buffer(c.text);
    std::uint64_t skip = 99;
    EXPECT_EQ(SearchDelimiter(buffer.data(), c.delimiter, &skip), c.follows);
    EXPECT_EQ(skip, c.skip);
    EXPECT_EQ(std::string_view(buffer.data()), c.token);
    if (c.follows) {
      EXPECT_EQ(std::string_view(buffer.data() + c.token.size() + skip), c.after);
    }
  }
}

// --- SplitFR --------------------------------------------------------------------------

struct LineCase {
  std::string_view name;
  const char* line;
  std::vector<std::string> names;   // empty: the list is null
  std::vector<std::string> values;  // empty: the list is null
};

class SplitFRTest : public testing::TestWithParam<LineCase> {};

TEST_P(SplitFRTest, SplitsNameParametersAndValues) {
  const LineCase& c = GetParam();
  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t namesCount = 99;
  std::uint64_t valuesCount = 99;
  ASSERT_EQ(SplitFR(c.line, &names, &namesCount, &values, &valuesCount), 0);
  const OwnedSplit ownedNames(names);
  const OwnedSplit ownedValues(values);
  EXPECT_EQ(names == nullptr, c.names.empty());
  EXPECT_EQ(values == nullptr, c.values.empty());
  EXPECT_EQ(tokensOf(names, namesCount), c.names);
  EXPECT_EQ(tokensOf(values, valuesCount), c.values);
}

const LineCase kLineCases[] = {
    {"NameWithCharset",
     "N;CHARSET=SHIFT_JIS:Yamada;Taro;;;",
     {"N", "CHARSET=SHIFT_JIS"},
     {"Yamada", "Taro", "", "", ""}},
    {"NoColon", "NOTE;X", {"NOTE", "X"}, {}},
    {"CutAtFirstColonOnly", "X-A:b:c", {"X-A"}, {"b:c"}},
    {"EmptyValue", "NOTE:", {"NOTE"}, {""}},
    {"EmptyLine", "", {""}, {}},
    {"EscapedColonInParameter", "X-A;P=a\\:b:v", {"X-A", "P=a\\:b"}, {"v"}},
    {"EscapedSemicolonInValue", "ADR:;;a\\;b;c", {"ADR"}, {"", "", "a\\;b", "c"}},
    {"QuotedPrintable",
     "N;ENCODING=QUOTED-PRINTABLE:=82=A0;=82=A2",
     {"N", "ENCODING=QUOTED-PRINTABLE"},
     {"=82=A0", "=82=A2"}},
    {"Url", "URL:http://example.com:80/", {"URL"}, {"http://example.com:80/"}},
    {"Japanese", "N:山田;太郎", {"N"}, {"山田", "太郎"}},
};
INSTANTIATE_TEST_SUITE_P(Lines, SplitFRTest, testing::ValuesIn(kLineCases), CaseName());

TEST(SplitFRFailureTest, InvalidLineGivesTwoNullLists) {
  char* dummy[1] = {nullptr};
  char** names = dummy;  // deliberately not null
  char** values = dummy;
  std::uint64_t namesCount = 99;
  std::uint64_t valuesCount = 99;
  EXPECT_EQ(SplitFR("N:\xFF", &names, &namesCount, &values, &valuesCount), 0);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(namesCount, 0u);
  EXPECT_EQ(valuesCount, 0u);
}

// --- SplitFree ----------------------------------------------------------------------------

TEST(SplitFreeTest, ReleasesOnlyWhatIsThere) {
  // The leak checker of the sanitizer build sees any block left behind.
  std::uint64_t count = 0;
  SplitFree(nullptr);
  SplitFree(nullptr, nullptr);
  SplitFree(Split("a;b", ";", &count, 0), nullptr);
  SplitFree(nullptr, Split("a;b", ";", &count, 0));
  SplitFree(Split("a", ";", &count, 0), Split("b;c", ";", &count, 0));
  SplitFree(Split("", ";", &count, 0));
  EXPECT_EQ(count, 1u);
}

}  // namespace
