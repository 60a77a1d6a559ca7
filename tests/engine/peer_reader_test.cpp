// The peer-export tests' own reader and comparison on hand-made input: what
// they read from a card, and what they count as arrived or lost.
#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "peer_compare.h"

namespace {

using namespace peer;
using testsupport::CaseName;
using testsupport::PrintTo;

// ---- The reader and the comparison on hand-made input ----------------------

std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string utf16le(const std::string& utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  std::string bytes = "\xFF\xFE";
  for (int32_t i = 0; i < text.length(); ++i) {
    bytes += static_cast<char>(text[i] & 0xFF);
    bytes += static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

// "card <version>" for each counted card, then "<kind>:<value>" for each of
// its values.
std::vector<std::string> describe(const std::string& bytes) {
  std::vector<std::string> lines;
  for (const Card& card : readCards(bytes)) {
    if (!counted(card)) continue;
    lines.push_back("card " + card.version);
    for (const Value& value : valuesOf(card, false)) {
      lines.push_back(std::string(kindName(value.kind)) + ":" + value.shown);
    }
  }
  return lines;
}

struct ReaderCase {
  std::string_view name;
  std::string bytes;
  std::vector<std::string> expected;
};

const ReaderCase kReaderCases[] = {
    {"ShiftJisQuotedPrintableWithSoftBreak",
     crlf("BEGIN:VCARD\nVERSION:2.1\n"
          "N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=8E=52=93=63;=91=BE=\n=98=59\n"
          "END:VCARD\n"),
     {"card 2.1", "name:山田", "name:太郎"}},
    {"ShiftJisFileWithHalfWidthKana",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\xC0\xDB\xB3\n"
          "END:VCARD\n"),
     {"card 2.1", "name:山田", "name:ﾀﾛｳ"}},
    {"UnindentedBase64PhotoEndsAtBlankLine",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN:Photo;Bare\nPHOTO;ENCODING=BASE64;TYPE=JPEG:\n"
          "/9j/4AAQ\nSkZJRg==\n\nTEL:123\nEND:VCARD\n"),
     {"card 2.1", "name:Photo", "name:Bare", "PHOTO:<10-byte photo ffd8ffe00010...>", "TEL:123"}},
    {"PhotosAsBase64FoldedAndAsUri",
     crlf("BEGIN:VCARD\nVERSION:3.0\nFN:P\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/\n 4AAQ\n"
          "PHOTO;VALUE=URI:http://example.com/p.jpg\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:2.1\nFN:Q\nPHOTO;JPEG;B:\n SkZJRg==\nEND:VCARD\n"),
     {"card 3.0", "name:P", "PHOTO:<6-byte photo ffd8ffe00010...>",
      "PHOTO:http://example.com/p.jpg", "card 2.1", "name:Q", "PHOTO:<4-byte photo 4a464946...>"}},
    {"CrCrLfLineEndsKeepFoldsTogether",
     "BEGIN:VCARD\r\r\nVERSION:3.0\r\r\nFN:C\r\r\nPHOTO;ENCODING=b:/9j/\r\r\n 4AAQ\r\r\n"
     "END:VCARD\r\r\n",
     {"card 3.0", "name:C", "PHOTO:<6-byte photo ffd8ffe00010...>"}},
    {"GroupedEmailWithLowerCaseParams",
     crlf("BEGIN:VCARD\nVERSION:3.0\nFN:G\nitem1.EMAIL;type=INTERNET;type=pref:g@example.com\n"
          "item1.X-ABLabel:_$!<Other>!$_\nEND:VCARD\n"),
     {"card 3.0", "name:G", "EMAIL:g@example.com"}},
    {"NestedCardEndsFirst",
     "BEGIN:VCARD\nVERSION:2.1\nN:Outer\nBEGIN:VCARD\nVERSION:2.1\nN:Inner\nEND:VCARD\n"
     "TEL:1\nEND:VCARD\n",
     {"card 2.1", "name:Inner", "card 2.1", "name:Outer", "TEL:1"}},
    {"Utf16FileAndThreeZeroFoldDropsOneBlank",
     utf16le(crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Jürgen\nTITLE:Chief Exec\n  utive\n"
                  "END:VCARD\n")),
     {"card 3.0", "name:Jürgen", "TITLE:Chief Exec utive"}},
    {"TwoOneFoldKeepsItsBlank",
     crlf("BEGIN:VCARD\nVERSION:2.1\nFN:F\nTITLE:Chief\n Executive\nEND:VCARD\n"),
     {"card 2.1", "name:F", "TITLE:Chief Executive"}},
    {"EscapesAndStructuredValues",
     crlf("BEGIN:VCARD\nVERSION:3.0\nN:Doe\\;Jr;John;;;\nADR:;;1 Main St\\, Apt 2;Town;;;\n"
          "NOTE:one\\ntwo \\\\ three\nEND:VCARD\n"),
     {"card 3.0", "name:Doe;Jr", "name:John", "ADR:1 Main St, Apt 2", "ADR:Town",
      "NOTE:one\ntwo \\ three"}},
    {"Base64TextValuesAndVersion",
     crlf("BEGIN:vcard\nVERSION;ENCODING=BASE64:Mi4x\n\nFN:B\n"
          "ORG;ENCODING=BASE64;CHARSET=SHIFT_JIS:jo6MsQ==\n\nEND:vcard\n"),
     {"card 2.1", "name:B", "ORG:試験"}},
    {"BareQuotedPrintableDefaultsToUtf8",
     crlf("BEGIN:VCARD\nVERSION:2.1\nFN:Q\nTITLE;QUOTED-PRINTABLE:M=C3=BCller\n"
          "NOTE;ENCODING=QUOTED-PRINTABLE:dangling=\nTEL:2\nEND:VCARD\n"),
     {"card 2.1", "name:Q", "TITLE:Müller", "NOTE:dangling", "TEL:2"}},
    {"WindowsAnsiFile",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN:M\xFCller;J\xFCrgen\nEND:VCARD\n"),
     {"card 2.1", "name:Müller", "name:Jürgen"}},
    {"DeclaredWesternFileThatPairsAsShiftJis",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN:L\xE4mmer\n"
          "LABEL;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:L=E4mmer\nEND:VCARD\n"),
     {"card 2.1", "name:Lämmer"}},
    {"BackslashContinuedAddressAndCommentLine",
     crlf("BEGIN:VCARD\nVERSION:2.1\nFN:A\nADR;HOME:;;Street 1\\\nBox 9;City;;;\n"
          "# a comment\nEND:VCARD\n"),
     {"card 2.1", "name:A", "ADR:Street 1\nBox 9", "ADR:City"}},
    {"QuotedParameterHoldsColonAndSemicolon",
     crlf("BEGIN:VCARD\nVERSION:3.0\nFN:P\nTEL;TYPE=\"a:b;c\",PREF:555\nEND:VCARD\n"),
     {"card 3.0", "name:P", "TEL:555"}},
    {"OnlyTheFirstNOrFnNamesTheHolder",
     crlf("BEGIN:VCARD\nVERSION:3.0\nN:;;;;\nFN:Only Fn\nFN:Second Fn\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:3.0\nN:Full;N\nFN:Not Counted\nN:Second;N\nEND:VCARD\n"),
     {"card 3.0", "name:Only Fn", "card 3.0", "name:Full", "name:N"}},
    {"OtherVersionsAndUnendedCardsNotCounted",
     crlf("BEGIN:VCARD\nVERSION:4.0\nFN:Four\nEND:VCARD\nBEGIN:VCARD\nFN:None\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:3.0\nFN:Open\n"),
     {}},
};

// Names the case rather than dumping its bytes into the test listing.
void PrintTo(const ReaderCase& c, std::ostream* os) {
  *os << c.name;
}

class PeerReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(PeerReaderTest, ReadsValues) {
  EXPECT_EQ(describe(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(PeerReader, PeerReaderTest, testing::ValuesIn(kReaderCases), CaseName());

struct CompareCase {
  Kind kind;
  std::string source;
  std::string converted;  // one value of the converted card
  bool arrives;
};

TEST(PeerCompareTest, ArrivesAfterNormalising) {
  const CompareCase cases[] = {
      {Kind::Name, "ﾔﾏﾀﾞ", "ヤマダ", true},
      {Kind::Name, "Ando Roid", "AndoRoid", false},
      {Kind::Name, "Ando  Roid ", "Ando Roid", true},
      {Kind::Tel, "０９０ 1234", "090-1234", false},
      {Kind::Tel, "０９０ 1234", "0901234", true},
      {Kind::Email, "a@example.jp", "b@example.jp", false},
      {Kind::Adr, "1 Main St\nApt 2", "1 Main St Apt 2", true},
      {Kind::Note, "line one\r\nline two", "line oneline two", true},
      {Kind::Org, "Acme", "Acme Corp", true},
      {Kind::Title, "Manager", "Mgr", false},
  };
  for (const auto& c : cases) {
    static constexpr const char* kProp[] = {"FN",  "TEL",   "EMAIL", "ADR",
                                            "ORG", "TITLE", "NOTE",  "PHOTO"};
    const Holdings holdings(Card{1, "3.0", {Prop{kProp[static_cast<int>(c.kind)], c.converted}}});
    EXPECT_EQ(holdings.holds(Value{c.kind, normalise(c.source, c.kind), c.source}), c.arrives)
        << kindName(c.kind) << " " << c.source << " vs " << c.converted;
  }
}

TEST(PeerCompareTest, PairsCardsAndCountsLosses) {
  const std::string source = crlf(
      "BEGIN:VCARD\nVERSION:2.1\nN:Same;Name\nTEL:1\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:2.1\nN:Same;Name\nTEL:2\nEMAIL:s@example.com\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:4.0\nN:Left;Out\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN:Nameless\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nN:Gone\nTEL:3\nEND:VCARD\n");
  // The second card lost its mail address; the third is not counted; the
  // fourth arrived without its only value; the fifth did not arrive at all.
  const std::string output =
      utf16le(crlf("BEGIN:VCARD\nVERSION:2.1\nN:Same;Name;;;\nTEL:1\nEND:VCARD\n"
                   "BEGIN:VCARD\nVERSION:2.1\nN:Same;Name;;;\nTEL:2\nEND:VCARD\n"
                   "BEGIN:VCARD\nVERSION:3.0\nEND:VCARD\n"));
  const FileCheck check = checkFile("f.vcf", source, output);
  EXPECT_EQ(check.checked, 10);
  EXPECT_EQ(check.lost, 4);
  EXPECT_EQ(check.cardsLost, 1);
  EXPECT_EQ(check.report, (std::vector<std::string>{
                              "  lost: f.vcf card 2 (line 6) EMAIL s@example.com",
                              "  lost: f.vcf card 4 (line 16) name Nameless",
                              "  card lost: f.vcf card 5 (line 20)",
                              "  lost: f.vcf card 5 (line 20) name Gone",
                              "  lost: f.vcf card 5 (line 20) TEL 3",
                          }));
}

TEST(PeerCompareTest, ConvertedTextCountsOnlyAsPlainText) {
  const std::string card = crlf(
      "BEGIN:VCARD\nVERSION:2.1\nFN:E\nTITLE;ENCODING=QUOTED-PRINTABLE:M=C3=BCller\n"
      "NOTE;ENCODING=BASE64:bm90ZQ==\n\nPHOTO;ENCODING=BASE64:/9j/4AAQ\n\nEND:VCARD\n");
  // Carried over still encoded: the name and the photo arrive, the title and
  // the note would show as code.
  const FileCheck check = checkFile("e.vcf", card, utf16le(card));
  EXPECT_EQ(check.checked, 4);
  EXPECT_EQ(check.lost, 2);
  EXPECT_EQ(check.cardsLost, 0);
}

}  // namespace
