// Carrier pictograms: the table generated from EmojiSources.txt, the codes a
// file holds (plain and quoted-printable, on character boundaries only), the
// carrier they and the export's marks settle, and whole conversions of
// hand-built Shift_JIS exports with the report they give.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert.h"
#include "files.h"
#include "param_names.h"
#include "read/pictograms.h"
#include "test_support.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::Carrier;
using vcard::CarrierBasis;
using vcard::CarrierChoice;

// ---- The table ---------------------------------------------------------------

struct TableCase {
  std::string name;
  Carrier carrier;
  std::uint16_t code;
  std::string expected;  // UTF-8; empty: the carrier has no such pictogram
};

// Rows of EmojiSources.txt; the same code means different pictograms for
// different carriers.
const TableCase kTableCases[] = {
    {"DocomoSun", Carrier::Docomo, 0xF89F, "\u2600"},
    {"AUSun", Carrier::AU, 0xF660, "\u2600"},
    {"SoftBankFaceInIbmRow", Carrier::SoftBank, 0xFB41, "\U0001F625"},
    {"KeycapIsASequence", Carrier::Docomo, 0xF985, "#\u20E3"},
    {"F941ForDocomo", Carrier::Docomo, 0xF941, "\U0001F314"},
    {"F941ForSoftBank", Carrier::SoftBank, 0xF941, "\U0001F466"},
    {"F741ForAU", Carrier::AU, 0xF741, "4\u20E3"},
    {"F741ForSoftBank", Carrier::SoftBank, 0xF741, "\U0001F4EB"},
    {"DocomoHasNoAURange", Carrier::Docomo, 0xF340, ""},
    {"NoCarrierNoText", Carrier::None, 0xF89F, ""},
    {"FirstUserDefinedCodeIsNoPictogram", Carrier::AU, 0xF040, ""},
};

class PictogramTableTest : public testing::TestWithParam<TableCase> {};

TEST_P(PictogramTableTest, GivesTheCarriersEmoji) {
  const TableCase& c = GetParam();
  EXPECT_EQ(vcard::detail::pictogramText(c.carrier, c.code), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, PictogramTableTest, testing::ValuesIn(kTableCases), CaseName());

// ---- The scan ----------------------------------------------------------------

// Scan counts by which carriers' tables hold a code (bits: 1 docomo, 2 au,
// 4 SoftBank; 0 none).
struct ScanCase {
  std::string name;
  std::string bytes;
  bool plainIsShiftJIS;
  std::vector<std::pair<unsigned, std::uint64_t>> counts;  // (carrier bits, count)
  std::uint64_t plainCodes;
};

// A filler that is no code, to move a code across the scan's blocks.
const std::string kFiller(70, 'a');

const ScanCase kScanCases[] = {
    {"PlainDocomoCode", "N:\xF8\x9F\r\n", true, {{1, 1}}, 1},
    // 引 (88 F8) 檗 (9F 40): F8 9F across two characters is no code.
    {"TrailByteStartsNoCode", "N:\x88\xF8\x9F\x40\r\n", true, {}, 0},
    // A long run of lead-range bytes before the code: 引 引 then F89F.
    {"AlignedAfterRunOfLeadRangeBytes", "\x88\xF8\x88\xF8\xF8\x9F", true, {{1, 1}}, 1},
    {"CodeAcrossBlocks", kFiller + "\xF8\x9F" + kFiller, true, {{1, 1}}, 1},
    {"CodeAtTheVeryEnd", kFiller + "\xF8\x9F", true, {{1, 1}}, 1},
    {"LoneLeadAtTheEnd", kFiller + "\xF8", true, {}, 0},
    {"QuotedPrintable", "NOTE;ENCODING=QUOTED-PRINTABLE:=F8=9F\r\n", true, {{1, 1}}, 0},
    {"QuotedPrintableLowerCaseHex", "NOTE;ENCODING=QUOTED-PRINTABLE:=f8=9f\r\n", true, {{1, 1}}, 0},
    // au's F341 with its trail byte written as the letter "A".
    {"QuotedPrintableLiteralTrail", "NOTE;ENCODING=QUOTED-PRINTABLE:=F3A\r\n", true, {{2, 1}}, 0},
    {"QuotedPrintableSoftBreakInside",
     "NOTE;ENCODING=QUOTED-PRINTABLE:=F8=\r\n=9F\r\n",
     true,
     {{1, 1}},
     0},
    // 引 encoded (=88=F8), then 9F 40: no code either.
    {"QuotedPrintableTrailByteStartsNoCode",
     "NOTE;ENCODING=QUOTED-PRINTABLE:=88=F8=9F@\r\n",
     true,
     {},
     0},
    // In a UTF-8 file, F0-F4 lead four-byte sequences, not Shift_JIS codes.
    {"PlainBytesOfUTF8AreNoCodes",
     "N:\xF0\x9F\x98\x80\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=F8=9F",
     false,
     {{1, 1}},
     0},
    {"SharedDocomoSoftBank", "\xF9\x41", true, {{5, 1}}, 1},
    {"SharedAUSoftBank", "\xF7\x41", true, {{6, 1}}, 1},
    {"UserDefinedWithoutPictogram", "\xF0\x40", true, {{0, 1}}, 1},
    // FA40 is an IBM extension kanji; FC4B too: neither is a private glyph.
    {"IbmExtensionKanjiIgnored", "\xFA\x40\xFC\x4B", true, {}, 0},
    {"Empty", "", true, {}, 0},
    // Nothing but F8: each pair is docomo's F8F8, however long the run.
    {"LongRunOfOneLeadByte", std::string(200000, '\xF8'), true, {{1, 100000}}, 100000},
    {"LongRunOfEncodedLeadBytes",
     [] {
       std::string run;
       for (int i = 0; i < 20000; ++i)
         run += "=F8";
       return run;
     }(),
     false,
     {{1, 10000}},
     0},
};

class PictogramScanTest : public testing::TestWithParam<ScanCase> {};

TEST_P(PictogramScanTest, CountsCodesOnCharacterBoundaries) {
  const ScanCase& c = GetParam();
  const vcard::detail::PictogramScan scan =
      vcard::detail::scanPictogramCodes(c.bytes, c.plainIsShiftJIS);
  std::array<std::uint64_t, 8> expected{};
  for (const auto& [bits, count] : c.counts)
    expected[bits] = count;
  EXPECT_EQ(scan.byCarriers, expected);
  EXPECT_EQ(scan.plainCodes, c.plainCodes);
}

INSTANTIATE_TEST_SUITE_P(Bytes, PictogramScanTest, testing::ValuesIn(kScanCases), CaseName());

// ---- The carrier -------------------------------------------------------------

struct DecideCase {
  std::string name;
  CarrierChoice choice;
  std::string bytes;  // Shift_JIS
  Carrier carrier;
  CarrierBasis basis;
  std::uint64_t codes;
  std::uint64_t mapped;
};

const std::string kPhoneMark = "SOUND;X-IRMC-N:a\r\n";

const DecideCase kDecideCases[] = {
    {"NoCodes", CarrierChoice::Auto, kPhoneMark + "N:a\r\n", Carrier::None,
     CarrierBasis::NoPictograms, 0, 0},
    {"DocomoOnlyCode", CarrierChoice::Auto, kPhoneMark + "N:\xF8\x9F\xF9\x41", Carrier::Docomo,
     CarrierBasis::CarrierOnlyCode, 2, 2},
    {"AUOnlyCode", CarrierChoice::Auto, "X-GNO:1\r\nN:\xF3\x40\xF7\x41", Carrier::AU,
     CarrierBasis::CarrierOnlyCode, 2, 2},
    {"SoftBankOnlyCode", CarrierChoice::Auto, "X-GN:g\r\nN:\xFB\x41\xF9\x41", Carrier::SoftBank,
     CarrierBasis::CarrierOnlyCode, 2, 2},
    // F941 is docomo's or SoftBank's: nothing tells which.
    {"SharedCodeOnly", CarrierChoice::Auto, kPhoneMark + "N:\xF9\x41", Carrier::None,
     CarrierBasis::Ambiguous, 1, 0},
    {"SharedCodeAndDocomoMark", CarrierChoice::Auto, "X-DCM-GROUP:1\r\nN:\xF9\x41", Carrier::Docomo,
     CarrierBasis::Declared, 1, 1},
    // Only SoftBank uses both F941 (with docomo) and F741 (with au).
    {"BothSharedRanges", CarrierChoice::Auto, kPhoneMark + "N:\xF9\x41\xF7\x41", Carrier::SoftBank,
     CarrierBasis::OnlyCovering, 2, 2},
    {"DocomoAndAUCodes", CarrierChoice::Auto, kPhoneMark + "N:\xF8\x9F\xF3\x40", Carrier::None,
     CarrierBasis::Conflict, 2, 0},
    {"DocomoMarkAndAUCode", CarrierChoice::Auto, "X-DCM-X:1\r\nN:\xF3\x40", Carrier::None,
     CarrierBasis::Conflict, 1, 0},
    {"OnlyCodesNoTableHolds", CarrierChoice::Auto, kPhoneMark + "N:\xF0\x40", Carrier::None,
     CarrierBasis::Ambiguous, 1, 0},
    // A PC address book's own glyphs in the same area.
    {"NoPhoneMark", CarrierChoice::Auto, "N:\xF0\x40\xF8\x9F\r\n", Carrier::None,
     CarrierBasis::NotPhoneExport, 2, 0},
    // "x-gn" inside an address is no mark.
    {"MarkInsideAValueIsNone", CarrierChoice::Auto, "EMAIL:max-gn@example.jp\r\nN:\xF8\x9F",
     Carrier::None, CarrierBasis::NotPhoneExport, 1, 0},
    {"GroupedMark", CarrierChoice::Auto, "item1.X-GN:g\r\nN:\xF8\x9F", Carrier::Docomo,
     CarrierBasis::CarrierOnlyCode, 1, 1},
    {"UserNamesCarrier", CarrierChoice::SoftBank, kPhoneMark + "N:\xF8\x9F\xF9\x41",
     Carrier::SoftBank, CarrierBasis::Specified, 2, 1},
    {"UserNamesCarrierOfAPCFile", CarrierChoice::Docomo, "N:\xF8\x9F", Carrier::Docomo,
     CarrierBasis::Specified, 1, 1},
    {"UserSaysNone", CarrierChoice::None, kPhoneMark + "N:\xF8\x9F", Carrier::None,
     CarrierBasis::Specified, 1, 0},
};

class DecideCarrierTest : public testing::TestWithParam<DecideCase> {};

TEST_P(DecideCarrierTest, ChoosesFromCodesAndMarks) {
  const DecideCase& c = GetParam();
  const vcard::PictogramInfo info = vcard::detail::decideCarrier(
      c.choice, vcard::detail::scanPictogramCodes(c.bytes, true), c.bytes);
  EXPECT_EQ(info.carrier, c.carrier);
  EXPECT_EQ(info.basis, c.basis);
  EXPECT_EQ(info.codes, c.codes);
  EXPECT_EQ(info.mapped, c.mapped);
}

INSTANTIATE_TEST_SUITE_P(Files, DecideCarrierTest, testing::ValuesIn(kDecideCases), CaseName());

// ---- Whole conversions -------------------------------------------------------

// Shift_JIS of UTF-8 text without pictograms.
std::string sjis(const std::string& utf8) {
  return platform::encode(platform::fromUTF8(utf8).value(), platform::Encoding::ShiftJIS).value();
}

// A feature-phone card: name and note with a pictogram each, and an address
// written quoted-printable with a third; each given as the raw bytes.
std::string phoneCard(const std::string& extraLines, const std::string& nameCode,
                      const std::string& noteCode, const std::string& encodedCode) {
  return "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:" + sjis("山田") + nameCode + ";" +
         sjis("花子") + ";;;\r\nSOUND;X-IRMC-N;CHARSET=SHIFT_JIS:" + sjis("ﾔﾏﾀﾞ;ﾊﾅｺ;;;") + "\r\n" +
         extraLines + "NOTE;CHARSET=SHIFT_JIS:" + sjis("天気") + noteCode +
         "\r\nADR;HOME;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:;;=93=8C=8B=9E" + encodedCode +
         ";;;;\r\nEND:VCARD\r\n";
}

// The output of phoneCard, with the three pictograms as written.
std::string phoneCardOutput(const std::string& name, const std::string& note,
                            const std::string& address) {
  return "BEGIN:VCARD\nVERSION:2.1\nN:山田" + name +
         ";花子;;;\nX-PHONETIC-LAST-NAME:ヤマダ\nX-PHONETIC-FIRST-NAME:ハナコ\nNOTE:天気" + note +
         "\nADR;TYPE=HOME:;;東京" + address + ";;;;\nEND:VCARD\n";
}

struct ConvertCase {
  std::string name;
  CarrierChoice choice;
  std::string source;
  std::string expected;  // UTF-8 output with LF line ends
  Carrier carrier;
  CarrierBasis basis;
  std::uint64_t mapped;
  std::uint64_t privateUseLeft;
  std::vector<std::uint64_t> privateUseCards;
};

const ConvertCase kConvertCases[] = {
    // F89F sun, F8A0 cloud, F8A1 umbrella with rain.
    {"DocomoExport",
     CarrierChoice::Auto,
     phoneCard("", "\xF8\x9F", "\xF8\xA0", "=F8=A1"),
     phoneCardOutput("\u2600", "\u2601", "\u2614"),
     Carrier::Docomo,
     CarrierBasis::CarrierOnlyCode,
     3,
     0,
     {}},
    // F342 fountain, F340 fallen leaf, F341 briefcase with its trail "A".
    {"AUExport",
     CarrierChoice::Auto,
     phoneCard("X-GNO:2\r\n", "\xF3\x42", "\xF3\x40", "=F3A"),
     phoneCardOutput("\u26F2", "\U0001F342", "\U0001F4BC"),
     Carrier::AU,
     CarrierBasis::CarrierOnlyCode,
     3,
     0,
     {}},
    // FB41 would be the kanji U+6DAC once decoded; F748 and FB42 are faces.
    {"SoftBankExport",
     CarrierChoice::Auto,
     phoneCard("", "\xFB\x41", "\xF7\x48", "=FB=42"),
     phoneCardOutput("\U0001F625", "\U0001F613", "\U0001F60F"),
     Carrier::SoftBank,
     CarrierBasis::CarrierOnlyCode,
     3,
     0,
     {}},
    // F941 is docomo's moon or SoftBank's boy: left as U+E69D.
    {"SharedCodeLeftAlone",
     CarrierChoice::Auto,
     phoneCard("", "\xF9\x41", "", ""),
     phoneCardOutput("\uE69D", "", ""),
     Carrier::None,
     CarrierBasis::Ambiguous,
     0,
     1,
     {1}},
    {"SharedCodeWithDocomoMark",
     CarrierChoice::Auto,
     phoneCard("X-DCM-GROUP:1\r\n", "\xF9\x41", "", "=F9=41"),
     phoneCardOutput("\U0001F314", "", "\U0001F314"),
     Carrier::Docomo,
     CarrierBasis::Declared,
     2,
     0,
     {}},
    {"UserNamesSoftBank",
     CarrierChoice::SoftBank,
     phoneCard("", "\xF9\x41", "", ""),
     phoneCardOutput("\U0001F466", "", ""),
     Carrier::SoftBank,
     CarrierBasis::Specified,
     1,
     0,
     {}},
    {"UserSaysNone",
     CarrierChoice::None,
     phoneCard("", "\xF8\x9F", "", "=F8=A1"),
     phoneCardOutput("\uE63E", "", "\uE640"),
     Carrier::None,
     CarrierBasis::Specified,
     0,
     2,
     {1}},
    // docomo's sun and au's fallen leaf in one file: neither is mapped.
    {"CodesOfTwoCarriers",
     CarrierChoice::Auto,
     phoneCard("", "\xF8\x9F", "\xF3\x40", ""),
     phoneCardOutput("\uE63E", "\uE234", ""),
     Carrier::None,
     CarrierBasis::Conflict,
     0,
     2,
     {1}},
    // A PC address book keeps rare kanji (外字) at F040 and on: no phone
    // mark, nothing mapped, and the second card is the one told.
    {"PCExportWithUserDefinedCharacters",
     CarrierChoice::Auto,
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:" + sjis("高橋") +
         ";\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\xF0\x40" +
         sjis("田") + ";" + sjis("一郎") + "\r\nNOTE:\xF8\x9F\r\nEND:VCARD\r\n",
     "BEGIN:VCARD\nVERSION:2.1\nN:高橋;\nEND:VCARD\nBEGIN:VCARD\nVERSION:2.1\nN:\uE000田;一郎\n"
     "NOTE:\uE63E\nEND:VCARD\n",
     Carrier::None,
     CarrierBasis::NotPhoneExport,
     0,
     2,
     {2}},
    // FB41 is an IBM extension kanji in a PC file.
    {"PCExportKeepsIbmKanji",
     CarrierChoice::Auto,
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:\xFB\x41\r\nEND:VCARD\r\n",
     "BEGIN:VCARD\nVERSION:2.1\nN:\u6DAC\nEND:VCARD\n",
     Carrier::None,
     CarrierBasis::NotPhoneExport,
     0,
     0,
     {}},
    // All values quoted-printable: the file itself is ASCII.
    {"AsciiFileWithEncodedPictograms",
     CarrierChoice::Auto,
     "BEGIN:VCARD\r\nVERSION:2.1\r\nX-IRMC-LUID:0001\r\n"
     "N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=8E=52=F8=9F;\r\nEND:VCARD\r\n",
     "BEGIN:VCARD\nVERSION:2.1\nN:山\u2600;\nEND:VCARD\n",
     Carrier::Docomo,
     CarrierBasis::CarrierOnlyCode,
     1,
     0,
     {}},
    // A code the chosen carrier lacks stays as it was decoded.
    {"CodeTheCarrierLacksStays",
     CarrierChoice::Docomo,
     phoneCard("", "\xF8\x9F", "\xF0\x40", ""),
     phoneCardOutput("\u2600", "\uE000", ""),
     Carrier::Docomo,
     CarrierBasis::Specified,
     1,
     1,
     {1}},
};

class PictogramConvertTest : public testing::TestWithParam<ConvertCase> {
 protected:
  testsupport::TempDir dir_;
};

TEST_P(PictogramConvertTest, WritesEmojiAndReportsWhatHappened) {
  const ConvertCase& c = GetParam();
  const std::string source = dir_.file("in.vcf");
  const std::string output = dir_.file("out.vcf");
  testsupport::writeBytes(source, c.source);
  vcard::ConversionReport report;
  vcard::ConvertOptions options;
  options.carrier = c.choice;
  const auto result = vCardConvert(source.c_str(), output.c_str(), options, &report);
  EXPECT_EQ(result[0], "");
  enginetest::expectSameOutput(testsupport::readBytes(output), enginetest::outputForm(c.expected));

  const vcard::PictogramInfo& pictograms = report.source.pictograms;
  EXPECT_EQ(pictograms.carrier, c.carrier);
  EXPECT_EQ(pictograms.basis, c.basis);
  EXPECT_EQ(pictograms.mapped, c.mapped);
  EXPECT_EQ(report.privateUseLeft, c.privateUseLeft);
  EXPECT_EQ(report.privateUseCards, c.privateUseCards);
  EXPECT_TRUE(report.worthTelling());
  // The source is never touched.
  EXPECT_EQ(testsupport::readBytes(source), c.source);
}

INSTANTIATE_TEST_SUITE_P(Exports, PictogramConvertTest, testing::ValuesIn(kConvertCases),
                         CaseName());

TEST(PictogramEntryPointTest, TwoPathEntryPointChoosesAutomatically) {
  testsupport::TempDir dir;
  const std::string source = dir.file("in.vcf");
  testsupport::writeBytes(source, phoneCard("", "\xF8\x9F", "", ""));
  (void)vCardConvert(source.c_str(), dir.file("out.vcf").c_str());
  enginetest::expectSameOutput(testsupport::readBytes(dir.file("out.vcf")),
                               enginetest::outputForm(phoneCardOutput("\u2600", "", "")));
}

// ---- The report's lines ------------------------------------------------------

TEST(PictogramReportTest, CarrierReasonCountAndCardsInTheFileLines) {
  vcard::ConversionReport report;
  report.loaded = true;
  report.source.pictograms = {Carrier::Docomo, CarrierBasis::CarrierOnlyCode, 5, 4};
  report.privateUseLeft = 3;
  report.privateUseCards = {2, 7, 9};
  EXPECT_EQ(
      vcard::reportText(report, 2),
      "【変換レポート】\n"
      "ファイル全体：\n"
      "  携帯電話の絵文字：ドコモの絵文字として変換（ドコモだけが使う絵文字のコードがあるため）\n"
      "  絵文字 4個を Unicode の絵文字にしました\n"
      "  iPhone "
      "で表示されない文字（変換できなかった絵文字や、パソコンで作った独自の文字）3個が残っています"
      "：2件目、7件目"
      " ほか 1件\n\n");
}

TEST(PictogramReportTest, NothingMappedSaysWhy) {
  vcard::ConversionReport report;
  report.loaded = true;
  report.source.pictograms = {Carrier::None, CarrierBasis::NotPhoneExport, 1, 0};
  report.privateUseLeft = 1;
  report.privateUseCards = {1};
  const std::string text = vcard::reportText(report);
  EXPECT_NE(
      text.find("  携帯電話の絵文字：変換していません（携帯電話から書き出したファイルに見えない"
                "ため。パソコンで作った独自の文字かもしれません）\n"),
      std::string::npos)
      << text;
  EXPECT_EQ(text.find("Unicode の絵文字にしました"), std::string::npos) << text;
}

struct ParseCase {
  std::string name;
  std::string word;
  std::optional<CarrierChoice> expected;
};

const ParseCase kParseCases[] = {
    {"Auto", "auto", CarrierChoice::Auto}, {"Docomo", "docomo", CarrierChoice::Docomo},
    {"AU", "au", CarrierChoice::AU},       {"SoftBank", "softbank", CarrierChoice::SoftBank},
    {"None", "none", CarrierChoice::None}, {"AnyCase", "SoftBank", CarrierChoice::SoftBank},
    {"Unknown", "kddi", std::nullopt},     {"Empty", "", std::nullopt},
};

class ParseCarrierTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCarrierTest, ReadsTheCommandLineWords) {
  EXPECT_EQ(vcard::parseCarrierChoice(GetParam().word), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Words, ParseCarrierTest, testing::ValuesIn(kParseCases), CaseName());

}  // namespace
