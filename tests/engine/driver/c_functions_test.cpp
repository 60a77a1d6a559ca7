// The engine's C functions over the one conversion path, and the writer's
// UTF-16LE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "param_names.h"
#include "platform.h"
#include "test_support.h"
#include "vcard.h"
#include "write/output.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

// Lines whose property nobody takes leave the card as it was; recognised
// names in any letter case, and names behind escapes, are told apart from them.
struct LineCase {
  const char* name;
  const char* line;
  bool changesCard;
};

const LineCase kLineCases[] = {
    {"DroppedName", "FN:Taro", false},
    {"DroppedWithParameters", "fn;charset=shift_jis:x", false},
    {"DroppedExtension", "X-GNO:6", false},
    {"RecognisedLowerCase", "tel;cell:1", true},
    {"RecognisedMixedCase", "NoTe:a", true},
    {"RecognisedEmptyValue", "N:", true},
    {"EscapedSemicolonJoinsName", "TEL\\;X:1", false},
    {"EscapedColonJoinsName", "N\\:X;Y:z", false},
    {"LeadingSemicolonEmptyName", ";N:x", false},
    {"NameOnly", "TEL", false},
    {"NonAsciiName", "Ｎ:x", false},
    {"VersionRecognised", "version:2.1", true},
};

class IgnoredLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(IgnoredLineTest, ChangesTheCardOnlyForRecognisedNames) {
  const LineCase& c = GetParam();
  VCARDLIST list{0, nullptr};
  PROPERTY begin{};
  ASSERT_EQ(vCard_RecogData("BEGIN:VCARD", "", &begin, &list), 0);
  ASSERT_EQ(list.cardCount, 1U);
  const std::string before = list.cardArray[0].cardText;
  PROPERTY prop{};
  EXPECT_EQ(vCard_RecogData(c.line, "", &prop, &list), 0);
  EXPECT_EQ(std::string(list.cardArray[0].cardText) != before, c.changesCard);
  EXPECT_EQ(prop.isTarget != 0, c.changesCard);
  EXPECT_EQ(list.cardArray[0].isError, 0);
  vCard_ReleaseData(&list, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Lines, IgnoredLineTest, testing::ValuesIn(kLineCases), CaseName());

// The output writer's UTF-16LE against the platform's encoder.
struct EncodeCase {
  const char* name;
  std::string utf8;
};

const EncodeCase kEncodeCases[] = {
    {"Empty", ""},
    {"Ascii", "BEGIN:VCARD\r\n"},
    {"TwoByte", "é ß ©"},
    {"ThreeByte", "山田 ﾔﾏﾀﾞ ・"},
    {"Astral", "😀𠮷"},
    {"MarkInside",
     "\xEF\xBB\xBF"
     "a"},
    {"IllFormed", "a\xC3"},
    {"EncodedSurrogate", "\xED\xA0\x80"},
    {"Overlong", "\xC0\xAF"},
    {"OverlongThreeByte", "\xE0\x80\x80"},
    {"OverlongFourByte", "\xF0\x80\x80\x80"},
    {"AboveUnicode", "\xF4\x90\x80\x80"},
    {"LastCharacter", "\xF4\x8F\xBF\xBF"},
    {"TruncatedFourByte", "ok\xF0\x9F\x98"},
    {"LoneContinuation",
     "a\x80"
     "b"},
    {"AfterGoodText", "山田太郎\xFF"},
};

class OutputEncodingTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(OutputEncodingTest, MatchesThePlatformEncoder) {
  const EncodeCase& c = GetParam();
  std::string direct = "prefix";
  const bool ok = vcard::detail::appendUTF16LE(c.utf8, &direct);
  const auto text = platform::fromUTF8(c.utf8);
  ASSERT_EQ(ok, text.has_value());
  if (!ok) {
    EXPECT_EQ(direct, "prefix");
    return;
  }
  EXPECT_EQ(direct, "prefix" + platform::encode(*text, platform::Encoding::UTF16LE).value());
}

INSTANTIATE_TEST_SUITE_P(Texts, OutputEncodingTest, testing::ValuesIn(kEncodeCases), CaseName());

// A card the C functions end at its END line is written as the conversion
// writes it: the same bytes vCardConvert gives for a file of the same lines.
struct EndCase {
  const char* name;
  std::vector<std::string> lines;
};

const EndCase kEndCases[] = {
    {"Plain",
     {"BEGIN:VCARD", "VERSION:2.1", "N:Yamada;Taro", "TEL;CELL:090-1234-5678",
      "EMAIL;INTERNET:taro@example.com", "NOTE:\xE5\xB1\xB1\xE7\x94\xB0", "END:VCARD"}},  // 山田
    {"EndLineAsWritten", {"BEGIN:VCARD", "VERSION:3.0", "N:A;B", "end:vcard  "}},
    {"RejectedThenWritten",
     {"BEGIN:VCARD", "VERSION:5.0", "N:A;B", "END:VCARD", "BEGIN:VCARD", "VERSION:3.0", "N:C;D",
      "END:VCARD"}},
    {"SecondEndChangesNothing", {"BEGIN:VCARD", "VERSION:3.0", "N:A;B", "END:VCARD", "END:VCARD"}},
};

class EndCardTest : public testing::TestWithParam<EndCase> {};

TEST_P(EndCardTest, WritesTheCardAsTheConversionDoes) {
  const EndCase& c = GetParam();
  const testsupport::TempDir dir;
  const std::string written = dir.file("c.vcf");
  ASSERT_EQ(Output_CreateFile(written.c_str()), 1);
  VCARDLIST list{0, nullptr};
  std::string source;
  for (const std::string& line : c.lines) {
    PROPERTY prop{};
    EXPECT_EQ(vCard_RecogData(line.c_str(), written.c_str(), &prop, &list), 0);
    std::free(prop.propText);
    source += line + "\r\n";
  }
  vCard_ReleaseData(&list, nullptr);

  const std::string in = dir.file("in.vcf");
  const std::string converted = dir.file("out.vcf");
  testsupport::writeBytes(in, source);
  const auto result = vCardConvert(in.c_str(), converted.c_str());
  ASSERT_EQ(result[0], "");
  EXPECT_EQ(testsupport::readBytes(written), testsupport::readBytes(converted));
}

INSTANTIATE_TEST_SUITE_P(Cards, EndCardTest, testing::ValuesIn(kEndCases), CaseName());

}  // namespace
