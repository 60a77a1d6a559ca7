// The conversion report: which card was left out, where, under what name and
// why; which properties were dropped; what was repaired in the file; and
// nothing at all for a file that lost nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert.h"
#include "files.h"
#include "param_names.h"
#include "test_support.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

using namespace std::string_literals;
using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::SkipReason;

// Text in UTF-16LE with its mark, one byte per character of ASCII text.
std::string utf16le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (const char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

struct Skip {
  std::uint64_t position;
  std::string name;
  SkipReason reason;
  std::string detail;
};

struct Dropped {
  std::string name;
  std::uint64_t count;
};

struct ReportCase {
  std::string name;
  std::string source;  // written as it stands
  std::vector<Skip> skipped;
  std::vector<Dropped> dropped;
};

// A card written in full, so that the cards around it are told apart.
const std::string kGoodCard = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Good;Card\r\nEND:VCARD\r\n";

const ReportCase kReportCases[] = {
    {"VersionFourWithItsValue",
     kGoodCard + "BEGIN:VCARD\r\nVERSION:5.0\r\nN:Doe;John;;;\r\nEND:VCARD\r\n",
     {{2, "Doe John", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {}},
    {"VersionAfterTheName",
     "BEGIN:VCARD\r\nN:山田;太郎\r\nVERSION:1.0\r\nEND:VCARD\r\n",
     {{1, "山田 太郎", SkipReason::UnsupportedVersion, "VERSION:1.0"}},
     {}},
    {"UnknownCharsetNamesParameterAndProperty",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Roe;Jane\r\nADR;HOME;CHARSET=X-NOWHERE:;;Main St\r\n"
     "END:VCARD\r\n" +
         kGoodCard,
     {{1, "Roe Jane", SkipReason::UnsupportedCharset, "ADR;CHARSET=X-NOWHERE"}},
     {}},
    {"UnknownEncodingOfAGroupedProperty",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Poe;Edgar\r\nitem1.TEL;ENCODING=X-ROT13:123\r\n"
     "END:VCARD\r\n",
     {{1, "Poe Edgar", SkipReason::UnsupportedEncoding, "TEL;ENCODING=X-ROT13"}},
     {}},
    // Every left-out property is named the same way, however it was found:
    // upper-cased and cut after 40 bytes.
    {"LongMadeUpNamesCutShort",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:a\r\nX-" + std::string(50, 'a') + ":1\r\nX-" +
         std::string(50, 'A') + ";TYPE=A:2\r\nEND:VCARD\r\n",
     {},
     {{"X-" + std::string(38, 'A') + "…", 2}}},
    {"FirstReasonIsTold",
     "BEGIN:VCARD\r\nVERSION:5.0\r\nN:Two;Faults\r\nNOTE;CHARSET=X-NOWHERE:x\r\nEND:VCARD\r\n",
     {{1, "Two Faults", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {}},
    {"NameFromFNWhenNoN",
     "BEGIN:VCARD\r\nVERSION:5.0\r\nFN:Solo Name\r\nEND:VCARD\r\n",
     {{1, "Solo Name", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {}},
    {"NoNameAtAll",
     "BEGIN:VCARD\r\nVERSION:5.0\r\nTEL:123\r\nEND:VCARD\r\n",
     {{1, "（名前なし）", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {}},
    {"QuotedPrintableNameIsDecoded",
     "BEGIN:VCARD\r\nVERSION:5.0\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=B1=B1=E7=94=B0;"
     "=E8=8A=B1=E5=AD=90\r\nEND:VCARD\r\n",
     {{1, "山田 花子", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {}},
    {"CardCutOffAtTheEnd",
     kGoodCard + kGoodCard + "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Cut;Off\r\nTEL:1",
     {{3, "Cut Off", SkipReason::NeverClosed, ""}},
     {}},
    {"CardCutOffNamedByFN",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Only FN\r\n",
     {{1, "Only FN", SkipReason::NeverClosed, ""}},
     {}},
    {"PropertiesLeftOutCountedByName",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:A;B\r\nX-GN:g\r\nROLE:l1\r\nitem1.ROLE:l2\r\nx-gn:h\r\n"
     "SOUND;WAVE;ENCODING=BASE64:AAAA\r\n\r\nFN:A B\r\nitem2.X-ABLabel:_$!<Home>!$_\r\n"
     "END:VCARD\r\n",
     {},
     {{"X-GN", 2}, {"ROLE", 2}, {"SOUND(音声)", 1}}},
    {"PropertiesOfARejectedCardAreNotCounted",
     "BEGIN:VCARD\r\nVERSION:5.0\r\nN:A;B\r\nX-GN:g\r\nEND:VCARD\r\n"
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:C;D\r\nUID:1\r\nEND:VCARD\r\n",
     {{1, "A B", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {{"UID", 1}}},
    // What the file folded, the reason tells on one line: CR LF and a
    // blank, LF and a blank, CR LF and a tab.
    {"FoldedCharsetParameterOnOneLine",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=X-\r\n NOWHERE:A;B\r\nEND:VCARD\r\n" + kGoodCard +
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=X-\n NOWHERE:C;D\r\nEND:VCARD\r\n",
     {{1, "A B", SkipReason::UnsupportedCharset, "N;CHARSET=X-NOWHERE"},
      {3, "C D", SkipReason::UnsupportedCharset, "N;CHARSET=X-NOWHERE"}},
     {}},
    {"FoldedVersionOnOneLine",
     "BEGIN:VCARD\r\nVERSION:5.\r\n 0\r\nN:A;B\r\nEND:VCARD\r\n"
     "BEGIN:VCARD\r\nVERSION:\r\n\t5.0\r\nN:C;D\r\nEND:VCARD\r\n",
     {{1, "A B", SkipReason::UnsupportedVersion, "VERSION:5.0"},
      {2, "C D", SkipReason::UnsupportedVersion, "VERSION:5.0"}},
     {}},
    {"FoldedEncodingParameterOnOneLine",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Poe;Edgar\r\nTEL;ENCODING=X-\r\n ROT13:1\r\nEND:VCARD\r\n",
     {{1, "Poe Edgar", SkipReason::UnsupportedEncoding, "TEL;ENCODING=X-ROT13"}},
     {}},
    // Lines with no property name, or no ":" to start a value, are loose
    // text: none is told as a property left out, while the named ones,
    // grouped or not, still are.
    {"LooseLinesAreNoProperties",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:A;B\r\nstray value line\r\n山田 太郎\r\n"
     "a stray: value\r\n山田:太郎\r\nX-BAR;TYPE=a\r\n.X-DOT:x\r\nX-GN:g\r\nitem1.X-FOO:x\r\n"
     "X-WAB-SPOUSE_NAME:s\r\nX-MESSAGING/SIP-ALL:a\r\nEND:VCARD\r\n",
     {},
     {{"X-GN", 1}, {"X-FOO", 1}, {"X-WAB-SPOUSE_NAME", 1}, {"X-MESSAGING/SIP-ALL", 1}}},
    {"InnerCardKeepsItsPlace",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Outer;Card\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:9.9\r\n"
     "N:Inner;Card\r\nEND:VCARD\r\nEND:VCARD\r\n",
     {{2, "Inner Card", SkipReason::UnsupportedVersion, "VERSION:9.9"}},
     {{"AGENT", 1}}},
    // Only blanks and punctuation may follow an end line.
    {"EndLineWithAWordAfterItClosesNothing",
     kGoodCard + "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Cut;Off\r\nEND:VCARD foo\r\n",
     {{2, "Cut Off", SkipReason::NeverClosed, ""}},
     {}},
};

class ReportCaseTest : public testing::TestWithParam<ReportCase> {
 protected:
  testsupport::TempDir dir_;
};

TEST_P(ReportCaseTest, TellsCardPositionNameAndReason) {
  const ReportCase& c = GetParam();
  const std::string source = dir_.file("in.vcf");
  testsupport::writeBytes(source, c.source);
  vcard::ConversionReport report;
  const auto result = vCardConvert(source.c_str(), dir_.file("out.vcf").c_str(), &report);
  EXPECT_EQ(result[0], "");
  ASSERT_TRUE(report.loaded);

  ASSERT_EQ(report.skipped.size(), c.skipped.size());
  for (std::size_t i = 0; i < c.skipped.size(); ++i) {
    SCOPED_TRACE("card " + std::to_string(i));
    EXPECT_EQ(report.skipped[i].position, c.skipped[i].position);
    EXPECT_EQ(report.skipped[i].name, c.skipped[i].name);
    EXPECT_EQ(report.skipped[i].reason, c.skipped[i].reason);
    EXPECT_EQ(report.skipped[i].detail, c.skipped[i].detail);
  }
  ASSERT_EQ(report.dropped.size(), c.dropped.size());
  for (std::size_t i = 0; i < c.dropped.size(); ++i) {
    EXPECT_EQ(report.dropped[i].name, c.dropped[i].name);
    EXPECT_EQ(report.dropped[i].count, c.dropped[i].count);
  }
  EXPECT_TRUE(report.worthTelling());

  // The result texts are those of the plain entry point.
  const auto plain = vCardConvert(source.c_str(), dir_.file("plain.vcf").c_str());
  EXPECT_EQ(plain, result);
  EXPECT_EQ(testsupport::readBytes(dir_.file("plain.vcf")),
            testsupport::readBytes(dir_.file("out.vcf")));
}

INSTANTIATE_TEST_SUITE_P(Reasons, ReportCaseTest, testing::ValuesIn(kReportCases), CaseName());

struct QuietCase {
  std::string name;
  std::string bytes;
};

// Ordinary files that lose nothing: no report at all.
const QuietCase kQuietCases[] = {
    {"ShiftJIS",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\x91\xBE\x98\x59"
     "\r\nFN:x\r\nEND:VCARD\r\n"},
    {"UTF8", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;太郎\r\nTEL:1\r\nEND:VCARD\r\n"},
    {"UTF8WithMark",
     "\xEF\xBB\xBF"
     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;太郎\r\nEND:VCARD\r\n"},
    {"UTF16LEWithMark", utf16le("BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n")},
    {"GroupedWithLabels",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nitem1.EMAIL:a@b.c\r\nitem1.X-ABLabel:Work\r\n"
     "END:VCARD\r\n"},
    // A phone export without pictograms: 引 (88 F8) plain and encoded holds
    // F8 as a trail byte, which starts no pictogram code.
    {"PhoneExportWithoutPictograms",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x88\xF8\x9F\x40;\r\n"
     "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:\xB2\xDD;\r\n"
     "NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=88=F8=9F@\r\nEND:VCARD\r\n"},
    // Blank lines in a card and text between cards lose nothing.
    {"BlankLinesAndTextBetweenCards",
     "BEGIN:VCARD\r\nN:a\r\n\r\n \t\r\nEND:VCARD\r\nexported by X\r\nBEGIN:VCARD\r\nN:b\r\n"
     "END:VCARD\r\n"},
    // A phone's export: the name's value folded after the colon, a dot after
    // the last end line. "=52=C3=BC..." is the name, not a property left out.
    {"PhoneExportWithFoldedNameAndDottedEnd",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:\r\n"
     "  =52=C3=BC=63=6B=65=72;=54=68=6F=6D=61=73;;;\r\nTEL:1\r\nEND:VCARD\r\n"
     "BEGIN:VCARD  \r\nVERSION:2.1\r\nN:a;b\r\nend:vcard;\r\n"
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:c;d\r\nEND:VCARD.\r\n"},
};

class QuietFileTest : public testing::TestWithParam<QuietCase> {
 protected:
  testsupport::TempDir dir_;
};

TEST_P(QuietFileTest, GetsNoReport) {
  const std::string source = dir_.file("in.vcf");
  testsupport::writeBytes(source, GetParam().bytes);
  vcard::ConversionReport report;
  (void)vCardConvert(source.c_str(), dir_.file("out.vcf").c_str(), &report);
  EXPECT_TRUE(report.loaded);
  EXPECT_FALSE(report.worthTelling());
  EXPECT_EQ(vcard::reportText(report), "");
}

INSTANTIATE_TEST_SUITE_P(Files, QuietFileTest, testing::ValuesIn(kQuietCases), CaseName());

struct FileLevelCase {
  std::string name;
  std::string bytes;
  std::string expectedLine;  // a line the report must hold
};

const FileLevelCase kFileLevelCases[] = {
    {"ZeroBytes", "BEGIN:VCARD\r\nN:a\0\0;b\r\nEND:VCARD\r\n"s,
     "  ファイルに混じっていた空のデータ（値が 0 のバイト）2個を読み飛ばしました\n"},
    // An unpaired surrogate (D800) in a UTF-16 file.
    {"Repairs",
     utf16le("BEGIN:VCARD\r\nN:a") + "\x00\xD8"s + utf16le("\r\nEND:VCARD\r\n").substr(2),
     "  読めない文字 1個を「\xEF\xBF\xBD」に置き換えました：1件目\n"},
    // A stray FF in the second of three Shift_JIS cards ("山田", "青木", "功"):
    // the encoding stays, and the card holding it is named.
    {"StrayByteInShiftJIS",
     "BEGIN:VCARD\r\nN:\x8E\x52\x93\x63\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:\x90\xC2\xFF\x96\xD8\r\n"
     "END:VCARD\r\nBEGIN:VCARD\r\nN:\x8C\xF7\r\nEND:VCARD\r\n",
     "  文字コード：Shift_JIS（ファイルの内容から判定）\n"
     "  読めない文字 1個を「\xEF\xBF\xBD」に置き換えました：2件目\n"},
    {"BigEndianCRLineEnds",
     "\xFE\xFF"s + "\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0E\0N\0D\0:\0V\0C\0A\0R\0D\0\r"s,
     "  文字コード：UTF-16BE（ファイルの先頭の目印による）\n"
     "  改行：CR だけの改行（古い Mac の形式）として読みました\n"},
    // A name cut by a comma, a value's text on a line of its own and a name
    // with no ":" are counted with their card; a blank line is nothing.
    {"UnreadableLines",
     "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nN:b\r\n"
     "LABEL,TYPE=HOME:1 Main St\r\nSpringfield\r\n\r\nNOTE\r\nEND:VCARD\r\n",
     "  読めない行（項目の形になっていない行）3行は書き出していません：2件目\n"},
    {"DeclaredWestern",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=WINDOWS-1252:M\xFCller;Hans\r\nEND:VCARD\r\n",
     "（ファイルの中の文字コードの指定による）\n"},
};

class FileLevelTest : public testing::TestWithParam<FileLevelCase> {
 protected:
  testsupport::TempDir dir_;
};

TEST_P(FileLevelTest, ToldOnlyWhereSomethingChanged) {
  const std::string source = dir_.file("in.vcf");
  testsupport::writeBytes(source, GetParam().bytes);
  vcard::ConversionReport report;
  (void)vCardConvert(source.c_str(), dir_.file("out.vcf").c_str(), &report);
  EXPECT_TRUE(report.skipped.empty());
  const std::string text = vcard::reportText(report);
  EXPECT_NE(text.find("ファイル全体：\n"), std::string::npos) << text;
  EXPECT_NE(text.find(GetParam().expectedLine), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Files, FileLevelTest, testing::ValuesIn(kFileLevelCases), CaseName());

TEST(ReportTextTest, SummaryFirstThenAtMostMaxCardsThenTheRest) {
  vcard::ConversionReport report;
  report.loaded = true;
  for (std::uint64_t i = 1; i <= 5; ++i)
    report.skipped.push_back(
        {i, "名" + std::to_string(i), SkipReason::UnsupportedVersion, "VERSION:5.0"});
  report.dropped = {{"X-GN", 12}, {"LABEL", 3}};
  EXPECT_EQ(vcard::reportText(report, 2),
            "【変換レポート】書き出さなかったカード 5件／iPhone が取り込まない項目 15件\n"
            "書き出さなかったカード：\n"
            "  1件目「名1」　対応していないバージョンです（VERSION:5.0）\n"
            "  2件目「名2」　対応していないバージョンです（VERSION:5.0）\n"
            "  ほか 3件\n"
            "ファイル全体：\n"
            "  iPhone "
            "が取り込まない項目（書き出していません）：グループ名（X-GN）12件、"
            "宛名ラベル（LABEL、住所そのものは書き出しています）3件\n\n");
}

struct TargetTextCase {
  std::string name;
  vcard::Target target;
  std::string expected;
};

// The same properties are left out for either target; only the iPhone's
// words say that it is the one that does not take them.
const TargetTextCase kTargetTextCases[] = {
    {"IPhone", vcard::Target::IPhone,
     "【変換レポート】iPhone が取り込まない項目 4件\n"
     "ファイル全体：\n"
     "  iPhone "
     "が取り込まない項目（書き出していません）：グループ名（X-"
     "GN）3件、識別番号（UID）1件\n\n"},
    {"ICloud", vcard::Target::ICloud,
     "【変換レポート】書き出さなかった項目 4件\n"
     "ファイル全体：\n"
     "  "
     "書き出さなかった項目：グループ名（X-"
     "GN）3件、識別番号（UID）1件\n\n"},
};

class ReportTargetTextTest : public testing::TestWithParam<TargetTextCase> {};

TEST_P(ReportTargetTextTest, DroppedPropertiesInTheTargetsWords) {
  vcard::ConversionReport report;
  report.loaded = true;
  report.target = GetParam().target;
  report.dropped = {{"X-GN", 3}, {"UID", 1}};
  EXPECT_EQ(vcard::reportText(report), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Targets, ReportTargetTextTest, testing::ValuesIn(kTargetTextCases),
                         CaseName());

TEST(ReportTextTest, ScaledPhotosNameICloudLimits) {
  vcard::ConversionReport report;
  report.loaded = true;
  report.target = vcard::Target::ICloud;
  report.icloud.photosScaled.push_back({2, "山田花子", 230'449, 199'950, "JPEG"});
  EXPECT_NE(vcard::reportText(report).find(
                "iCloud.com の上限（写真 224 KB、カード 256 KB）に合わせて縮小した写真：\n"
                "  2件目「山田花子」　230.4 KB → 200.0 KB（JPEG）\n"),
            std::string::npos)
      << vcard::reportText(report);
}

TEST(ReportTextTest, PhotoCountsOnlyWherePhotosWereAdapted) {
  vcard::ConversionReport report;
  report.loaded = true;
  report.target = vcard::Target::ICloud;
  report.skipped.push_back({1, "名", SkipReason::NeverClosed, ""});
  EXPECT_EQ(vcard::reportText(report).find("写真"), std::string::npos);
  report.icloud.photosLeftOut.push_back({});
  // Only the count of what happened: no "縮小した写真 0件".
  EXPECT_NE(
      vcard::reportText(report).find("（入力データに数えていません）／書き出さなかった写真 1件\n"),
      std::string::npos);
  const std::string text = vcard::reportText(report);
  EXPECT_EQ(text.substr(0, text.find('\n')).find(" 0件"), std::string::npos) << text;
}

TEST(ReportTextTest, FailedLoadTellsNothing) {
  testsupport::TempDir dir;
  vcard::ConversionReport report;
  report.skipped.push_back({1, "stale", SkipReason::NeverClosed, ""});
  const auto result =
      vCardConvert(dir.file("missing.vcf").c_str(), dir.file("out.vcf").c_str(), &report);
  EXPECT_NE(result[0], "");
  EXPECT_FALSE(report.loaded);
  EXPECT_TRUE(report.skipped.empty());  // nothing of an earlier report stays
  EXPECT_EQ(vcard::reportText(report), "");
}

}  // namespace
