// End-to-end: each source file under tests/data/engine is converted and its
// output compared byte for byte with the expected text beside it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "convert.h"
#include "param_names.h"
#include "test_support.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::TempDir;

constexpr std::string_view kCannotRead = testsupport::kCannotReadAlert;
constexpr std::string_view kUnsupported = testsupport::kUnsupportedEncodingAlert;
constexpr std::string_view kFailed = testsupport::kFailedLog;
constexpr std::string_view kNoOutput = testsupport::kNoOutputLog;

std::string done(int in, int out) {
  return testsupport::successLog(static_cast<std::uint64_t>(in), static_cast<std::uint64_t>(out));
}

struct GoldenCase {
  std::string_view name;  // <name>.vcf is the source, <name>.ref the expected output
  std::string_view alert;
  std::string log;
  bool outputExpected;  // false: the output path must stay untouched
};

const GoldenCase kGoldenCases[] = {
    {"sjis_road", "", done(1, 1), true},
    {"utf8_nobom", "", done(1, 1), true},
    {"utf8_bom", "", done(1, 1), true},
    {"utf16le_bom", "", done(1, 1), true},
    {"utf16le_nobom", "", done(1, 1), true},
    {"utf16le_bom_zero_first", "", done(1, 1), true},
    {"utf16le_bom_ill_formed", "", done(2, 2), true},
    {"utf16be_nobom", "", done(1, 1), true},
    {"utf16be_nobom_ascii", "", done(1, 1), true},
    {"utf16be_bom", "", done(1, 1), true},
    {"sjis_cr_line_ends", "", done(2, 2), true},
    {"empty", "", std::string(kNoOutput), false},
    {"qp_soft_breaks", "", done(1, 1), true},
    {"folded", "", done(1, 1), true},
    {"photo_base64", "", done(2, 2), true},
    {"lowercase_begin_end", "", done(2, 2), true},
    {"rejected_cards", "", done(7, 6), true},
    {"three_cards_one_rejected", "", done(3, 2), true},
    {"email_types", "", done(1, 1), true},
    {"many_addresses", "", done(1, 1), true},
    {"no_end", "", std::string(kNoOutput), false},
    {"structure", "", done(3, 3), true},
    {"sjis_stray_nul", "", done(2, 2), true},
    {"western_undeclared", "", done(1, 1), true},
    {"rejected_cards_unknown", "", done(3, 1), true},
    {"fidelity", "", done(6, 6), true},
    {"utf8_qp_undeclared", "", done(1, 1), true},
    {"ascii_qp_undeclared", "", done(1, 1), true},
    {"undecodable", kCannotRead, std::string(kFailed), false},
};

class GoldenFileTest : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenFileTest, ConvertsToExpectedBytesAndResult) {
  const GoldenCase& c = GetParam();
  const std::string dataDir = std::string(TEST_DATA_DIR) + "/engine/";
  TempDir dir;
  const std::string source = dir.file("source.vcf");
  const std::string output = dir.file("PC→iPhone.vcf");
  const std::string sourceBytes = testsupport::readBytes(dataDir + std::string(c.name) + ".vcf");
  testsupport::writeBytes(source, sourceBytes);

  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], c.alert);
  EXPECT_EQ(result[1], c.log);
  EXPECT_EQ(testsupport::readBytes(source), sourceBytes) << "the source must never change";
  if (!c.outputExpected) {
    EXPECT_FALSE(testsupport::exists(output));
    return;
  }
  const std::string expected = testsupport::readBytes(dataDir + std::string(c.name) + ".ref");
  enginetest::expectSameOutput(testsupport::readBytes(output), enginetest::outputForm(expected));
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenFileTest, testing::ValuesIn(kGoldenCases), CaseName());

// One card around the given lines, CR LF ends.
std::string cardOf(const std::string& lines) {
  return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + lines + "END:VCARD\r\n";
}

struct UndeclaredCase {
  std::string_view name;
  std::string source;    // the file's bytes
  std::string expected;  // the output as UTF-8 with LF line ends
  bool japaneseText;     // what the loader found in the file
  std::uint64_t privateUseLeft;
};

// Quoted-printable values without a charset: Shift_JIS where the file or the
// value shows Japanese, else UTF-8 or the file's Western charset.
const UndeclaredCase kUndeclaredCases[] = {
    // F1: "ñ" in windows-1252, which an ASCII file gets; F173 would be a
    // user-defined Shift_JIS code.
    {"WesternLetterInAsciiFile", cardOf("N;ENCODING=QUOTED-PRINTABLE:Iksi=F1ski;Jan;;;\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:Iksiñski;Jan;;;\nEND:VCARD\n", false, 0},
    // The file's plain values are windows-1250 ("Gda\xF1sk", "\xA3\xF3d\x9F": Gdańsk,
    // Łódź), as one label says: F1 is "ń" there.
    {"WesternLetterInDeclaredWindows1250File",
     cardOf("N;ENCODING=QUOTED-PRINTABLE:Iksi=F1ski;Jan;;;\r\nNOTE:Gda\xF1sk\r\n"
            "ORG;CHARSET=WINDOWS-1250:\xA3\xF3\x64\x9F\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:Iksiński;Jan;;;\nNOTE:Gdańsk\nORG:Łódź\nEND:VCARD\n", false, 0},
    // A UTF-8 file without Japanese ("M\xC3\xBCller": Müller): windows-1252 too.
    {"WesternLetterInUTF8File",
     cardOf("N;ENCODING=QUOTED-PRINTABLE:Iksi=F1ski;Jan;;;\r\nNOTE:M\xC3\xBCller\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:Iksiñski;Jan;;;\nNOTE:Müller\nEND:VCARD\n", false, 0},
    // F8 9F without a phone's mark: "ø" and "Ÿ" in windows-1252.
    {"UserDefinedCodeWithoutPhoneMark", cardOf("NOTE;ENCODING=QUOTED-PRINTABLE:=F8=9F\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nNOTE:øŸ\nEND:VCARD\n", false, 0},
    // 52 C3 BC 63 6B 65 72: "Rücker" in UTF-8.
    {"UTF8InAsciiFile", cardOf("N;ENCODING=QUOTED-PRINTABLE:=52=C3=BC=63=6B=65=72;Anna;;;\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:Rücker;Anna;;;\nEND:VCARD\n", false, 0},
    // E9 65 and E4 73 pair as Shift_JIS kanji, but each stands alone between
    // Latin letters: "Renée", "Käse" in windows-1252.
    {"WesternAccentsThatPairAsKanji",
     cardOf("N;ENCODING=QUOTED-PRINTABLE:Dupr=E9;Ren=E9e;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE:K="
            "E4se\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:Dupré;Renée;;;\nNOTE:Käse\nEND:VCARD\n", false, 0},
    // 97 D1, 88 EA: "林", "一", one kanji each; 8A 94 8E AE 89 EF 8E D0:
    // "株式会社" after Latin letters. Both read as Japanese.
    {"SingleKanjiAndKanjiWordsInAsciiFile",
     cardOf("N;ENCODING=QUOTED-PRINTABLE:=97=D1;=88=EA;;;\r\n"
            "ORG;ENCODING=QUOTED-PRINTABLE:ABC=8A=94=8E=AE=89=EF=8E=D0\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:林;一;;;\nORG:ABC株式会社\nEND:VCARD\n", false, 0},
    // 83 4A 83 5E: "カタ" in Shift_JIS.
    {"ShiftJISJapaneseInAsciiFile", cardOf("N;ENCODING=QUOTED-PRINTABLE:=83=4A=83=5E;;;;\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:カタ;;;;\nEND:VCARD\n", false, 0},
    // A Shift_JIS file ("\x93\x8C\x8B\x9E": 東京): 8E 52 93 63 is "山田", and
    // 52 C3 BC 63 6B 65 72, well-formed UTF-8, is still Shift_JIS "Rﾃｼcker" (its kana folded to
    // full width).
    {"ShiftJISFile",
     cardOf("N;ENCODING=QUOTED-PRINTABLE:=8E=52=93=63;;;;\r\nORG:\x93\x8C\x8B\x9E\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE:=52=C3=BC=63=6B=65=72\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:山田;;;;\nORG:東京\nNOTE:Rテシcker\nEND:VCARD\n", true, 0},
    // Japanese in a UTF-8 file ("\xE6\x9D\xB1\xE4\xBA\xAC": 東京): F173 stays the
    // user-defined U+E0EF, and is told.
    {"UserDefinedCodeInJapaneseUTF8File",
     cardOf("N;ENCODING=QUOTED-PRINTABLE:Iksi=F1ski;;;;\r\nNOTE:\xE6\x9D\xB1\xE4\xBA\xAC\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:Iksi\uE0EFki;;;;\nNOTE:東京\nEND:VCARD\n", true, 1},
    // A Japanese charset named elsewhere in an ASCII file (8E 52: "山").
    {"JapaneseCharsetNamed",
     cardOf("N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=8E=52;;;;\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE:Iksi=F1ski\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nN:山;;;;\nNOTE:Iksi\uE0EFki\nEND:VCARD\n", true, 1},
    // docomo's sun (F8 9F) in an ASCII export of a docomo phone.
    {"PictogramInDocomoExport",
     cardOf("X-DCM-GROUP:1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=F8=9F\r\n"),
     "BEGIN:VCARD\nVERSION:2.1\nNOTE:\u2600\nEND:VCARD\n", true, 0},
};

class UndeclaredBytesTest : public testing::TestWithParam<UndeclaredCase> {};

TEST_P(UndeclaredBytesTest, ReadInTheCharsetTheFileShows) {
  const UndeclaredCase& c = GetParam();
  TempDir dir;
  const std::string source = dir.file("in.vcf");
  const std::string output = dir.file("out.vcf");
  testsupport::writeBytes(source, c.source);
  vcard::ConversionReport report;
  const auto result =
      vCardConvert(source.c_str(), output.c_str(), vcard::ConvertOptions{}, &report);
  EXPECT_EQ(result[0], "");
  enginetest::expectSameOutput(testsupport::readBytes(output), enginetest::outputForm(c.expected));
  EXPECT_EQ(report.source.japaneseText, c.japaneseText);
  EXPECT_EQ(report.privateUseLeft, c.privateUseLeft);
  // A Western letter is neither a private-use character nor a PC's glyph.
  if (c.privateUseLeft == 0) {
    const std::string told = vcard::reportText(report);
    EXPECT_EQ(told.find("私用領域"), std::string::npos) << told;
    EXPECT_EQ(told.find("外字"), std::string::npos) << told;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, UndeclaredBytesTest, testing::ValuesIn(kUndeclaredCases),
                         CaseName());

TEST(ConvertTest, MissingSourceLeavesOutputUntouched) {
  TempDir dir;
  const std::string output = dir.file("out.vcf");
  testsupport::writeBytes(output, "keep");
  const auto result = vCardConvert(dir.file("missing.vcf").c_str(), output.c_str());
  EXPECT_EQ(result[0], kCannotRead);
  EXPECT_EQ(result[1], kFailed);
  EXPECT_EQ(testsupport::readBytes(output), "keep");
}

TEST(ConvertTest, ReplacesAnExistingOutputFile) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  const std::string output = dir.file("out.vcf");
  testsupport::writeBytes(source, "BEGIN:VCARD\r\nEND:VCARD\r\n");
  testsupport::writeBytes(output, std::string(1000, 'x'));
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], "");
  enginetest::expectSameOutput(testsupport::readBytes(output),
                               enginetest::outputForm("BEGIN:VCARD\nEND:VCARD\n"));
}

TEST(ConvertTest, SecondRunReplacesPathsAndKeepsNothingFromTheFirst) {
  TempDir dir;
  const std::string first = dir.file("first.vcf");
  const std::string second = dir.file("second.vcf");
  testsupport::writeBytes(first, "BEGIN:VCARD\r\nVERSION:2.1\r\nN:First;;;;\r\nEND:VCARD\r\n");
  testsupport::writeBytes(second, "BEGIN:VCARD\r\nN:Second;;;;\r\n");
  const auto one = vCardConvert(first.c_str(), dir.file("out1.vcf").c_str());
  EXPECT_EQ(one[1], done(1, 1));
  const auto two = vCardConvert(second.c_str(), dir.file("out2.vcf").c_str());
  EXPECT_EQ(two[1], kNoOutput);
  EXPECT_STREQ(orgFile, second.c_str());
  EXPECT_STREQ(dstFile, dir.file("out2.vcf").c_str());
  EXPECT_FALSE(testsupport::exists(dir.file("out2.vcf"))) << "no card, no file";
}

TEST(ConvertTest, RefusesToWriteOverTheSourceItself) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  const std::string bytes = "BEGIN:VCARD\r\nN:Self;;;;\r\nEND:VCARD\r\n";
  testsupport::writeBytes(source, bytes);
  ASSERT_EQ(::link(source.c_str(), dir.file("b.vcf").c_str()), 0);
  for (const std::string& output : {source, dir.file("b.vcf"), dir.path() + "/./a.vcf"}) {
    SCOPED_TRACE(output);
    const auto result = vCardConvert(source.c_str(), output.c_str());
    EXPECT_EQ(result[0], testsupport::kSameFileAlert);
    EXPECT_EQ(result[1], kFailed);
    EXPECT_EQ(testsupport::readBytes(source), bytes);
  }
}

TEST(ConvertTest, ManyCardsAreCountedAndWrittenInOrder) {
  TempDir dir;
  std::string source;
  std::string expected;
  for (int i = 0; i < 1500; ++i) {
    const std::string n = "N:Card" + std::to_string(i) + ";;;;";
    source += "BEGIN:VCARD\r\nVERSION:2.1\r\n" + n + "\r\nEND:VCARD\r\n";
    expected += "BEGIN:VCARD\nVERSION:2.1\n" + n + "\nEND:VCARD\n";
  }
  testsupport::writeBytes(dir.file("many.vcf"), source);
  const auto result = vCardConvert(dir.file("many.vcf").c_str(), dir.file("out.vcf").c_str());
  EXPECT_EQ(result[1], done(1500, 1500));
  enginetest::expectSameOutput(testsupport::readBytes(dir.file("out.vcf")),
                               enginetest::outputForm(expected));
}

}  // namespace
