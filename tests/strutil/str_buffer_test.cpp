#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "param_names.h"
#include "strutil.h"

using platform::OwnedCString;

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

// --- StrAdd ------------------------------------------------------------------

TEST(StrAddTest, BuildsTextByRepeatedAppends) {
  struct Case {
    const char* start;  // null: start from no buffer
    std::initializer_list<const char*> pieces;
    std::string_view expected;
  };
  const Case cases[] = {
      {nullptr, {"abc"}, "abc"}, {nullptr, {"N:", "山田", ";", "太郎", "\r\n"}, "N:山田;太郎\r\n"},
      {"", {"", "", ""}, ""},    {"", {"x", "", "y"}, "xy"},
      {"head", {}, "head"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    char* value = c.start == nullptr ? nullptr : StrAlloc(c.start);
    for (const char* piece : c.pieces) {
      value = StrAdd(value, piece);
      ASSERT_NE(value, nullptr);
    }
    const OwnedCString owned(value);
    EXPECT_EQ(std::string_view(owned.get()), c.expected);
  }
}

TEST(StrAddTest, NullBufferGivesAFreshCopy) {
  const char text[] = "copy me";
  const OwnedCString copy(StrAdd(nullptr, text));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), text);
  EXPECT_STREQ(copy.get(), text);
}

TEST(StrAddTest, AppendsAPieceOfItself) {
  char* value = StrAlloc("abcdef");
  value = StrAdd(value, value + 3);
  const OwnedCString owned(value);
  ASSERT_NE(owned, nullptr);
  EXPECT_STREQ(owned.get(), "abcdefdef");
}

// --- StrCut and StrFind --------------------------------------------------------

TEST(StrCutTest, CutsBytesInPlace) {
  struct Case {
    std::string_view text;
    std::uint64_t n;
    std::string_view expected;
  };
  const Case cases[] = {
      {"abcdef", 3, "abc"}, {"abc", 3, "abc"}, {"abc", 10, "abc"},
      {"abc", 0, ""},       {"", 0, ""},       {"あい", 3, "あ"},  // bytes, not characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string buffer(c.text);
    char* result = StrCut(buffer.data(), c.n);
    EXPECT_EQ(result, buffer.data());
    EXPECT_EQ(std::string_view(result), c.expected);
  }
}

TEST(StrFindTest, CountsNonOverlappingMatches) {
  struct Case {
    const char* text;
    const char* pattern;
    std::int64_t expected;
  };
  const Case cases[] = {
      {"", "a", 0},          {"abc", "d", 0},   {"aaaa", "aa", 2},       {"aaa", "aa", 1},
      {"a;b;c", ";", 2},     {"ABC", "abc", 0}, {"\r\n\r\n", "\r\n", 2}, {"ab", "abc", 0},
      {"山田山田", "山", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
    EXPECT_EQ(StrFind(c.text, c.pattern), c.expected);
  }
}

// --- CrLf2NULL -------------------------------------------------------------------

struct LineCase {
  std::string_view name;
  std::string_view text;
  std::optional<std::size_t> lineEnd;  // offset of the returned position; none: null
  std::uint64_t count;
  std::string_view line;  // the text at the start once cut
  std::string_view next;  // the text where the next line starts
};

class CrLf2NULLTest : public testing::TestWithParam<LineCase> {};

TEST_P(CrLf2NULLTest, CutsTheFirstLine) {
  const LineCase& c = GetParam();
  std::string buffer(c.text);
  std::uint64_t count = 99;
  char* end = CrLf2NULL(buffer.data(), &count);
  EXPECT_EQ(count, c.count);
  if (!c.lineEnd) {
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(buffer, c.text);  // untouched
    return;
  }
  ASSERT_NE(end, nullptr);
  EXPECT_EQ(end - buffer.data(), static_cast<std::ptrdiff_t>(*c.lineEnd));
  EXPECT_EQ(std::string_view(buffer.data()), c.line);
  EXPECT_EQ(std::string_view(end + count), c.next);
}

const LineCase kLineCases[] = {
    {"CrCrLf", "ABC\r\r\nDEF", 3, 3, "ABC", "DEF"},
    {"EmptyCrLfLine", "\r\nX", 0, 2, "", "X"},
    {"LfOnly", "ab\ncd\n", 2, 1, "ab", "cd\n"},
    {"NoLineFeed", "ABC\rDEF", std::nullopt, 0, "", ""},
    {"EmptyText", "", std::nullopt, 0, "", ""},
    {"LoneCrInsideLine", "a\rb\r\nc", 3, 2, "a\rb", "c"},
    {"OnlyCrsThenLf", "\r\r\r\n", 0, 4, "", ""},
    {"LfAtStart", "\nrest", 0, 1, "", "rest"},
};
INSTANTIATE_TEST_SUITE_P(Lines, CrLf2NULLTest, testing::ValuesIn(kLineCases), CaseName());

TEST(CrLf2NULLTest, WalksAWholeTextLineByLine) {
  std::string text = "BEGIN:VCARD\r\nN:a\nFN:b\r\r\n\r\nEND:VCARD\r\n";
  const std::string_view expected[] = {"BEGIN:VCARD", "N:a", "FN:b", "", "END:VCARD"};
  char* position = text.data();
  std::size_t index = 0;
  std::uint64_t count = 0;
  for (char* end = CrLf2NULL(position, &count); end != nullptr; end = CrLf2NULL(position, &count)) {
    ASSERT_LT(index, std::size(expected));
    EXPECT_EQ(std::string_view(position), expected[index++]);
    position = end + count;
  }
  EXPECT_EQ(index, std::size(expected));
  EXPECT_EQ(std::string_view(position), "");
}

// --- Replace ------------------------------------------------------------------------

struct ReplaceCase {
  std::string_view name;
  const char* text;
  const char* pattern;
  const char* replacement;
  std::string_view expected;
};

class ReplaceTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTest, ReplacesEveryOccurrence) {
  const ReplaceCase& c = GetParam();
  const OwnedCString result(Replace(c.text, c.pattern, c.replacement));
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result.get(), c.text);
  EXPECT_EQ(std::string_view(result.get()), c.expected);
  EXPECT_EQ(std::strlen(result.get()), c.expected.size());
}

const ReplaceCase kReplaceCases[] = {
    {"NoOccurrence", "abc", "x", "y", "abc"},
    {"EmptyText", "", "x", "y", ""},
    {"FoldsCrLf", "ab\r\ncd", "\r\n", "\r\n ", "ab\r\n cd"},
    {"FoldsTrailingCrLf", "ab\r\n", "\r\n", "\r\n ", "ab\r\n "},
    {"LoneCrAndLfStay", "a\rb\nc", "\r\n", "\r\n ", "a\rb\nc"},
    {"DeletesSpaces", " ENCODING = B ", " ", "", "ENCODING=B"},
    {"DeletesTabs", "\tA\t\tB", "\t", "", "AB"},
    {"Shrinks", "aaaa", "aa", "b", "bb"},
    {"NonOverlapping", "aaa", "aa", "X", "Xa"},
    {"Grows", "a;b", ";", "<sep>", "a<sep>b"},
    {"CaseSensitive", "Abc abc", "abc", "x", "Abc x"},
    {"MultiByte", "山田太郎", "田", "本", "山本太郎"},
    {"WholeText", "xyz", "xyz", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Texts, ReplaceTest, testing::ValuesIn(kReplaceCases), CaseName());

// --- StrToUpper and StrAlloc ---------------------------------------------------------

struct UpperCase {
  std::string_view name;
  const char* text;
  const char* expected;  // null: the text is refused
};

class StrToUpperTest : public testing::TestWithParam<UpperCase> {};

TEST_P(StrToUpperTest, UpperCasesUnicode) {
  const UpperCase& c = GetParam();
  const OwnedCString result(StrToUpper(c.text));
  if (c.expected == nullptr) {
    EXPECT_EQ(result, nullptr);
    return;
  }
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(result.get(), c.expected);
}

const UpperCase kUpperCases[] = {
    {"VCardLine", "begin:vcard", "BEGIN:VCARD"},
    {"Empty", "", ""},
    {"SharpSGrowsToTwoLetters", "straße", "STRASSE"},
    {"FullWidthLatin", "ｖｃａｒｄ", "ＶＣＡＲＤ"},
    {"KanaAndKanjiUnchanged", "やまだ山田ﾔﾏﾀﾞ", "やまだ山田ﾔﾏﾀﾞ"},
    {"DottedIIsLocaleFree", "iı", "II"},
    {"MixedParameter", "charset=Shift_JIS", "CHARSET=SHIFT_JIS"},
    {"LoneContinuationByte", "a\x80z", nullptr},
    {"TruncatedSequence", "\xE3\x81", nullptr},
    {"EncodedSurrogate", "\xED\xA0\x80", nullptr},
};
INSTANTIATE_TEST_SUITE_P(Texts, StrToUpperTest, testing::ValuesIn(kUpperCases), CaseName());

TEST(StrAllocTest, CopiesIntoAFreshBlock) {
  for (const char* text : {"", "abc", "山田\r\n"}) {
    SCOPED_TRACE(text);
    const OwnedCString copy(StrAlloc(text));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), text);
    EXPECT_STREQ(copy.get(), text);
  }
}

}  // namespace
