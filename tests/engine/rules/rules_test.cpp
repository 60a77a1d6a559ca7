// Recognition and rewrite rules: one property line of a card in, the line(s)
// the card is written with out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "test_support.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

struct Rewritten {
  std::string text;  // what the property wrote between the card's begin and end
  bool rejected;
};

// A card with Japanese text ahead of the card under test: the file reads as
// a Japanese export, whose undeclared quoted-printable bytes are Shift_JIS.
constexpr std::string_view kJapaneseCard = "BEGIN:VCARD\r\nN:山田;太郎\r\nEND:VCARD\r\n";

// Converts a card of BEGIN:VCARD, the given physical lines and END:VCARD,
// behind kJapaneseCard; the result is what the
// iPhone form holds between the card's begin and end lines, or that the card
// was left out.
Rewritten rewrite(const std::vector<std::string>& lines) {
  std::string text(kJapaneseCard);
  text += "BEGIN:VCARD\r\n";
  for (const std::string& line : lines)
    text.append(line).append("\r\n");
  text.append("END:VCARD\r\n");
  const enginetest::Converted converted = enginetest::convert(text);
  if (!converted.report.skipped.empty()) return Rewritten{"", true};
  if (converted.texts.size() != 1) {
    ADD_FAILURE() << "no card was written: " << converted.result[0] << converted.result[1];
    return {};
  }
  std::string written = converted.texts[0];
  if (!written.starts_with(kJapaneseCard)) {
    ADD_FAILURE() << "the first card changed: " << written;
    return {};
  }
  written.erase(0, kJapaneseCard.size());
  const std::string begin = "BEGIN:VCARD\r\n";
  const std::string end = "END:VCARD\r\n";
  if (written.starts_with(begin)) written.erase(0, begin.size());
  if (written.ends_with(end)) written.resize(written.size() - end.size());
  return Rewritten{written, false};
}

struct RuleCase {
  std::string_view name;
  std::vector<std::string> lines;
  std::string expected;  // nothing when the card is left out
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
    // FN is never written, but names a card that has no name of its own.
    {"FnNamesACardWithoutN", {"FN:山田 ﾀﾛｳ", "TEL:1"}, "TEL:1\r\nN:山田 タロウ;;;;\r\n", false},
    {"FnEscapedAsOneComponent", {"FN:A;B,C\\,D"}, "N:A\\;B\\,C\\,D;;;;\r\n", false},
    {"FnReplacesEmptyN", {"N:;;;;", "FN:x", "TEL:1"}, "TEL:1\r\nN:x;;;;\r\n", false},
    {"FnQuotedPrintable", {"FN;ENCODING=QUOTED-PRINTABLE:=82=A0"}, "N:あ;;;;\r\n", false},
    {"FnIgnoredBesideN", {"FN:x", "N:a;b;;;"}, "N:a;b;;;\r\n", false},
    {"EmptyNWithoutFnKept", {"N:;;;;"}, "N:;;;;\r\n", false},
    {"LabelOfACardWithoutAdrBecomesItsStreet",
     {"LABEL:x"},
     "item1.ADR:;;x;;;;\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"DroppedRev", {"REV:2020"}, "", false},
    // Grouped properties: recognised by their name; a label travels with its
    // property under the card's own numbering.
    {"GroupedEmailWithoutLabelAsUngrouped",
     {"item1.EMAIL;type=INTERNET:a@b"},
     "EMAIL;TYPE=HOME:a@b\r\n",
     false},
    {"GroupedTelWithLabelAfter",
     {"item1.TEL;type=CELL:1", "item1.X-ABLabel:_$!<Mobile>!$_"},
     "item1.TEL;type=CELL:1\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\n",
     false},
    {"GroupedUrlWithLabelBefore",
     {"item7.x-ablabel:Blog", "ITEM7.URL:http://x"},
     "item1.URL:http://x\r\nitem1.X-ABLabel:Blog\r\n",
     false},
    {"GroupedOtherEmailTakesSourceLabel",
     {"item1.EMAIL:a@b", "item1.X-ABLabel:Privat"},
     "item1.EMAIL:a@b\r\nitem1.X-ABLabel:Privat\r\n",
     false},
    {"GroupsNeverCollideWithOtherItems",
     {"EMAIL:a@b", "item1.TEL:1", "item1.X-ABLabel:L", "EMAIL:c@d"},
     "item1.EMAIL:a@b\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"
     "item3.TEL:1\r\nitem3.X-ABLabel:L\r\n"
     "item2.EMAIL:c@d\r\nitem2.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"SharedGroupEachGetsItsOwnItem",
     {"item1.EMAIL;type=INTERNET:a@b", "item1.TEL:1", "item1.X-ABLabel:L"},
     "item1.EMAIL;TYPE=HOME:a@b\r\nitem1.X-ABLabel:L\r\nitem2.TEL:1\r\nitem2.X-ABLabel:L\r\n",
     false},
    {"EmptyLabelIsNoLabel",
     {"item1.EMAIL;type=INTERNET:a@b", "item1.X-ABLabel:"},
     "EMAIL;TYPE=HOME:a@b\r\n",
     false},
    {"GroupedUnknownPropertyDropped",
     {"item1.X-ABUID:2000-01-01", "item1.X-ABLabel:_$!<Anniversary>!$_"},
     "",
     false},
    {"UngroupedLabelDropped", {"X-ABLabel:x"}, "", false},
    {"LineWithoutColon", {"NOCOLON"}, "", false},
    {"EmptyValueNotWritten", {"NOTE:"}, "", false},
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
    {"Version50Rejects", {"VERSION:5.0"}, "", true},
    // Any charset ICU knows is accepted; its label is dropped with the others.
    {"CharsetIso2022AcceptedOnPlainValue", {"N;CHARSET=ISO-2022-JP:x"}, "N:x\r\n", false},
    {"CharsetUTF8Accepted", {"N;CHARSET=UTF-8:x"}, "N:x\r\n", false},
    {"CharsetShiftHyphenJisAccepted", {"N;CHARSET=Shift-JIS:x"}, "N:x\r\n", false},
    {"CharsetUsAsciiAccepted", {"N;CHARSET=us-ascii:Smith;John"}, "N:Smith;John\r\n", false},
    {"UnknownCharsetRejects", {"N;CHARSET=X-NO-SUCH:x"}, "", true},
    {"Encoding8BitAccepted", {"NOTE;ENCODING=8BIT:x"}, "NOTE:x\r\n", false},
    {"Encoding7BitAccepted", {"NOTE;encoding=7bit:x"}, "NOTE:x\r\n", false},
    {"UnknownEncodingRejects", {"NOTE;ENCODING=X-UUENCODE:x"}, "", true},
    {"QuotedPrintableLatin1",
     {"NOTE;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller"},
     "NOTE:Müller\r\n",
     false},
    {"QuotedPrintableWindows1252",
     {"NOTE;CHARSET=windows-1252;ENCODING=QUOTED-PRINTABLE:=93x=94"},
     "NOTE:“x”\r\n",
     false},
    // Parameters are judged by their own name and value.
    {"BlanksAroundEquals",
     {"NOTE;ENCODING = QUOTED-PRINTABLE;charset = utf-8:=E3=81=82"},
     "NOTE:あ\r\n",
     false},
    // ...and is written as it came, as every parameter that declares nothing.
    {"CharsetWordInsideAnotherParameterDeclaresNothing",
     {"NOTE;X-FROM=UTF-8-EXPORT;ENCODING=QUOTED-PRINTABLE:=82=A0"},
     "NOTE;X-FROM=UTF-8-EXPORT:あ\r\n",
     false},
    {"BareQuotedPrintableWord", {"NOTE;QUOTED-PRINTABLE:=82=A0"}, "NOTE:あ\r\n", false},
    {"BareEightBitWordLeftOut", {"NOTE;8BIT:abc"}, "NOTE:abc\r\n", false},
    // No CR or LF in the output that is not part of a CR LF line end.
    {"QuotedPrintableLoneBreaksFolded",
     {"ADR;ENCODING=QUOTED-PRINTABLE:;;Main St 2=0A12345 Ulm;x=0Dy;;;"},
     "item1.ADR:;;Main St 2\r\n 12345 Ulm;x\r\n y;;;\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n",
     false},
    {"PlainLoneCrFolded", {"NOTE:a\rb"}, "NOTE:a\r\n b\r\n", false},
    // A SOUND that holds audio or a link is no reading.
    {"SoundWaveDropped", {"SOUND;ENCODING=BASE64;TYPE=WAVE:UklGRg=="}, "", false},
    {"SoundBase64Dropped", {"SOUND;ENCODING=b:UklGRg=="}, "", false},
    {"SoundAiffWordDropped", {"SOUND;AIFF:x"}, "", false},
    {"SoundUrlDropped", {"SOUND;VALUE=URL:http://x/a.wav"}, "", false},
    {"SoundReadingKept",
     {"SOUND;X-IRMC-N:ﾔﾏﾀﾞ;ﾀﾛｳ"},
     "X-PHONETIC-LAST-NAME:ヤマダ\r\nX-PHONETIC-FIRST-NAME:タロウ\r\n",
     false},
    // No half-width sound mark reaches the output.
    {"HalfWidthMarksFolded", {"N:ﾜﾞｲﾝ;ｱﾞ;;;"}, "N:ヷイン;ア゛;;;\r\n", false},
    // Rules that write their own head cannot keep a Base64 label: the text is
    // written decoded. Other properties keep Base64 as it came.
    {"Base64EmailDecoded",
     {"EMAIL;INTERNET;ENCODING=BASE64:YUBi"},
     "EMAIL;TYPE=HOME:a@b\r\n",
     false},
    {"Base64ShiftJisAddressDecoded",
     {"ADR;WORK;ENCODING=BASE64;CHARSET=SHIFT_JIS:OzuTjIuek3M="},
     "ADR;TYPE=WORK:;;東京都\r\n",
     false},
    {"Base64VersionJudgedDecoded", {"VERSION;ENCODING=BASE64:Mi4x"}, "VERSION:2.1\r\n", false},
    {"Base64VersionUnsupported", {"VERSION;ENCODING=BASE64:NC4w"}, "", true},
    {"UnknownCharsetOnDroppedPropertyAccepted", {"ROLE;CHARSET=ISO-8859-1:x"}, "", false},
    {"PhotoBase64KeepsEverything",
     {"PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA", " BBBB"},
     "PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA\r\n BBBB\r\n",
     false},
    // vCard 2.1 Base64 lines without a leading blank, up to the blank line
    // or the next property line, are the value.
    {"PhotoUnindentedDataJoined",
     {"PHOTO;ENCODING=BASE64;TYPE=JPEG:", "AAAA", "BB==", "", "TEL:1"},
     "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n AAAA\r\n BB==\r\nTEL:1\r\n",
     false},
    {"PhotoDataEndsAtPropertyLine",
     {"PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA", "BBBB", "TEL:1"},
     "PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA\r\n BBBB\r\nTEL:1\r\n",
     false},
    {"BareDataAfterPlainPropertyDropped", {"NOTE:x", "AAAA"}, "NOTE:x\r\n", false},
    // A soft line break never swallows the card's end line.
    {"SoftBreakBeforeEndLine", {"NOTE;ENCODING=QUOTED-PRINTABLE:abc="}, "NOTE:abc\r\n", false},
    // "Street\" and an unindented line: the escaped break is a line break of
    // the value.
    {"EscapedLineBreakJoinsNextLine",
     {"ADR;HOME:;;Street 1\\", "Box 9;City;;1;DE", "TEL:1"},
     "ADR;TYPE=HOME:;;Street 1\r\n Box 9;City;;1;DE\r\nTEL:1\r\n",
     false},
    {"EscapedBreakBeforeEmptyLineStays", {"NOTE:a\\", "", "TEL:1"}, "NOTE:a\\\r\nTEL:1\r\n", false},
    {"EscapedBackslashIsNoBreak", {"NOTE:C:\\\\", "AAAA"}, "NOTE:C:\\\\\r\n", false},
    {"OtherParametersKeptInOrder",
     {"TEL;PREF;CHARSET=UTF-8;VOICE:1"},
     "TEL;PREF;VOICE:1\r\n",
     false},
    // UTF-7 "+AAA-" is U+0000: a value ends there, before or after a line
    // break of its own, folded to full width (NOTE) or not (URL).
    {"DecodedZeroEndsValue",
     {"NOTE;CHARSET=UTF-7;ENCODING=QUOTED-PRINTABLE:a+AAA-b=0D=0Ac",
      "URL;CHARSET=UTF-7;ENCODING=QUOTED-PRINTABLE:a+AAA-b=0D=0Ac",
      "URL;CHARSET=UTF-7;ENCODING=QUOTED-PRINTABLE:x=0D=0Ay+AAA-b"},
     "NOTE:a\r\nURL:a\r\nURL:x\r\n y\r\n",
     false},
};

class RuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(RuleTest, RewritesProperty) {
  const RuleCase& c = GetParam();
  const Rewritten result = rewrite(c.lines);
  EXPECT_EQ(result.text, c.expected);
  EXPECT_EQ(result.rejected, c.rejected);
}

INSTANTIATE_TEST_SUITE_P(Lines, RuleTest, testing::ValuesIn(kRuleCases), CaseName());

TEST(ItemLimitTest, ItemsAreNumberedOnPastNinetyNine) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 101; ++i)
    lines.push_back("EMAIL:u" + std::to_string(i) + "@x");
  lines.push_back("EMAIL;WORK:w@x");
  lines.push_back("ADR;HOME:;;h;;;;");
  const Rewritten result = rewrite(lines);
  EXPECT_NE(result.text.find("item99.EMAIL:u99@x\r\nitem99.X-ABLabel:_$!<Other>!$_\r\n"),
            std::string::npos);
  EXPECT_NE(result.text.find("item101.EMAIL:u101@x\r\nitem101.X-ABLabel:_$!<Other>!$_\r\n"),
            std::string::npos);
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

INSTANTIATE_TEST_SUITE_P(Lists, EmailOnlyTest, testing::ValuesIn(kEmailOnlyCases), CaseName());

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

INSTANTIATE_TEST_SUITE_P(Values, StrConvertTest, testing::ValuesIn(kConvertCases), CaseName());

}  // namespace
