#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "param_names.h"
#include "strutil.h"

using platform::OwnedCString;

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using testsupport::testName;

// --- Half_to_Full ------------------------------------------------------------------------

struct FoldCase {
  std::string_view name;
  const char* input;
  std::string_view expected;
};

class HalfToFullTest : public testing::TestWithParam<FoldCase> {};

TEST_P(HalfToFullTest, FoldsHalfWidthKatakana) {
  const FoldCase& c = GetParam();
  const OwnedCString result(Half_to_Full(c.input));
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result.get(), c.input);
  EXPECT_EQ(std::string_view(result.get()), c.expected);
}

const FoldCase kFoldCases[] = {
    {"VoicedMarkJoins", "ｶﾞ", "ガ"},
    {"SemiVoicedMarkJoins", "ﾊﾟ", "パ"},
    {"PhoneticName", "ﾔﾏﾀﾞ ﾀﾛｳ", "ヤマダ タロウ"},
    {"LoneVoicedMarkFullWidth", "ﾞ", "゛"},
    {"LoneVoicedMarkDoesNotSwallowNext", "ﾞｱ", "゛ア"},
    {"WaVoiced", "ﾜﾞ", "ヷ"},
    {"LastUnitFolds", "abcｱ", "abcア"},
    {"Ascii", "Yamada Taro 090-1234-5678", "Yamada Taro 090-1234-5678"},
    {"KanjiAndFullWidth", "山田太郎ヤマダＡ", "山田太郎ヤマダＡ"},
    {"Empty", "", ""},
    {"Punctuation", "｡｢｣､･", "。「」、・"},
    {"LongVowelMark", "ｰ", "ー"},
    {"VuFromU", "ｳﾞ", "ヴ"},
    {"NonBmpPassesThrough", "𠮷ｶﾞ😀", "𠮷ガ😀"},
    {"KanaBeforeNonBmp", "ｶ𠮷", "カ𠮷"},
    {"CrLfKept", "ｱ\r\n ｲ", "ア\r\n イ"},
};
INSTANTIATE_TEST_SUITE_P(Texts, HalfToFullTest, testing::ValuesIn(kFoldCases), CaseName());

TEST(HalfToFullTest, RefusesInvalidUTF8) {
  for (const char* text : {"\xFF", "ｱ\x80", "\xED\xA0\x80"}) {
    SCOPED_TRACE(testName(text));
    EXPECT_EQ(OwnedCString(Half_to_Full(text)), nullptr);
  }
}

TEST(HalfToFullLogTest, FoldedValueStaysOutOfTheLogByDefault) {
  if (std::getenv("VCARD_DEBUG_LOG") != nullptr) {
    GTEST_SKIP() << "VCARD_DEBUG_LOG is set in this environment";
  }
  testing::internal::CaptureStderr();
  const OwnedCString result(Half_to_Full("ﾔﾏﾀﾞ"));
  const std::string logged = testing::internal::GetCapturedStderr();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(logged.find("ヤマダ"), std::string::npos) << logged;
}

TEST(HalfToFullLogTest, FoldedValueIsLoggedWhenDiagnosticsAreOn) {
  // A fresh process reads the switch; this one may have read it already.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EQ(setenv("VCARD_DEBUG_LOG", "1", 1), 0);
  EXPECT_EXIT(
      {
        std::free(Half_to_Full("ﾔﾏﾀﾞ"));
        std::exit(0);
      },
      testing::ExitedWithCode(0), "ヤマダ");
  ASSERT_EQ(unsetenv("VCARD_DEBUG_LOG"), 0);
}

// --- UTF16_to_SJIS -------------------------------------------------------------------------

// A file holding the bytes, in a temporary folder of its own.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) : path_(folder_.file("source.vcf")) {
    testsupport::writeBytes(path_, bytes);
  }
  const std::string& path() const { return path_; }

 private:
  testsupport::TempDir folder_;
  std::string path_;
};

struct FileCase {
  std::string_view name;
  std::string bytes;
  const char* expected;  // null: no text
};

class UTF16ToSJISTest : public testing::TestWithParam<FileCase> {};

TEST_P(UTF16ToSJISTest, ReadsLittleEndianFileAsUTF8) {
  const FileCase& c = GetParam();
  const TempFile file(c.bytes);
  const OwnedCString text(UTF16_to_SJIS(nullptr, icu::UnicodeString::fromUTF8(file.path())));
  if (c.expected == nullptr) {
    EXPECT_EQ(text, nullptr);
    return;
  }
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text.get(), c.expected);
}

using namespace std::string_literals;
const FileCase kFileCases[] = {
    {"MarkIsDropped",
     "\xFF\xFE"
     "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n\0"s,
     "BEGIN:VCARD\r\n"},
    {"Japanese", "\xFF\xFE\x71\x5C\x30\x75"s, "山田"},  // U+5C71 U+7530
    {"NoMark", "A\0B\0"s, "AB"},
    {"OnlyMark", "\xFF\xFE"s, ""},
    {"Empty", ""s, ""},
    {"SecondMarkKept",
     "\xFF\xFE\xFF\xFE"
     "A\0"s,
     "\xEF\xBB\xBF"
     "A"},
    {"SurrogatePair", "\xFF\xFE\x42\xD8\xB7\xDF"s, "𠮷"},
    {"OddLength",
     "\xFF\xFE"
     "A\0B"s,
     nullptr},
    {"LoneSurrogate",
     "\xFF\xFE\x42\xD8"
     "A\0"s,
     nullptr},
};
INSTANTIATE_TEST_SUITE_P(Files, UTF16ToSJISTest, testing::ValuesIn(kFileCases), CaseName());

TEST(UTF16ToSJISTest, MissingFileGivesNull) {
  const char* buffer = "ignored";
  EXPECT_EQ(OwnedCString(UTF16_to_SJIS(buffer, u"/nonexistent/strutil/none.vcf")), nullptr);
}

// --- UTF8_to_UTF16 --------------------------------------------------------------------------

TEST(UTF8ToUTF16Test, PrefixesTheByteOrderMark) {
  struct Case {
    const char* text;
    std::u16string expected;
  };
  const Case cases[] = {
      {"", u"\uFEFF"},
      {"BEGIN:VCARD\r\n", u"\uFEFFBEGIN:VCARD\r\n"},
      {"山田ｶ", u"\uFEFF山田ｶ"},
      {"\xEF\xBB\xBF"
       "A",
       u"\uFEFF\uFEFFA"},
      {"𠮷", u"\uFEFF𠮷"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto result = UTF8_to_UTF16(c.text);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(*result,
              icu::UnicodeString(c.expected.data(), static_cast<std::int32_t>(c.expected.size())));
  }
}

TEST(UTF8ToUTF16Test, RefusesInvalidUTF8) {
  EXPECT_EQ(UTF8_to_UTF16("a\xFF"), nullptr);
  EXPECT_EQ(UTF8_to_UTF16(nullptr), nullptr);
}

// --- GetCharset -------------------------------------------------------------------------------

struct CharsetCase {
  std::string_view name;
  std::vector<std::uint8_t> bytes;
  std::int32_t expected;
};

class GetCharsetTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(GetCharsetTest, GuessesFromBytePatterns) {
  const CharsetCase& c = GetParam();
  EXPECT_EQ(GetCharset(c.bytes.data(), c.bytes.size()), c.expected);
}

const CharsetCase kCharsetCases[] = {
    {"Empty", {}, 0},
    {"Utf16Ascii", {0x41, 0x00, 0x42, 0x00}, 3},
    {"ZeroFirst", {0x00, 0x41}, -1},
    {"ZeroLast", {0x41, 0x00}, -1},
    {"ZeroAfterHighByte", {0x82, 0x00, 0x41}, -1},
    {"ControlByte", {0x41, 0x05, 0x42}, -1},
    {"DeleteByte", {0x7F}, -1},
    {"FFByte", {0x41, 0xFF}, -1},
    {"Utf16AfterEarlierControl", {0x01, 0x41, 0x00, 0x42}, 3},
    {"PrintableAscii", {'A', 'B', 'C'}, 0},
    {"AsciiWithCrLf", {'A', 'B', 'C', 0x0D, 0x0A}, 0},
    {"JisEscape", {0x1B, 0x24, 0x42, 'A', 'B'}, 1},
    {"JisRomanEscape", {0x1B, 0x28, 0x4A, 'x'}, 1},
    {"JisKatakanaEscape", {0x1B, 0x28, 0x49}, 1},
    {"JisX0212Escape", {0x1B, 0x24, 0x28, 0x44}, 1},
    {"JisX0208_1990Escape", {0x1B, 0x26, 0x40, 0x1B, 0x24, 0x42}, 1},
    {"TruncatedEscape", {'a', 0x1B, 0x24}, 0},
    {"ShiftJIS", {0x82, 0xA0}, 0},
    {"Utf8", {0xE3, 0x81, 0x82}, 4},
    {"EucJP", {0xA4, 0xA2}, 2},
    {"EucJPThreeByte", {0x8F, 0xA1, 0xA1}, 2},
    {"SingleHighByte", {0x80}, 0},
    {"Utf8TwoByte", {0x41, 0xC2, 0x80}, 4},
    {"ShiftJISText", {0x8E, 0x52, 0x93, 0x63}, 0},  // 山田
    {"TieGoesToZero", {0xE0, 0xA1}, 0},
};
INSTANTIATE_TEST_SUITE_P(Buffers, GetCharsetTest, testing::ValuesIn(kCharsetCases), CaseName());

}  // namespace
