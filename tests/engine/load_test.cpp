// Source loading: byte-order marks, encoding opinions and the return codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "test_support.h"
#include "vcard.h"

namespace {

using enginetest::TempDir;
using namespace std::string_literals;

struct LoadCase {
  std::string_view name;
  std::string bytes;  // file content
  int code;
  std::string text;  // expected internal text when code is 0
};

const LoadCase kLoadCases[] = {
    {"EmptyFile", "", 0, ""},
    {"OnlyUTF8Mark", "\xEF\xBB\xBF", 0, ""},
    {"OnlyUTF16LEMark", "\xFF\xFE", 0, ""},
    {"BigEndianMarkAlone", "\xFE\xFF", -5, ""},
    {"BigEndianMarkWithText", "\xFE\xFF\x00\x42\x00\x45"s, -5, ""},
    // "N:あ" in UTF-8 without mark stays byte for byte.
    {"UTF8WithoutMark", "N:\xE3\x81\x82\r\n", 0, "N:\xE3\x81\x82\r\n"},
    {"AsciiOnly", "NOTE;ENCODING=QUOTED-PRINTABLE:=82=A0\n", 0,
     "NOTE;ENCODING=QUOTED-PRINTABLE:=82=A0\n"},
    {"UTF8AfterMark", "\xEF\xBB\xBFN:\xE3\x81\x82\n", 0, "N:\xE3\x81\x82\n"},
    // An ill-formed byte after the mark is repaired with U+FFFD (EF BF BD).
    {"IllFormedUTF8AfterMark",
     "\xEF\xBB\xBF"
     "a\xC3z",
     0, "a\xEF\xBF\xBDz"},
    // "BEGIN:VCARD" CR LF in UTF-16LE after its mark.
    {"UTF16LEWithMark",
     "\xFF\xFE"
     "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n\0"s,
     0, "BEGIN:VCARD\r\n"},
    // U+3000 first: its low byte is zero, so the text is empty.
    {"UTF16LEFirstByteZero",
     "\xFF\xFE\x00\x30"
     "A\0"s,
     0, ""},
    // "N:山田" and half-width "ｱ" in Shift_JIS; the katakana stays half-width.
    {"ShiftJIS", "N:\x8E\x52\x93\x63\xB1\r\n", 0, "N:\xE5\xB1\xB1\xE7\x94\xB0\xEF\xBD\xB1\r\n"},
    {"UTF8StopsAtZeroByte", "N:\xE3\x81\x82\0rest"s, 0, "N:\xE3\x81\x82"},
    {"ShiftJISStopsAtZeroByte", "\x82\xA0\r\n\0\x82\xA0"s, 0, "\xE3\x81\x82\r\n"},
    {"NeitherUTF8NorShiftJIS", "N:\x80\xFD\xFE\r\n", -4, ""},
    // A real UTF-16LE file without mark is decoded as such.
    {"UTF16LEWithoutMark", "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\n\0"s, 0, "BEGIN:VCARD\n"},
    {"UTF16LEWithoutMarkLowerCaseBegin", "b\0e\0g\0i\0n\0:\0v\0c\0a\0r\0d\0\n\0"s, 0,
     "begin:vcard\n"},
    // Zero bytes that do not make a vCard: read as Shift_JIS up to the NUL.
    {"StrayZeroBytesWithoutCard", "A\0B\0"s, 0, "A"},
    // Big-endian UTF-16 without mark (first unit U+30E1) is refused.
    {"UTF16BEWithoutMark", "\x30\xE1\0\n\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\n"s, -5, ""},
};

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, GivesCodeAndText) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.file("source.vcf");
  enginetest::writeBytes(path, c.bytes);
  char* text = nullptr;
  EXPECT_EQ(vCard_GetData(path.c_str(), &text), c.code);
  if (c.code == 0) {
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.text);
  } else {
    EXPECT_EQ(text, nullptr) << "the slot stays untouched on failure";
  }
  std::free(text);
}

INSTANTIATE_TEST_SUITE_P(Bytes, LoadTest, testing::ValuesIn(kLoadCases),
                         [](const testing::TestParamInfo<LoadCase>& param) {
                           return std::string(param.param.name);
                         });

TEST(LoadFailureTest, UnreadablePathsGiveMinusOne) {
  TempDir dir;
  for (const std::string& path : {dir.file("missing.vcf"), dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    char* text = nullptr;
    EXPECT_EQ(vCard_GetData(path.c_str(), &text), -1);
    EXPECT_EQ(text, nullptr);
  }
}

}  // namespace
