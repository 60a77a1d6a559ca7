#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "strutil.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

// A name-and-parameters list as the engine gets it from a property line.
struct ParsedLine {
  explicit ParsedLine(const char* line) {
    char** values = nullptr;
    std::uint64_t valueCount = 0;
    char** rawNames = nullptr;
    static_cast<void>(SplitFR(line, &rawNames, &count, &values, &valueCount));
    names.reset(rawNames);
    SplitFree(values);
  }
  strutil::OwnedSplit names;
  std::uint64_t count = 0;
};

// --- Codes of a whole name-and-parameters list ------------------------------------------

struct ListCase {
  std::string_view name;
  const char* line;
  std::int64_t encoding;
  std::int64_t charset;
};

class ListCodeTest : public testing::TestWithParam<ListCase> {};

TEST_P(ListCodeTest, ClassifiesEncodingAndCharset) {
  const ListCase& c = GetParam();
  const ParsedLine parsed(c.line);
  ASSERT_NE(parsed.names, nullptr);
  EXPECT_EQ(CheckEncoding(parsed.names.get(), parsed.count), c.encoding);
  EXPECT_EQ(CheckCharset(parsed.names.get(), parsed.count), c.charset);
}

const ListCase kListCases[] = {
    {"ShiftJISQuotedPrintable", "N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:x", 2, 1},
    {"LowerCaseB", "PHOTO;ENCODING=b;TYPE=JPEG:x", 1, 0},
    {"BareBase64", "PHOTO;BASE64:x", 1, 0},
    {"ExactlyB", "X-FOO;B:x", 1, 0},
    {"LowerCaseExactlyB", "X-FOO;b:x", 1, 0},
    {"SpacesAroundEquals", "NOTE;ENCODING = B:x", 1, 0},
    {"TabsAroundEquals", "NOTE;ENCODING\t=\tB:x", 1, 0},
    {"BothEncodingsQuotedPrintableWins", "NOTE;BASE64;QUOTED-PRINTABLE:x", 2, 0},
    {"BothEncodingsOtherOrder", "NOTE;QUOTED-PRINTABLE;ENCODING=B:x", 2, 0},
    {"EightBit", "NOTE;ENCODING=8BIT:x", 0, 0},
    {"WordBeginningWithB", "NOTE;BX:x", 0, 0},
    {"LowerCaseUtf8", "N;CHARSET=utf-8:x", 0, 2},
    {"MixedCaseShiftJIS", "N;CHARSET=Shift_JIS:x", 0, 1},
    {"BothCharsetsUtf8Wins", "N;CHARSET=SHIFT_JIS;CHARSET=UTF-8:x", 0, 2},
    {"Sjis", "N;CHARSET=SJIS:x", 0, 0},
    {"ShiftHyphenJis", "N;CHARSET=SHIFT-JIS:x", 0, 0},
    {"Utf8WithoutHyphen", "N;CHARSET=UTF8:x", 0, 0},
    {"NameOnly", "TEL:x", 0, 0},
    {"KeyInPropertyName", "X-BASE64-UTF-8:x", 1, 2},
};
INSTANTIATE_TEST_SUITE_P(Lines, ListCodeTest, testing::ValuesIn(kListCases), CaseName());

// --- Codes judged by each parameter's own name and value -------------------------------------

struct DeclaredCase {
  std::string_view name;
  const char* line;
  std::int64_t encoding;
  std::int64_t charset;
  const char* charsetName;  // ICU's name for kCharsetOther, else ""
};

class DeclaredCodeTest : public testing::TestWithParam<DeclaredCase> {};

TEST_P(DeclaredCodeTest, ReadsWhatTheParametersDeclare) {
  const DeclaredCase& c = GetParam();
  const ParsedLine parsed(c.line);
  ASSERT_NE(parsed.names, nullptr);
  const ParameterCodes codes = ReadParameterCodes(parsed.names.get(), parsed.count);
  EXPECT_EQ(codes.encoding, c.encoding);
  EXPECT_EQ(codes.charset, c.charset);
  EXPECT_STREQ(codes.charsetName, c.charsetName);
}

const DeclaredCase kDeclaredCases[] = {
    {"ShiftJISQuotedPrintable", "N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:x",
     kEncodingQuotedPrintable, kCharsetShiftJIS, ""},
    {"AnyCaseAndBlanks", "N;charset = utf-8;Encoding =\tquoted-printable:x",
     kEncodingQuotedPrintable, kCharsetUTF8, ""},
    {"QuotedValue", "N;CHARSET=\"UTF-8\":x", kEncodingNone, kCharsetUTF8, ""},
    {"BareWords", "NOTE;QUOTED-PRINTABLE:x", kEncodingQuotedPrintable, kCharsetNone, ""},
    {"BareB", "PHOTO;B:x", kEncodingBase64, kCharsetNone, ""},
    {"EncodingB", "PHOTO;ENCODING=b:x", kEncodingBase64, kCharsetNone, ""},
    {"QuotedPrintableWinsOverBase64", "NOTE;BASE64;ENCODING=QUOTED-PRINTABLE:x",
     kEncodingQuotedPrintable, kCharsetNone, ""},
    {"EightBitIsPlain", "NOTE;ENCODING=8BIT:x", kEncodingPlain, kCharsetNone, ""},
    {"SevenBitIsPlain", "NOTE;ENCODING=7bit:x", kEncodingPlain, kCharsetNone, ""},
    {"UnknownEncoding", "NOTE;ENCODING=X-UUENCODE:x", kEncodingUnknown, kCharsetNone, ""},
    {"UnknownLosesToBase64", "NOTE;ENCODING=X-UU;BASE64:x", kEncodingBase64, kCharsetNone, ""},
    {"UsAsciiIsNoCharset", "N;CHARSET=US-ASCII:x", kEncodingNone, kCharsetNone, ""},
    {"AsciiAliasIsNoCharset", "N;CHARSET=ascii:x", kEncodingNone, kCharsetNone, ""},
    // Spellings ICU maps to the same Shift_JIS table.
    {"ShiftHyphenJis", "N;CHARSET=Shift-JIS:x", kEncodingNone, kCharsetShiftJIS, ""},
    {"Sjis", "N;CHARSET=SJIS:x", kEncodingNone, kCharsetShiftJIS, ""},
    {"Utf8WithoutHyphen", "N;CHARSET=UTF8:x", kEncodingNone, kCharsetUTF8, ""},
    {"Latin1", "N;CHARSET=ISO-8859-1:x", kEncodingNone, kCharsetOther, "ISO-8859-1"},
    {"Windows1252", "N;CHARSET=windows-1252:x", kEncodingNone, kCharsetOther, "ibm-5348_P100-1997"},
    {"UnknownCharset", "N;CHARSET=X-NO-SUCH:x", kEncodingNone, kCharsetUnknown, ""},
    {"EmptyCharset", "N;CHARSET=:x", kEncodingNone, kCharsetUnknown, ""},
    {"Utf8WinsOverOthers", "N;CHARSET=ISO-8859-1;CHARSET=UTF-8:x", kEncodingNone, kCharsetUTF8, ""},
    {"BareUtf8Word", "TEL;utf-8;QUOTED-PRINTABLE:x", kEncodingQuotedPrintable, kCharsetUTF8, ""},
    // A word inside another parameter declares nothing.
    {"WordInsideAnotherParameter", "NOTE;X-FROM=UTF-8-EXPORT;X-NOTE=BASE64:x", kEncodingNone,
     kCharsetNone, ""},
    {"KeyInPropertyName", "X-BASE64-UTF-8:x", kEncodingNone, kCharsetNone, ""},
    {"NameOnly", "TEL:x", kEncodingNone, kCharsetNone, ""},
};
INSTANTIATE_TEST_SUITE_P(Lines, DeclaredCodeTest, testing::ValuesIn(kDeclaredCases), CaseName());

// --- One parameter ---------------------------------------------------------------------------

TEST(OneParameterTest, ClassifiesOneParameter) {
  struct Case {
    const char* parameter;
    std::int64_t encoding;
    std::int64_t charset;
  };
  const Case cases[] = {
      {"ENCODING=QUOTED-PRINTABLE", 1, 0},
      {"CHARSET=UTF-8", 0, 2},
      {"charset=shift_jis", 0, 1},
      {"ENCODING=BASE64", 1, 0},
      {"ENCODING = b", 1, 0},
      {"b", 1, 0},
      {"BX", 0, 0},
      {"TYPE=WORK", 0, 0},
      {"CELL", 0, 0},
      {"", 0, 0},
      {"CHARSET=SHIFT_JIS;CHARSET=UTF-8", 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameter);
    EXPECT_EQ(CheckEncoding_onearg(c.parameter), c.encoding);
    EXPECT_EQ(CheckCharset_onearg(c.parameter), c.charset);
  }
}

// --- Substring tests ------------------------------------------------------------------------

struct ExistsCase {
  std::string_view name;
  std::vector<const char*> list;  // entries may be null
  const char* key;
  std::int32_t plain;   // StrExists
  std::int32_t blanks;  // StrExists_sp
};

class StrExistsTest : public testing::TestWithParam<ExistsCase> {};

TEST_P(StrExistsTest, FindsKeyCaseInsensitively) {
  const ExistsCase& c = GetParam();
  const auto count = static_cast<std::uint64_t>(c.list.size());
  EXPECT_EQ(StrExists(c.list.data(), count, c.key), c.plain);
  EXPECT_EQ(StrExists_sp(c.list.data(), count, c.key), c.blanks);
  // The one-text forms agree with a one-entry list.
  if (c.list.size() == 1) {
    EXPECT_EQ(StrExists_twoarg(c.list[0], c.key), c.plain);
    EXPECT_EQ(StrExists_sp(c.list[0], c.key), c.blanks);
  }
  // Several keys at once: each bit as its own look-up finds it.
  const std::string_view key(c.key);
  if (std::all_of(key.begin(), key.end(),
                  [](char k) { return k > 0 && !(k >= 'a' && k <= 'z'); })) {
    const std::uint32_t found = StrExistsEach(c.list.data(), count, {"HOME", key, "INTERNET"});
    EXPECT_EQ(found, (StrExists(c.list.data(), count, "HOME") != 0 ? 1u : 0u) |
                         (c.plain != 0 ? 2u : 0u) |
                         (StrExists(c.list.data(), count, "INTERNET") != 0 ? 4u : 0u));
  }
}

const ExistsCase kExistsCases[] = {
    {"Substring", {"TYPE=HOMEWORK"}, "WORK", 1, 1},
    {"LowerCaseEntry", {"type=work"}, "WORK", 1, 1},
    {"LowerCaseKey", {"TYPE=WORK"}, "work", 1, 1},
    {"Absent", {"TYPE=HOME"}, "WORK", 0, 0},
    {"LaterEntry", {"EMAIL", "INTERNET", "PREF"}, "pref", 1, 1},
    {"PropertyNameCounts", {"X-WORKPHONE", "CELL"}, "WORK", 1, 1},
    {"AllEntriesNull", {nullptr, nullptr}, "WORK", 0, 0},
    {"NullEntrySkipped", {nullptr, "HOME"}, "HOME", 1, 1},
    {"EmptyList", {}, "WORK", 0, 0},
    {"SpacesOnlyIgnoredBySp", {"ENCODING = B"}, "ENCODING=B", 0, 1},
    {"TabsOnlyIgnoredBySp", {"ENCODING\t=B"}, "ENCODING=B", 0, 1},
    {"SharpSFolds", {"straße"}, "STRASSE", 1, 1},
    {"FullWidthLetters", {"ｗｏｒｋ"}, "ＷＯＲＫ", 1, 1},
    {"Version", {"2.1"}, "2.1", 1, 1},
    {"InvalidEntryNotFound", {"WORK\xFF"}, "WORK", 0, 0},
    {"DotlessIUpperCasesToI", {"x-\xC4\xB1nternet", "home"}, "INTERNET", 1, 1},
    {"KeyAtTheEnd", {"X-HOM", "WORKHOME"}, "HOME", 1, 1},
};
INSTANTIATE_TEST_SUITE_P(Lists, StrExistsTest, testing::ValuesIn(kExistsCases), CaseName());

TEST(StrExistsTest, CountLimitsTheEntriesLookedAt) {
  const char* list[] = {"HOME", "WORK"};
  EXPECT_EQ(StrExists(list, 1, "WORK"), 0);
  EXPECT_EQ(StrExists(list, 2, "WORK"), 1);
  EXPECT_EQ(StrExists(list, 0, "HOME"), 0);
}

TEST(StrExistsTest, NullArgumentsGiveZero) {
  EXPECT_EQ(StrExists_twoarg(nullptr, "A"), 0);
  EXPECT_EQ(StrExists_twoarg("A", nullptr), 0);
  EXPECT_EQ(StrExists_sp(nullptr, "A"), 0);
  EXPECT_EQ(StrExists(nullptr, 3, "A"), 0);
}

TEST(StrExistsTest, LeavesTheListUnchanged) {
  std::string entry = "type = work";
  const char* list[] = {entry.c_str()};
  EXPECT_EQ(StrExists_sp(list, 1, "TYPE=WORK"), 1);
  EXPECT_EQ(entry, "type = work");
}

// --- StrExists_only ---------------------------------------------------------------------------

TEST(StrExistsOnlyTest, EveryValueMustBeOfAKnownKind) {
  struct Case {
    const char* parameter;
    const char* first;
    const char* second;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"TYPE=HOME,WORK", "HOME", "WORK", 1},
      {"TYPE=HOME,CELL", "HOME", "WORK", 0},
      {"HOME", "HOME", nullptr, 1},
      {"TYPE=", "HOME", "WORK", 0},
      {"type=home", "HOME", nullptr, 1},
      {"TYPE=HOME,WORK", "HOME", nullptr, 0},
      {"TYPE=CELL,HOME", "HOME", "WORK", 0},  // a bad first value is not hidden by a good last one
      {"TYPE=HOME\\,CELL", "HOME", nullptr, 1},  // escaped comma: one value
      {"X\\=HOME", "HOME", nullptr, 1},          // escaped "=": the whole parameter is the value
      {"TYPE=HOME,", "HOME", "WORK", 0},         // trailing empty value
      {"TYPE=HOMEWORK", "WORK", nullptr, 1},     // substring rule
      {"TYPE=HOME=WORK", "HOME", nullptr, 1},    // cut at the first "=" only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameter);
    EXPECT_EQ(StrExists_only(c.parameter, c.first, c.second), c.expected);
  }
}

// --- One parameter's kind ---------------------------------------------------------------------

struct KindCase {
  std::string_view name;
  std::string_view parameter;
  strutil::ParameterKind kind;
  std::string_view value;  // parameterValue
  std::string_view key;    // parameterKey
};

using Kind = strutil::ParameterKind;

const KindCase kKindCases[] = {
    {"Charset", "CHARSET=SHIFT_JIS", Kind::Charset, "SHIFT_JIS", "CHARSET"},
    {"EncodingAnyCaseAndBlanks", " encoding =\tb ", Kind::Encoding, "b", "ENCODING"},
    {"QuotedValue", "CHARSET=\"UTF-8\"", Kind::Charset, "UTF-8", "CHARSET"},
    {"EmptyValue", "CHARSET=", Kind::Charset, "", "CHARSET"},
    {"SecondEqualsInValue", "ENCODING=A=B", Kind::Encoding, "A=B", "ENCODING"},
    // Quotes around the name are left out for the kind, kept in the key.
    {"QuotedName", "\"CHARSET\"=UTF-8", Kind::Charset, "UTF-8", "\"CHARSET\""},
    {"BareBase64", "BASE64", Kind::TransferWord, "BASE64", "BASE64"},
    {"BareB", "b", Kind::TransferWord, "b", "B"},
    {"BareQuotedPrintable", "\tQuoted-Printable", Kind::TransferWord, "Quoted-Printable",
     "QUOTED-PRINTABLE"},
    {"BareSevenBit", "7bit", Kind::TransferWord, "7bit", "7BIT"},
    {"BareEightBit", "8BIT", Kind::TransferWord, "8BIT", "8BIT"},
    {"QuotedBareWord", "\"BASE64\"", Kind::TransferWord, "BASE64", "\"BASE64\""},
    {"BareUtf8", "utf-8", Kind::CharsetWord, "utf-8", "UTF-8"},
    {"BareShiftJis", "Shift_JIS", Kind::CharsetWord, "Shift_JIS", "SHIFT_JIS"},
    {"Type", "TYPE=CELL", Kind::Other, "CELL", "TYPE"},
    {"BareType", "CELL", Kind::Other, "CELL", "CELL"},
    {"Empty", "", Kind::Other, "", ""},
    // Words inside other parameters or words declare nothing.
    {"WordInsideValue", "X-FROM=UTF-8-EXPORT", Kind::Other, "UTF-8-EXPORT", "X-FROM"},
    {"LongerName", "CHARSETS=UTF-8", Kind::Other, "UTF-8", "CHARSETS"},
    {"LongerWord", "BASE64X", Kind::Other, "BASE64X", "BASE64X"},
    {"BlankInsideName", "ENCO DING=B", Kind::Other, "B", "ENCO DING"},
    // Full-width "ＢＡＳＥ64" is no ASCII word.
    {"FullWidthWord",
     "\xEF\xBC\xA2\xEF\xBC\xA1\xEF\xBC\xB3\xEF\xBC\xA5"
     "64",
     Kind::Other,
     "\xEF\xBC\xA2\xEF\xBC\xA1\xEF\xBC\xB3\xEF\xBC\xA5"
     "64",
     "\xEF\xBC\xA2\xEF\xBC\xA1\xEF\xBC\xB3\xEF\xBC\xA5"
     "64"},
};

class ParameterKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(ParameterKindTest, ClassifiesByNameOrWholeWord) {
  const KindCase& c = GetParam();
  EXPECT_EQ(strutil::classifyParameter(c.parameter), c.kind);
  EXPECT_EQ(strutil::parameterValue(c.parameter), c.value);
  EXPECT_EQ(strutil::parameterKey(c.parameter), c.key);
  // ReadParameterCodes judges each parameter by the same kinds.
  const std::string parameter(c.parameter);
  const char* list[] = {"X", parameter.c_str()};
  const ParameterCodes codes = ReadParameterCodes(list, 2);
  const bool transfer =
      c.kind == Kind::TransferWord && !c.value.ends_with("BIT") && !c.value.ends_with("bit");
  EXPECT_EQ(codes.encoding != kEncodingNone, c.kind == Kind::Encoding || transfer);
  EXPECT_EQ(codes.charset != kCharsetNone, c.kind == Kind::CharsetWord || c.kind == Kind::Charset);
}

INSTANTIATE_TEST_SUITE_P(Parameters, ParameterKindTest, testing::ValuesIn(kKindCases), CaseName());

}  // namespace
