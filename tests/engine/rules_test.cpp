// Recognition and rewrite rules: one property line of an open card in, the
// line(s) appended to the card out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"
#include "vcard.h"

namespace {

struct Rewritten {
  std::string text;  // what the property appended to the card
  bool rejected;
};

// Feeds BEGIN:VCARD and then the given physical lines through the line
// assembly and the recognition, the way the line loop does.
Rewritten rewrite(const std::vector<std::string>& lines) {
  VCARDLIST list{0, nullptr};
  PROPERTY begin{};
  vCard_RecogData("BEGIN:VCARD", "", &begin, &list);
  PROPERTY prop{};
  for (std::size_t i = 0; i <= lines.size(); ++i) {
    vCard_CheckLine(i < lines.size() ? lines[i].c_str() : nullptr, &prop);
    if (prop.lineStatus == PROP_DONE || prop.lineStatus == PROP_DONE_REREAD) {
      vCard_RecogData(prop.propText, "", &prop, &list);
      std::free(prop.propText);
      const bool reread = prop.lineStatus == PROP_DONE_REREAD;
      prop = PROPERTY{};
      if (reread) --i;
    }
  }
  std::free(prop.propText);
  Rewritten result{std::string(list.cardArray[0].cardText).substr(13),
                   list.cardArray[0].isError != 0};
  vCard_ReleaseData(&list, nullptr);
  return result;
}

struct RuleCase {
  std::string_view name;
  std::vector<std::string> lines;
  std::string expected;
  bool rejected;
};

const RuleCase kRuleCases[] = {
    {"NameLosesCharset", {"N;CHARSET=SHIFT_JIS:山田;太郎;;;"}, "N:山田;太郎;;;\r\n", false},
    {"QuotedPrintableShiftJIS",
     {"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=SHIFT_JIS:=82=A0"},
     "NOTE:あ\r\n",
     false},
    {"QuotedPrintableWithoutCharsetIsShiftJIS",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:=82=A0"},
     "NOTE:あ\r\n",
     false},
    {"QuotedPrintableUTF8",
     {"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E3=81=82"},
     "NOTE:あ\r\n",
     false},
    {"QuotedPrintableLineBreakFolded",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab"},
     "NOTE:a\r\n b\r\n",
     false},
    // Bytes that are not Shift_JIS become U+FFFD; the rest of the value stays.
    {"QuotedPrintableBadShiftJIS",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:x=FFy=82=A0"},
     "NOTE:x\xEF\xBF\xBDyあ\r\n",
     false},
    {"TelUnchanged", {"TEL;CELL:090-0000-0000"}, "TEL;CELL:090-0000-0000\r\n", false},
    {"TelTypesUnchanged",
     {"TEL;TYPE=HOME;TYPE=VOICE:03"},
     "TEL;TYPE=HOME;TYPE=VOICE:03\r\n",
     false},
    {"SoundFoldedToFullWidth",
     {"SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:ﾔﾏﾀﾞ;ﾀﾛｳ;;;"},
     "X-PHONETIC-LAST-NAME:ヤマダ\r\nX-PHONETIC-FIRST-NAME:タロウ\r\n",
     false},
    {"SortStringSingleValue",
     {"SORT-STRING:やまだ"},
     "X-PHONETIC-LAST-NAME:やまだ\r\nX-PHONETIC-FIRST-NAME:\r\n",
     false},
    {"HalfWidthKeptInTel", {"TEL:ｱ"}, "TEL:ｱ\r\n", false},
    {"HalfWidthKeptInUrl", {"URL:ｱ"}, "URL:ｱ\r\n", false},
    {"HalfWidthKeptInBday", {"BDAY:ｱ"}, "BDAY:ｱ\r\n", false},
    {"HalfWidthFoldedInOrg", {"ORG:ｱﾊﾟｰﾄ"}, "ORG:アパート\r\n", false},
    {"NameIsCaseInsensitive", {"note:ｱ"}, "note:ア\r\n", false},
    {"PhoneticNameWrittenDirectly",
     {"X-PHONETIC-FIRST-NAME:ﾀﾛｳ"},
     "X-PHONETIC-FIRST-NAME:タロウ\r\n",
     false},
    {"DroppedFn", {"FN:山田太郎"}, "", false},
    {"DroppedLabel", {"LABEL:x"}, "", false},
    {"DroppedRev", {"REV:2020"}, "", false},
    {"DroppedGroupedEmail", {"item1.EMAIL;type=INTERNET:a@b"}, "", false},
    {"LineWithoutColon", {"NOCOLON"}, "", false},
    {"EmptyValueKept", {"NOTE:"}, "NOTE:\r\n", false},
    {"EmailInternetIsHome", {"EMAIL;INTERNET:a@b"}, "EMAIL;TYPE=HOME:a@b\r\n", false},
    {"EmailTypeInternetIsHome", {"EMAIL;TYPE=INTERNET:a@b"}, "EMAIL;TYPE=HOME:a@b\r\n", false},
    {"EmailInternetAndCellIsOther",
     {"EMAIL;INTERNET;CELL:a@b"},
     "item1.EMAIL:a@b\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"EmailWithoutTypeIsOther",
     {"EMAIL:a@b"},
     "item1.EMAIL:a@b\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"EmailWorkBeforeHome", {"EMAIL;TYPE=WORK;TYPE=HOME:a@b"}, "EMAIL;TYPE=WORK:a@b\r\n", false},
    {"EmailPcsIsHome", {"EMAIL;PCS:a@b"}, "EMAIL;TYPE=HOME:a@b\r\n", false},
    {"ItemsShareOneCounter",
     {"EMAIL:a@b", "EMAIL:c@d", "ADR:;;x;;;;"},
     "item1.EMAIL:a@b\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"
     "item2.EMAIL:c@d\r\nitem2.X-ABLabel:_$!<Other>!$_\r\n"
     "item3.ADR:;;x;;;;\r\nitem3.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"AdrInternetIsOther",
     {"ADR;INTERNET:;;x;;;;"},
     "item1.ADR:;;x;;;;\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"AdrHomeFolded", {"ADR;HOME:;;ﾎﾝﾁｮｳ;;;;"}, "ADR;TYPE=HOME:;;ホンチョウ;;;;\r\n", false},
    {"Version21", {"VERSION:2.1"}, "VERSION:2.1\r\n", false},
    {"Version40Rejects", {"VERSION:4.0"}, "VERSION:4.0\r\n", true},
    {"CharsetIso2022Rejects", {"N;CHARSET=ISO-2022-JP:x"}, "N;CHARSET=ISO-2022-JP:x\r\n", true},
    {"CharsetUTF8Accepted", {"N;CHARSET=UTF-8:x"}, "N:x\r\n", false},
    // CheckCharset does not know the hyphenated spelling, and the parameter is
    // kept because it names no known charset.
    {"CharsetShiftHyphenJisRejects", {"N;CHARSET=Shift-JIS:x"}, "N;CHARSET=Shift-JIS:x\r\n", true},
    {"Encoding8BitRejects", {"NOTE;ENCODING=8BIT:x"}, "NOTE;ENCODING=8BIT:x\r\n", true},
    {"UnknownCharsetOnDroppedPropertyAccepted", {"LABEL;CHARSET=ISO-8859-1:x"}, "", false},
    {"PhotoBase64KeepsEverything",
     {"PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA", " BBBB"},
     "PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA\r\n BBBB\r\n",
     false},
    {"PhotoBareDataDropped",
     {"PHOTO;ENCODING=BASE64;TYPE=JPEG:", "AAAA"},
     "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n",
     false},
    {"OtherParametersKeptInOrder",
     {"TEL;PREF;CHARSET=UTF-8;VOICE:1"},
     "TEL;PREF;VOICE:1\r\n",
     false},
};

class RuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(RuleTest, RewritesProperty) {
  const RuleCase& c = GetParam();
  const Rewritten result = rewrite(c.lines);
  EXPECT_EQ(result.text, c.expected);
  EXPECT_EQ(result.rejected, c.rejected);
}

INSTANTIATE_TEST_SUITE_P(Lines, RuleTest, testing::ValuesIn(kRuleCases),
                         [](const testing::TestParamInfo<RuleCase>& param) {
                           return std::string(param.param.name);
                         });

TEST(ItemLimitTest, StopsAtNinetyNineButKeepsWorkAndHome) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 101; ++i)
    lines.push_back("EMAIL:u" + std::to_string(i) + "@x");
  lines.push_back("EMAIL;WORK:w@x");
  lines.push_back("ADR;HOME:;;h;;;;");
  const Rewritten result = rewrite(lines);
  EXPECT_NE(result.text.find("item99.EMAIL:u99@x\r\nitem99.X-ABLabel:_$!<Other>!$_\r\n"),
            std::string::npos);
  EXPECT_EQ(result.text.find("u100@x"), std::string::npos);
  EXPECT_EQ(result.text.find("item100"), std::string::npos);
  const std::string tail = "EMAIL;TYPE=WORK:w@x\r\nADR;TYPE=HOME:;;h;;;;\r\n";
  ASSERT_GE(result.text.size(), tail.size());
  EXPECT_EQ(result.text.substr(result.text.size() - tail.size()), tail);
}

struct EmailOnlyCase {
  std::string_view name;
  std::vector<const char*> list;
  const char* word;
  int expected;
};

const EmailOnlyCase kEmailOnlyCases[] = {
    {"OnlyInternet", {"EMAIL", "INTERNET"}, "INTERNET", 1},
    {"TypeInternetCounts", {"EMAIL", "type=internet"}, "INTERNET", 1},
    {"InternetWithCell", {"EMAIL", "INTERNET", "CELL"}, "INTERNET", 0},
    {"CellWithInternet", {"EMAIL", "INTERNET", "CELL"}, "CELL", 0},
    {"WordMissing", {"EMAIL", "X-FOO"}, "PCS", 0},
    {"OnlyPcs", {"EMAIL", "PCS"}, "PCS", 1},
    {"HomeWithWork", {"EMAIL", "HOME", "WORK"}, "HOME", 0},
};

class EmailOnlyTest : public testing::TestWithParam<EmailOnlyCase> {};

TEST_P(EmailOnlyTest, AnswersOnlyForALoneWord) {
  const EmailOnlyCase& c = GetParam();
  std::vector<char*> list;
  for (const char* entry : c.list)
    list.push_back(const_cast<char*>(entry));
  EXPECT_EQ(StrExistsEmailOnly(list.data(), list.size(), c.word), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Lists, EmailOnlyTest, testing::ValuesIn(kEmailOnlyCases),
                         [](const testing::TestParamInfo<EmailOnlyCase>& param) {
                           return std::string(param.param.name);
                         });

struct ConvertCase {
  std::string_view name;
  const char* value;
  std::uint64_t charset;
  std::uint64_t encoding;
  int halfToFull;
  std::string expected;
};

const ConvertCase kConvertCases[] = {
    {"PlainCopy", "abc", 0, 0, 0, "abc"},
    {"Base64NotDecoded", "QUJD", 0, 1, 0, "QUJD"},
    {"UnconvertedValueNotFolded", "a\r\nb", 0, 0, 0, "a\r\nb"},
    {"DecodedValueFolded", "a=0D=0Ab=0D=0A", 1, 2, 0, "a\r\n b\r\n "},
    {"DecodedZeroByteEndsValue", "ab=00cd", 1, 2, 0, "ab"},
    {"HalfWidthVoicedMarkJoined", "ｶﾞﾊﾟ", 0, 0, 1, "ガパ"},
    {"HalfWidthKeptWithoutFlag", "ｶﾞ", 0, 0, 0, "ｶﾞ"},
    {"IllFormedUTF8Repaired", "=E3=81", 2, 2, 0, "\xEF\xBF\xBD"},
};

class StrConvertTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(StrConvertTest, ConvertsValue) {
  const ConvertCase& c = GetParam();
  char* result = StrConvert(c.value, c.charset, c.encoding, c.halfToFull);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(std::string(result), c.expected);
  std::free(result);
}

INSTANTIATE_TEST_SUITE_P(Values, StrConvertTest, testing::ValuesIn(kConvertCases),
                         [](const testing::TestParamInfo<ConvertCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
