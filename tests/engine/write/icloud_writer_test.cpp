// The iCloud.com writer over the card model: each card read from its iPhone
// form as the rules build it, written as vCard 3.0 with the FN and the photo
// outcomes the report takes.
#include <gtest/gtest.h>

#include <string>

#include "card_reader.h"
#include "param_names.h"
#include "test_support.h"
#include "write/icloud_writer.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::detail::Card;
using vcard::detail::ICloudCard;
using vcard::detail::Property;

using enginetest::crlf;

// The photo outcomes as "fate format source>written", one per photo.
std::string photosOf(const ICloudCard& card) {
  static const char* const kFates[] = {"kept", "scaled", "left out"};
  std::string out;
  for (const auto& photo : card.photos) {
    out += std::string(out.empty() ? "" : ", ") + kFates[static_cast<int>(photo.fate)] + " " +
           photo.format + " " + std::to_string(photo.sourceBytes) + ">" +
           std::to_string(photo.writtenBytes);
  }
  return out;
}

ICloudCard written(const std::string& source) {
  Card card;
  vcard::detail::readCard(source, &card);
  return vcard::detail::icloudCard(card);
}

const std::string kBegin = "BEGIN:VCARD\r\n";
const std::string kEnd = "END:VCARD\r\n";
const std::string kV21 = kBegin + "VERSION:2.1\r\n";
const std::string kV30 = kBegin + "VERSION:3.0\r\n";
const std::string kOut = "BEGIN:VCARD\nVERSION:3.0\n";

// A 1×1 GIF, 20 bytes: R0lGODlhAQABAIAAAP///wAAACw= in Base64.
const std::string kGif =
    std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00,", 20);

struct WriterCase {
  std::string name;
  std::string source;       // the card's iPhone form, CR LF written as they stand
  std::string expected;     // every LF written as CR LF
  std::string person;       // ICloudCard::name
  std::string photos = {};  // as photosOf gives them
};

const WriterCase kWriterCases[] = {
    // ---- Parameters
    {"BareTypeBecomesTypeParameter", kV21 + "N:山田;太郎;;;\r\nTEL;CELL:090-1111-2222\r\n" + kEnd,
     kOut + "FN:山田太郎\nN:山田;太郎;;;\nTEL;TYPE=CELL:090-1111-2222\nEND:VCARD\n", "山田太郎"},
    {"CharsetAndTransferEncodingLeftOut",
     kV21 + "NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE;8BIT:x\r\n" + kEnd,
     kOut + "FN:\nNOTE:x\nEND:VCARD\n", ""},
    {"ValueUrlBecomesUri", kV30 + "URL;value=url:http://example.jp/a;b\r\n" + kEnd,
     kOut + "FN:\nURL;VALUE=uri:http://example.jp/a;b\nEND:VCARD\n", ""},
    {"BlankParametersLeftOutOthersTrimmed", kV30 + "TEL; ;CELL ;:1\r\n" + kEnd,
     kOut + "FN:1\nTEL;TYPE=CELL:1\nEND:VCARD\n", "1"},
    // The pieces a quoted ";" cut the parameter into are one parameter.
    {"QuotedSemicolonKeepsParameterWhole", kV30 + "TEL;TYPE=\"a;b\";X-A=1:2\r\n" + kEnd,
     kOut + "FN:2\nTEL;TYPE=\"a;b\";X-A=1:2\nEND:VCARD\n", "2"},
    // Three pieces, the last parameter; the parameters of each line are
    // their own, not the previous line's.
    {"QuotedAcrossThreePiecesAtTheEnd",
     kV30 + "TEL;X-A=1;TYPE=\" a;b;c \":2\r\nNOTE;X-B=2:n\r\n" + kEnd,
     kOut + "FN:2\nTEL;X-A=1;TYPE=\" a;b;c \":2\nNOTE;X-B=2:n\nEND:VCARD\n", "2"},
    {"GroupAndLabelKept",
     kV30 + "item1.EMAIL;TYPE=INTERNET:x@example.jp\r\nitem1.X-ABLabel:会社;本社\r\n" + kEnd,
     kOut + "FN:x@example.jp\nitem1.EMAIL;TYPE=INTERNET:x@example.jp\n"
            "item1.X-ABLabel:会社\\;本社\nEND:VCARD\n",
     "x@example.jp"},

    // ---- Values
    {"Version21EscapesCommasAndSemicolonsOfText", kV21 + "NOTE:a;b,c\r\n" + kEnd,
     kOut + "FN:\nNOTE:a\\;b\\,c\nEND:VCARD\n", ""},
    {"Version30LeavesListCommas", kV30 + "NICKNAME:a,b\r\n" + kEnd,
     kOut + "FN:a\\,b\nNICKNAME:a,b\nEND:VCARD\n", "a,b"},
    {"EscapesKeptLoneBackslashEscaped", kV30 + "NOTE:a\\;b\\Nc\\x\r\n" + kEnd,
     kOut + "FN:\nNOTE:a\\;b\\nc\\\\x\nEND:VCARD\n", ""},
    {"LineBreakInValueBecomesBackslashN", kV30 + "NOTE:one\ntwo\rthree\r\n" + kEnd,
     kOut + "FN:\nNOTE:one\\ntwo\\nthree\nEND:VCARD\n", ""},
    {"PlainValueWrittenAsItIs", kV21 + "TEL:03;1,2\\3\r\n" + kEnd,
     kOut + "FN:03\\;1\\,23\nTEL:03;1,2\\3\nEND:VCARD\n", "03;1,23"},
    {"LongLineFoldedAt75", kV30 + "NOTE:" + std::string(80, 'x') + "\r\n" + kEnd,
     kOut + "FN:\nNOTE:" + std::string(70, 'x') + "\n " + std::string(10, 'x') + "\nEND:VCARD\n",
     ""},

    // ---- Source folds
    {"Version21FoldKeepsItsBlank", kV21 + "NOTE:abc\r\n def\r\n" + kEnd,
     kOut + "FN:\nNOTE:abc def\nEND:VCARD\n", ""},
    {"Version30FoldDropsItsBlank", kV30 + "NOTE:abc\r\n def\r\n\tghi\r\n" + kEnd,
     kOut + "FN:\nNOTE:abcdefghi\nEND:VCARD\n", ""},
    {"FoldInNameAndParameter", kV21 + "TE\r\n L;CE\r\n LL:1\r\n" + kEnd,
     kOut + "FN:\nTE L;TYPE=CE LL:1\nEND:VCARD\n", ""},
    {"FoldBeforeColonTrimmed", kV21 + "NOTE\r\n :x\r\n" + kEnd, kOut + "FN:\nNOTE:x\nEND:VCARD\n",
     ""},

    // ---- The version the card's VERSION gives
    {"LowerCaseVersion21", kBegin + "version:2.1\r\nNOTE:a,b\r\n" + kEnd,
     kOut + "FN:\nNOTE:a\\,b\nEND:VCARD\n", ""},
    {"EmptyVersionPassedOver", kBegin + "VERSION:\r\nVERSION:2.1\r\nNOTE:a,b\r\n" + kEnd,
     kOut + "FN:\nNOTE:a\\,b\nEND:VCARD\n", ""},
    {"FirstVersionDecides", kBegin + "VERSION:3.0\r\nVERSION:2.1\r\nNOTE:a,b\r\n" + kEnd,
     kOut + "FN:\nNOTE:a,b\nEND:VCARD\n", ""},
    {"VersionJudgedBeforeItsFold", kBegin + "VERSION:3.0\r\n 2.1\r\nNOTE:a,\r\n b\r\n" + kEnd,
     kOut + "FN:\nNOTE:a,b\nEND:VCARD\n", ""},
    {"VersionAfterFoldPassedOver", kBegin + "VERSION:\r\n 2.1\r\nNOTE:a,b\r\n" + kEnd,
     kOut + "FN:\nNOTE:a,b\nEND:VCARD\n", ""},
    {"GroupedVersionIsAnotherProperty", kBegin + "x.VERSION:2.1\r\nNOTE:a,b\r\n" + kEnd,
     kOut + "FN:\nx.VERSION:2.1\nNOTE:a,b\nEND:VCARD\n", ""},
    {"VersionWithParameterLeftOutUnjudged", kBegin + "VERSION;X=1:2.1\r\nNOTE:a,b\r\n" + kEnd,
     kOut + "FN:\nNOTE:a,b\nEND:VCARD\n", ""},

    // ---- The FN
    {"SourceFnReplacedByTheName", kV30 + "FN:Wrong\r\nN:Doe;John;Q,R;Dr.;Jr.\r\n" + kEnd,
     kOut + "FN:Dr. Doe John Q R Jr.\nN:Doe;John;Q,R;Dr.;Jr.\nEND:VCARD\n", "Dr. Doe John Q R Jr."},
    {"EscapedCommaOfVersion21NameStays", kV21 + "N:Doe;John,Q\r\n" + kEnd,
     kOut + "FN:Doe John\\,Q\nN:Doe;John\\,Q\nEND:VCARD\n", "Doe John,Q"},
    {"OrganisationWithoutName", kV30 + "TEL:1\r\nORG:株式会社テスト;営業部\r\n" + kEnd,
     kOut + "FN:株式会社テスト営業部\nTEL:1\nORG:株式会社テスト;営業部\nEND:VCARD\n",
     "株式会社テスト営業部"},
    {"NicknameWhenNothingElse", kV30 + "NICKNAME:タロ\r\nEMAIL:t@example.jp\r\n" + kEnd,
     kOut + "FN:タロ\nNICKNAME:タロ\nEMAIL:t@example.jp\nEND:VCARD\n", "タロ"},

    // ---- Photos
    {"PhotoKeptAsItCame",
     kV21 + "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n R0lGODlhAQABAIAA\r\n AP///wAAACw=\r\n\r\n" + kEnd,
     kOut + "FN:\nPHOTO;ENCODING=b;TYPE=GIF:R0lGODlhAQABAIAAAP///wAAACw=\nEND:VCARD\n", "",
     "kept GIF 20>20"},
    // Padding and stray characters inside the data are passed over.
    {"PhotoOfUnknownFormatKeepsItsType", kV30 + "PHOTO;B;JPEG:aG=V*sb\r\n G8=\r\n" + kEnd,
     kOut + "FN:\nPHOTO;ENCODING=b;TYPE=JPEG:aGVsbG8=\nEND:VCARD\n", "", "kept  5>5"},
    {"PhotoTooLargeLeftOut",
     kV30 + "N:A;B\r\nPHOTO;ENCODING=b:R0lGODlh" + std::string(400'000, 'W') + "\r\nTEL:1\r\n" +
         kEnd,
     kOut + "FN:A B\nN:A;B\nTEL:1\nEND:VCARD\n", "A B", "left out GIF 300006>0"},
};

class ICloudWriterTest : public testing::TestWithParam<WriterCase> {};

TEST_P(ICloudWriterTest, WritesTheCardAsICloudTakesIt) {
  const WriterCase& c = GetParam();
  const ICloudCard card = written(c.source);
  EXPECT_EQ(card.text, crlf(c.expected));
  EXPECT_EQ(card.name, c.person);
  EXPECT_EQ(photosOf(card), c.photos);
}

INSTANTIATE_TEST_SUITE_P(Cards, ICloudWriterTest, testing::ValuesIn(kWriterCases), CaseName{});

// What only the model says: properties settling took out, parameters cut
// at ";" inside quotes, groups settling set.
TEST(ICloudWriterModelTest, WritesWhatSettlingLeftInTheModel) {
  Card card;
  card.beginProperty("BEGIN:VCARD", Property::Kind::Begin);
  card.endProperty();
  card.addProperty("", "N", "Doe;Jane");
  card.addProperty("", "TEL", "1");
  card.properties().back().dropped = true;
  card.beginProperty("ADR");
  card.addParameter("X-P=\"a");
  card.addParameter("b:c\"");
  card.addParameter("HOME");
  card.beginValue();
  card.valueText().append(";;町;市;;;");
  card.endProperty();
  card.addProperty("item2", "X-ABLabel", "a,b");
  card.beginProperty("END:VCARD", Property::Kind::End);
  card.endProperty();
  EXPECT_EQ(vcard::detail::icloudCard(card).text,
            crlf(kOut + "FN:Doe Jane\nN:Doe;Jane\nADR;X-P=\"a;b:c\";TYPE=HOME:;;町;市;;;\n"
                        "item2.X-ABLabel:a,b\nEND:VCARD\n"));
}

}  // namespace
