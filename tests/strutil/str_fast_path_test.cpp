// The shortcuts of splitting, upper-casing, folding and the parameter
// look-ups against the general forms they stand in for: same answers on
// hand-picked texts and on many generated ones.
#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "str_fast_p.h"
#include "strutil.h"

using platform::OwnedCString;
using strutil::OwnedSplit;

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using Tokens = std::optional<std::vector<std::string>>;

// A split as comparable data; nothing when the split failed. The split runs
// here, before its count is read.
template <typename SplitCall>
Tokens tokens(SplitCall split) {
  std::uint64_t count = 0;
  const OwnedSplit owned(split(&count));
  if (!owned) return std::nullopt;
  std::vector<std::string> result;
  for (std::uint64_t i = 0; i < count; ++i)
    result.emplace_back(owned.get()[i]);
  return result;
}

Tokens fastSplit(const std::string& text, const char* delimiter, std::uint64_t maxCuts) {
  return tokens(
      [&](std::uint64_t* count) { return Split(text.c_str(), delimiter, count, maxCuts); });
}

Tokens slowSplit(const std::string& text, const char* delimiter, std::uint64_t maxCuts) {
  return tokens([&](std::uint64_t* count) {
    return strutil::detail::SplitByPattern(text.c_str(), delimiter, count, maxCuts);
  });
}

std::optional<std::string> owned(char* text) {
  const OwnedCString holder(text);
  if (!holder) return std::nullopt;
  return std::string(holder.get());
}

// Deterministic texts built from pieces that matter to the shortcuts:
// delimiters, backslashes, the escape placeholder, letters of both cases,
// blanks, kana with sound marks, CJK, characters that upper-case oddly and
// characters outside the Basic Multilingual Plane.
std::vector<std::string> generatedTexts(std::size_t count) {
  static const char* const kPieces[] = {
      ";",      ":",         ",",     "=",
      "\\",     "\\;",       "\\:",   "___nonsep___",
      "a",      "B",         "b",     " ",
      "\t",     "ｶ",         "ﾞ",     "ﾟ",
      "ﾊ",      "ｳ",         "山",    "ア",
      "ß",      "é",         "ı",     "ﬃ",
      "😀",      "ENCODING",  "=b",    "QUOTED-PRINTABLE",
      "base64", "Shift_JIS", "utf-8", "CHARSET",
      "ｰ",      "ﾝ",
  };
  constexpr std::size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
  std::vector<std::string> texts;
  std::uint32_t state = 12345;
  for (std::size_t n = 0; n < count; ++n) {
    state = state * 1103515245u + 12345u;
    const std::size_t length = (state >> 16) % 12;
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      state = state * 1103515245u + 12345u;
      text += kPieces[(state >> 16) % kPieceCount];
    }
    texts.push_back(text);
  }
  return texts;
}

// --- Split ---------------------------------------------------------------------------

struct SplitCase {
  std::string_view name;
  std::string text;
  const char* delimiter;
  std::uint64_t maxCuts;
};

const SplitCase kSplitCases[] = {
    {"Empty", "", ";", 0},
    {"Plain", "N;CHARSET=SHIFT_JIS", ";", 0},
    {"EscapedDelimiters", "a\\;b\\;;c", ";", 0},
    {"DoubleBackslash", "a\\\\;b", ";", 0},
    {"LeadingDelimiterAfterCut", ";;\\;;", ";", 0},
    {"PlaceholderInText", "x___nonsep___y;z", ";", 0},
    {"PlaceholderBeforeEscape", "___nonsep___\\;a;b", ";", 0},
    {"OneCutColon", "NOTE;X=1:a:b\\:c", ":", 1},
    {"OneCutEscapedFirst", "a\\:b:c", ":", 1},
    {"TwoCutsComma", "a,b\\,c,d,e", ",", 2},
    {"EqualsOneCut", "TYPE=HOME=X", "=", 1},
    {"MultiByte", "山田\\;太郎;ﾔﾏﾀﾞ;😀", ";", 0},
    {"OnlyEscapes", "\\;\\;\\;", ";", 0},
    {"TrailingBackslash", "a;b\\", ";", 0},
    {"BlankDelimiter", "a b\\ c", " ", 0},
    {"IllFormedUTF8", "a;\xC3;b", ";", 0},
    {"Unpaired continuation", "\x80", ";", 0},
};

class SplitShortcutTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitShortcutTest, GivesThePatternSplit) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(fastSplit(c.text, c.delimiter, c.maxCuts), slowSplit(c.text, c.delimiter, c.maxCuts));
}

INSTANTIATE_TEST_SUITE_P(Texts, SplitShortcutTest, testing::ValuesIn(kSplitCases), CaseName());

TEST(SplitShortcutGenerated, EveryPlainDelimiterAndCutLimit) {
  const char* const delimiters[] = {";", ":", ",", "="};
  for (const std::string& text : generatedTexts(600)) {
    for (const char* delimiter : delimiters) {
      for (std::uint64_t maxCuts : {0, 1, 2}) {
        SCOPED_TRACE(testing::Message() << "text \"" << text << "\" delimiter " << delimiter
                                        << " maxCuts " << maxCuts);
        ASSERT_EQ(fastSplit(text, delimiter, maxCuts), slowSplit(text, delimiter, maxCuts));
      }
    }
  }
}

// SplitFR is Split at the first ":" and then each part at ";".
TEST(SplitFRShortcutGenerated, MatchesThePatternSplits) {
  for (const std::string& line : generatedTexts(600)) {
    SCOPED_TRACE(testing::Message() << "line \"" << line << "\"");
    char** names = nullptr;
    char** values = nullptr;
    std::uint64_t namesCount = 0;
    std::uint64_t valuesCount = 0;
    SplitFR(line.c_str(), &names, &namesCount, &values, &valuesCount);
    const Tokens fastNames = tokens([&](std::uint64_t* count) {
      *count = namesCount;
      return names;
    });
    const Tokens fastValues = tokens([&](std::uint64_t* count) {
      *count = valuesCount;
      return values;
    });

    const Tokens parts = slowSplit(line, ":", 1);
    ASSERT_TRUE(parts.has_value());
    const Tokens slowNames = slowSplit((*parts)[0], ";", 0);
    const Tokens slowValues = parts->size() >= 2 ? slowSplit((*parts)[1], ";", 0) : std::nullopt;
    ASSERT_EQ(fastNames, slowNames);
    ASSERT_EQ(fastValues, slowValues);
    const Tokens namesAlone = tokens([&](std::uint64_t* count) {
      char** handle = nullptr;
      SplitFRNames(line.c_str(), &handle, count);
      return handle;
    });
    ASSERT_EQ(namesAlone, slowNames);
  }
}

// --- LineSplit -----------------------------------------------------------------------

// The two lists of a property line; a list that is not made is nothing.
struct LineLists {
  Tokens names;
  Tokens values;
  bool operator==(const LineLists&) const = default;
};

LineLists splitFRLists(const std::string& line) {
  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t namesCount = 0;
  std::uint64_t valuesCount = 0;
  SplitFR(line.c_str(), &names, &namesCount, &values, &valuesCount);
  LineLists lists;
  lists.names = tokens([&](std::uint64_t* count) {
    *count = namesCount;
    return names;
  });
  lists.values = tokens([&](std::uint64_t* count) {
    *count = valuesCount;
    return values;
  });
  return lists;
}

Tokens listOf(char** list, std::size_t count) {
  if (count == 0) return std::nullopt;
  return std::vector<std::string>(list, list + count);
}

LineLists lineSplitLists(strutil::LineSplit& split, const std::string& line, bool withValues,
                         bool knownUTF8, bool quotedValues = false) {
  split.split(line, withValues, knownUTF8, quotedValues);
  return {listOf(split.names(), split.namesCount()), listOf(split.values(), split.valuesCount())};
}

struct LineSplitCase {
  std::string_view name;
  std::string line;
};

const LineSplitCase kLineSplitCases[] = {
    {"Empty", ""},
    {"NameOnly", "BEGIN"},
    {"Plain", "N;CHARSET=SHIFT_JIS:山田;太郎;;;"},
    {"EscapedColonInName", "X-A\\:B;P=1:v"},
    {"ColonFirst", ":value;x"},
    {"ColonLast", "NOTE;A:"},
    {"SeveralColons", "URL:http://example.jp:80/a;b"},
    {"EscapedSemicolons", "ADR:a\\;b;c\\\\;d"},
    {"DelimiterRightAfterColon", "N:;;;"},
    {"EscapedDelimiterRightAfterColon", "N:\\;a;b"},
    {"TrailingBackslash", "NOTE:a;b\\"},
    {"BackslashBeforeColonOnly", "\\:"},
    {"Photo", "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRgABAQ=="},
    // C3 starts a two-byte sequence that never comes: not UTF-8.
    {"IllFormedUTF8", "N:a;\xC3;b"},
};

class LineSplitShortcutTest : public testing::TestWithParam<LineSplitCase> {};

TEST_P(LineSplitShortcutTest, GivesTheSplitFRLists) {
  const std::string& line = GetParam().line;
  strutil::LineSplit split;
  const LineLists expected = splitFRLists(line);
  EXPECT_EQ(lineSplitLists(split, line, true, false), expected);
  // Without values, the same names and no value list.
  EXPECT_EQ(lineSplitLists(split, line, false, false), (LineLists{expected.names, std::nullopt}));
  // Validated by the caller: the same lists for every UTF-8 line.
  if (expected.names.has_value()) {
    EXPECT_EQ(lineSplitLists(split, line, true, true), expected);
  }
  // A line without quotes is cut the same where quotes count.
  if (line.find('"') == std::string::npos) {
    EXPECT_EQ(lineSplitLists(split, line, true, false, true), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, LineSplitShortcutTest, testing::ValuesIn(kLineSplitCases),
                         CaseName());

// Where a parameter's value may be quoted (3.0, 4.0), the ";" and ":" in
// quotes are text; the group is cut off the name on request.
struct QuotedSplitCase {
  std::string_view name;
  std::string line;
  std::vector<std::string> names;  // the name without its group first
  std::vector<std::string> values;
  std::string_view group;
};

const QuotedSplitCase kQuotedSplitCases[] = {
    {"ColonInQuotes",
     "ADR;GEO=\"geo:51.5,0.1\";LABEL=\"Baker St: 221B\":;;221B;London",
     {"ADR", "GEO=\"geo:51.5,0.1\"", "LABEL=\"Baker St: 221B\""},
     {"", "", "221B", "London"},
     ""},
    {"SemicolonInQuotes", "item2.NOTE;X-A=\"a;b\":v", {"NOTE", "X-A=\"a;b\""}, {"v"}, "item2"},
    {"QuotedListItem", "TEL;TYPE=\"a:b\",\"c;d\":1", {"TEL", "TYPE=\"a:b\",\"c;d\""}, {"1"}, ""},
    // A quote inside a word opens nothing, and one that never closes is a
    // character like any other.
    {"QuoteInsideAWord", "EMAIL;X-A=O\"B:x\"y@z", {"EMAIL", "X-A=O\"B"}, {"x\"y@z"}, ""},
    {"QuoteNeverClosed", "NOTE;X-A=\"a:b", {"NOTE", "X-A=\"a"}, {"b"}, ""},
    {"DotAtTheEnd", "X-A.:v", {"X-A."}, {"v"}, ""},
    {"GroupOfGroups", "a.b.EMAIL:x", {"EMAIL"}, {"x"}, "a.b"},
};

class QuotedSplitTest : public testing::TestWithParam<QuotedSplitCase> {};

TEST_P(QuotedSplitTest, CutsOutsideQuotes) {
  const QuotedSplitCase& c = GetParam();
  strutil::LineSplit split;
  split.split(c.line, true, false, true);
  EXPECT_EQ(split.cutGroup(), c.group);
  EXPECT_EQ(listOf(split.names(), split.namesCount()), c.names);
  EXPECT_EQ(listOf(split.values(), split.valuesCount()), c.values);
}

INSTANTIATE_TEST_SUITE_P(Lines, QuotedSplitTest, testing::ValuesIn(kQuotedSplitCases), CaseName());

// One object reused over many lines, as the engine reuses it: no token of an
// earlier line may show through, and long lines give their storage back.
TEST(LineSplitShortcutGenerated, MatchesSplitFROnEveryLine) {
  strutil::LineSplit split;
  std::vector<std::string> lines = generatedTexts(600);
  lines.push_back("NOTE:" + std::string(200000, 'x') + ";y");
  lines.push_back("N:a;b");
  for (const std::string& line : lines) {
    SCOPED_TRACE(testing::Message() << "line \"" << line.substr(0, 80) << "\"");
    const LineLists expected = splitFRLists(line);
    ASSERT_EQ(lineSplitLists(split, line, true, true), expected);
    ASSERT_EQ(lineSplitLists(split, line, false, false), (LineLists{expected.names, std::nullopt}));
    split.trim();
  }
}

// --- SearchDelimiter -----------------------------------------------------------------

struct SearchCase {
  std::string_view name;
  std::string text;
  bool found;
  std::uint64_t skip;
  std::string token;  // what is left at position
};

const SearchCase kSearchCases[] = {
    {"First", "ab;cd", true, 1, "ab"},
    {"Escaped", "a\\;b;c", true, 1, "a\\;b"},
    {"AtStart", ";x", true, 1, ""},
    {"None", "abc", false, 0, "abc"},
    {"OnlyEscaped", "a\\;", false, 0, "a\\;"},
    // The text after the delimiter is never looked at, valid or not.
    {"IllFormedAfterDelimiter", std::string("a;\xFF", 3), true, 1, "a"},
    {"IllFormedToken", std::string("\xFF;a", 3), false, 0, std::string("\xFF;a", 3)},
};

class SearchDelimiterShortcutTest : public testing::TestWithParam<SearchCase> {};

TEST_P(SearchDelimiterShortcutTest, CutsLikeOneSplitStep) {
  const SearchCase& c = GetParam();
  std::string buffer = c.text;
  std::uint64_t skip = 99;
  EXPECT_EQ(SearchDelimiter(buffer.data(), ";", &skip), c.found);
  EXPECT_EQ(skip, c.skip);
  EXPECT_EQ(std::string(buffer.c_str()), c.token);
}

INSTANTIATE_TEST_SUITE_P(Texts, SearchDelimiterShortcutTest, testing::ValuesIn(kSearchCases),
                         CaseName());

// --- StrToUpper ----------------------------------------------------------------------

struct UpperCase {
  std::string_view name;
  std::string text;
};

const UpperCase kUpperCases[] = {
    {"Empty", ""},
    {"Ascii", "tel;cell:03-1234"},
    {"AsciiPunctuation", "`{|}~@[\\]^_"},
    {"KanjiAndAscii", "n;charset=shift_jis:山田;太郎"},
    {"HalfwidthKana", "sound:ﾔﾏﾀﾞ"},
    {"FullwidthLatin", "ａｂｃ"},
    {"SharpS", "straße"},
    {"DotlessI", "ıi"},
    {"Ligature", "ﬃ"},
    {"Greek", "σας"},
    {"Astral", "😀a"},
    {"IllFormed", "a\xC3"},
    {"Surrogate encoded", "\xED\xA0\x80"},
};

class UpperShortcutTest : public testing::TestWithParam<UpperCase> {};

TEST_P(UpperShortcutTest, GivesTheUnicodeUpperCase) {
  const UpperCase& c = GetParam();
  EXPECT_EQ(owned(StrToUpper(c.text.c_str())),
            owned(strutil::detail::StrToUpperByLocale(c.text.c_str())));
}

INSTANTIATE_TEST_SUITE_P(Texts, UpperShortcutTest, testing::ValuesIn(kUpperCases), CaseName());

// ICU's UTF-8 for a code point.
std::string utf8Of(char32_t c) {
  std::string out;
  icu::UnicodeString(static_cast<UChar32>(c)).toUTF8String(out);
  return out;
}

// The shortcut leaves U+3000-U+9FFF and half-width katakana as they are; the
// Unicode upper-casing must agree for every one of them.
TEST(UpperShortcutRanges, EveryCharacterTheShortcutKeeps) {
  for (char32_t c = 0x3000; c <= 0x9FFF; ++c) {
    // Built by appending: "x" + utf8Of(c) sends GCC 12 at -O3 into a false
    // -Wrestrict on the insertion at the front.
    const std::string text = std::string("x").append(utf8Of(c));
    const auto upper = owned(strutil::detail::StrToUpperByLocale(text.c_str()));
    ASSERT_EQ(upper, std::string("X").append(utf8Of(c)))
        << "U+" << std::hex << static_cast<std::uint32_t>(c);
    ASSERT_EQ(owned(StrToUpper(text.c_str())), upper);
  }
  for (char32_t c = 0xFF61; c <= 0xFF9F; ++c) {
    const std::string text = utf8Of(c) + "q";
    ASSERT_EQ(owned(StrToUpper(text.c_str())),
              owned(strutil::detail::StrToUpperByLocale(text.c_str())));
  }
}

TEST(UpperShortcutGenerated, MatchesTheUnicodeUpperCase) {
  for (const std::string& text : generatedTexts(800)) {
    SCOPED_TRACE(testing::Message() << "text \"" << text << "\"");
    ASSERT_EQ(owned(StrToUpper(text.c_str())),
              owned(strutil::detail::StrToUpperByLocale(text.c_str())));
  }
}

// --- Half_to_Full --------------------------------------------------------------------

const UpperCase kFoldCases[] = {
    {"Empty", ""},
    {"NoKana", "山田 taro"},
    {"VoicedJoined", "ｶﾞｷﾞｸﾞ"},
    {"SemiVoicedJoined", "ﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ"},
    {"SemiVoicedAfterLetterWithoutOne", "ｶﾟ"},
    {"MarksAlone", "ﾞﾟ"},
    {"MarkAfterAscii", "aﾞ"},
    {"KanaBeforeAstral", "ｶ😀"},
    {"AstralBeforeMark", "😀ﾞ"},
    {"VuAndPunctuation", "ｳﾞ｡｢｣､･ｰﾝ"},
    {"KanaAtEnd", "abcﾝ"},
    {"KanaRunsBetweenKanji", "山ｶﾞﾅ田ｱｲｳ川ﾟ"},
    {"IllFormed", "ｶ\xE3\x81"},
    // Other characters whose UTF-8 starts with EF: U+FF60 and U+FFA0 just
    // outside the range, a full-width letter and the yen sign.
    {"NeighboursOfTheRange", "｠ｱﾠﾟＡ￥ﾝ"},
};

class FoldShortcutTest : public testing::TestWithParam<UpperCase> {};

TEST_P(FoldShortcutTest, GivesTheUnitByUnitFolding) {
  const UpperCase& c = GetParam();
  const auto expected = owned(strutil::detail::HalfToFullByUnits(c.text.c_str()));
  EXPECT_EQ(owned(Half_to_Full(c.text.c_str())), expected);
  // The appending form adds the same text after what is there, or nothing.
  std::string appended = "head;";
  EXPECT_EQ(AppendHalfToFull(c.text.c_str(), &appended), expected.has_value());
  EXPECT_EQ(appended, "head;" + expected.value_or(""));
}

INSTANTIATE_TEST_SUITE_P(Texts, FoldShortcutTest, testing::ValuesIn(kFoldCases), CaseName());

TEST(FoldShortcutGenerated, MatchesTheUnitByUnitFolding) {
  for (const std::string& text : generatedTexts(800)) {
    SCOPED_TRACE(testing::Message() << "text \"" << text << "\"");
    ASSERT_EQ(owned(Half_to_Full(text.c_str())),
              owned(strutil::detail::HalfToFullByUnits(text.c_str())));
  }
}

// --- Parameter codes -----------------------------------------------------------------

struct CodeCase {
  std::string_view name;
  std::vector<const char*> list;
};

const CodeCase kCodeCases[] = {
    {"Empty", {}},
    {"OnlyName", {"N"}},
    {"ShiftJis", {"N", "CHARSET=SHIFT_JIS"}},
    {"Utf8WinsOverShiftJis", {"N", "CHARSET=UTF-8", "X-SHIFT_JIS"}},
    {"LowerCase", {"note", "charset=shift_jis", "encoding=quoted-printable"}},
    {"BareQuotedPrintable", {"NOTE", "QUOTED-PRINTABLE"}},
    {"QuotedPrintableWinsOverBase64", {"PHOTO", "BASE64", "QUOTED-PRINTABLE"}},
    {"EncodingBWithBlanks", {"PHOTO", "ENCODING = b"}},
    {"EncodingBWithTabs", {"PHOTO", "EN\tCODING=\tB"}},
    {"BareB", {"PHOTO", "b"}},
    {"BNotBare", {"PHOTO", "bb"}},
    {"NullElement", {"N", nullptr, "BASE64"}},
    {"NonAsciiElement", {"N", "ＣＨＡＲＳＥＴ=shift_jis"}},
    {"SharpSUpperCases", {"X-ßHIFT_JIS", "CHARSET=SHIFT_JIS"}},
    {"IllFormedElement", {"N", "\xC3", "BASE64"}},
    {"EncodingBAcrossElementsDoesNotCount", {"ENCODING=", "B"}},
};

class CodeShortcutTest : public testing::TestWithParam<CodeCase> {};

TEST_P(CodeShortcutTest, GivesTheLookUpAnswers) {
  const CodeCase& c = GetParam();
  const char* const* list = c.list.empty() ? nullptr : c.list.data();
  EXPECT_EQ(CheckEncoding(list, c.list.size()),
            strutil::detail::CheckEncodingByLookups(list, c.list.size()));
  EXPECT_EQ(CheckCharset(list, c.list.size()),
            strutil::detail::CheckCharsetByLookups(list, c.list.size()));
  for (const char* element : c.list) {
    EXPECT_EQ(CheckEncoding_onearg(element), strutil::detail::CheckEncodingOneByLookups(element));
    EXPECT_EQ(CheckCharset_onearg(element), strutil::detail::CheckCharsetOneByLookups(element));
  }
}

INSTANTIATE_TEST_SUITE_P(Lists, CodeShortcutTest, testing::ValuesIn(kCodeCases), CaseName());

TEST(CodeShortcutGenerated, MatchesTheLookUps) {
  const std::vector<std::string> texts = generatedTexts(900);
  for (std::size_t i = 0; i + 3 <= texts.size(); i += 3) {
    const char* list[] = {texts[i].c_str(), texts[i + 1].c_str(), texts[i + 2].c_str()};
    SCOPED_TRACE(testing::Message()
                 << "list \"" << list[0] << "\" \"" << list[1] << "\" \"" << list[2] << "\"");
    ASSERT_EQ(CheckEncoding(list, 3), strutil::detail::CheckEncodingByLookups(list, 3));
    ASSERT_EQ(CheckCharset(list, 3), strutil::detail::CheckCharsetByLookups(list, 3));
    ASSERT_EQ(CheckEncoding_onearg(list[0]), strutil::detail::CheckEncodingOneByLookups(list[0]));
    ASSERT_EQ(CheckCharset_onearg(list[0]), strutil::detail::CheckCharsetOneByLookups(list[0]));
  }
}

// The generated texts reach every code the look-ups can give, so the
// comparisons above are not all between zeros.
TEST(CodeShortcutGenerated, TextsCoverEveryCode) {
  std::vector<bool> encodings(3, false);
  std::vector<bool> charsets(3, false);
  for (const std::string& text : generatedTexts(900)) {
    const char* list[] = {text.c_str()};
    encodings[static_cast<std::size_t>(CheckEncoding(list, 1))] = true;
    charsets[static_cast<std::size_t>(CheckCharset(list, 1))] = true;
  }
  EXPECT_EQ(encodings, std::vector<bool>(3, true));
  EXPECT_EQ(charsets, std::vector<bool>(3, true));
}

}  // namespace
