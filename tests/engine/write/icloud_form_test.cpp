// The iCloud.com form: every card vCard 3.0 in UTF-8 without mark, RFC 2426
// parameters and escaping (line breaks inside values as \n), an FN as a
// Japanese address book shows the name, lines folded at 75 octets, photos
// within 224 kB and cards within 256 kB, at most so many cards per file; and
// the iPhone form untouched by all of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert.h"
#include "convert_options.h"
#include "files.h"
#include "output_names.h"
#include "param_names.h"
#include "peer_reader.h"
#include "test_images.h"
#include "test_support.h"
#include "vcard.h"
#include "vcard_report.h"
#include "write/icloud_writer.h"
#include "write/line_fold.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using enginetest::crlf;

using enginetest::base64;
using enginetest::foldedBase64;
using peer::unbase64;

struct Converted {
  std::array<std::string, 2> result;
  vcard::ConversionReport report;
  std::string bytes;  // of the output path itself
};

vcard::ConvertOptions forICloud(std::uint64_t cardsPerFile = 50'000) {
  vcard::ConvertOptions options;
  options.target = vcard::Target::ICloud;
  options.cardsPerFile = cardsPerFile;
  return options;
}

Converted convertFor(const testsupport::TempDir& dir, const std::string& source,
                     const vcard::ConvertOptions& options = forICloud()) {
  const std::string in = dir.file("in.vcf");
  const std::string out = dir.file("PC→iCloud.vcf");
  testsupport::writeBytes(in, source);
  Converted converted;
  converted.result = vCardConvert(in.c_str(), out.c_str(), options, &converted.report);
  converted.bytes = testsupport::readBytes(out);
  return converted;
}

// The logical lines of iCloud output: folds (CR LF and a blank) undone,
// cut at CR LF.
std::vector<std::string> unfoldedLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    if (!lines.empty() && !line.empty() && line[0] == ' ') {
      lines.back() += line.substr(1);
    } else {
      lines.push_back(line);
    }
    start = end + 2;
  }
  return lines;
}

// The decoded bytes of every PHOTO line of the output.
std::vector<std::string> photosOf(const std::string& bytes) {
  std::vector<std::string> photos;
  for (const std::string& line : unfoldedLines(bytes)) {
    if (line.starts_with("PHOTO;ENCODING=b"))
      photos.push_back(unbase64(line.substr(line.find(':'))));
  }
  return photos;
}

// ---- Cards, line by line ---------------------------------------------------

struct FormCase {
  std::string name;
  std::string source;    // CR LF written as they stand
  std::string expected;  // every LF written as CR LF
};

const std::string kBegin = "BEGIN:VCARD\r\n";
const std::string kEnd = "END:VCARD\r\n";
const std::string kV21 = kBegin + "VERSION:2.1\r\n";
const std::string kV30 = kBegin + "VERSION:3.0\r\n";

const FormCase kFormCases[] = {
    {"VersionTwoOneBecomesThree", kV21 + "N:Doe;John;;;\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:Doe John\nN:Doe;John;;;\nEND:VCARD\n"},
    {"CardWithoutVersionGetsOne", kBegin + "N:Doe;John\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:Doe John\nN:Doe;John\nEND:VCARD\n"},
    {"BeginAndEndInUpperCase", "begin:vcard\r\nversion:3.0\r\nN:A;B\r\nend:vcard\r\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nEND:VCARD\n"},
    {"JapaneseNameWithoutSpace", kV21 + "N:山田;太郎;;;\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田太郎\nN:山田;太郎;;;\nEND:VCARD\n"},
    {"SpaceOnlyBetweenLatinParts", kV30 + "N:山田;John;;;\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田John\nN:山田;John;;;\nEND:VCARD\n"},
    {"FullWidthLatinIsWrittenWithoutSpace", kV30 + "N:ＳＭＩＴＨ;ＪＯＨＮ\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:ＳＭＩＴＨＪＯＨＮ\nN:ＳＭＩＴＨ;ＪＯＨＮ\nEND:VCARD\n"},
    {"PrefixAndSuffixAroundTheName", kV30 + "N:Doe;John;Q.;Dr.;Jr.\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:Dr. Doe John Q. Jr.\nN:Doe;John;Q.;Dr.;Jr.\nEND:VCARD\n"},
    {"EscapedPartsOfTheName", kV30 + "N:O\\;Brien;Ann\\, Jr\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:O\\;Brien Ann\\, Jr\nN:O\\;Brien;Ann\\, Jr\nEND:VCARD\n"},
    {"NameFromCompanyWhenNoName", kV21 + "ORG:株式会社例;営業部\r\nTEL:03-1234-5678\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:株式会社例営業部\nORG:株式会社例;営業部\nTEL:03-1234-5678\n"
     "END:VCARD\n"},
    {"LatinCompanyPartsWithSpace", kV30 + "N:;;;;\r\nORG:Example Inc.;Sales\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:Example Inc. Sales\nN:;;;;\nORG:Example Inc.;Sales\n"
     "END:VCARD\n"},
    {"NameFromFNLineOfACardWithoutN", kV30 + "FN:Solo Name\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:Solo Name\nN:Solo Name;;;;\nEND:VCARD\n"},
    {"NoNameNoCompanyTakesTheAddress", kV21 + "EMAIL;INTERNET:a@example.jp\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:a@example.jp\nEMAIL;TYPE=HOME:a@example.jp\nEND:VCARD\n"},
    {"BareTypesBecomeTypeParameters", kV21 + "N:A;B\r\nTEL;CELL;VOICE:090-1111-2222\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nTEL;TYPE=CELL;TYPE=VOICE:090-1111-2222\n"
     "END:VCARD\n"},
    // 8E 52 93 63 = 山田 in Shift_JIS.
    {"CharsetParameterGone", kV21 + "N;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田\nN:山田;\nEND:VCARD\n"},
    {"QuotedPrintableBreaksEscaped",
     kV21 + "N:A;B\r\nNOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E4=B8=80=0D=0A2=0D=0A\r\n" +
         kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:一\\n2\\n\nEND:VCARD\n"},
    {"LoneCrAndLfBreaksEscaped",
     kV21 + "N:A;B\r\nNOTE;ENCODING=QUOTED-PRINTABLE:x=0Ay=0Dz\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:x\\ny\\nz\nEND:VCARD\n"},
    {"SoftLineBreaksJoinWithoutBreak",
     kV21 + "N:A;B\r\nNOTE;ENCODING=QUOTED-PRINTABLE:ab=\r\ncd\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:abcd\nEND:VCARD\n"},
    {"EscapedBreakRunningOnInAnAddress",
     kV21 + "N:A;B\r\nADR;HOME:;;1-2-3\\\r\nChiyoda;Tokyo;;100-0001;Japan\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nADR;TYPE=HOME:;;1-2-3\\nChiyoda;Tokyo;;100-0001;"
     "Japan\nEND:VCARD\n"},
    {"CommaAndSemicolonOfTwoOneTextEscaped", kV21 + "N:A;B\r\nNOTE:a, b;c\r\nTITLE:x;y\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:a\\, b\\;c\nTITLE:x\\;y\nEND:VCARD\n"},
    {"CommaInTwoOneAddressEscaped", kV21 + "N:A;B\r\nADR;WORK:;;1-2, Chiyoda;Tokyo\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nADR;TYPE=WORK:;;1-2\\, Chiyoda;Tokyo\nEND:VCARD\n"},
    {"ThreeZeroEscapesStay", kV30 + "N:A;B\r\nNOTE:a\\, b\\nc\\\\d\\;e\\Nf\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:a\\, b\\nc\\\\d\\;e\\nf\nEND:VCARD\n"},
    {"ThreeZeroListCommaStays", kV30 + "N:Doe;John;Paul,Peter\r\nNICKNAME:Jo,Johnny\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:Doe John Paul Peter\nN:Doe;John;Paul,Peter\n"
     "NICKNAME:Jo,Johnny\nEND:VCARD\n"},
    {"StrayBackslashIsText", kV21 + "N:A;B\r\nNOTE:C:\\temp\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:C:\\\\temp\nEND:VCARD\n"},
    {"NumbersAndAddressesOfTheWebUnescaped",
     kV21 + "N:A;B\r\nTEL:+81,3\r\nURL:http://example.jp/a,b\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nTEL:+81,3\nURL:http://example.jp/a,b\n"
     "END:VCARD\n"},
    {"TwoOneFoldKeepsItsBlank", kV21 + "N:A;B\r\nNOTE:abc\r\n def\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:abc def\nEND:VCARD\n"},
    {"ThreeZeroFoldDropsItsBlank", kV30 + "N:A;B\r\nNOTE:abc\r\n def\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:abcdef\nEND:VCARD\n"},
    {"LongAsciiLineFoldedAt75", kV30 + "N:A;B\r\nNOTE:" + std::string(100, 'a') + "\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:" + std::string(70, 'a') + "\n " +
         std::string(30, 'a') + "\nEND:VCARD\n"},
    {"LongJapaneseLineFoldedBetweenCharacters",
     kV30 + "N:A;B\r\nNOTE:" +
         [] {
           std::string s;
           for (int i = 0; i < 60; ++i)
             s += "あ";
           return s;
         }() +
         "\r\n" + kEnd,
     // "NOTE:" and 23 characters (74 octets: a 24th would end at 77), then
     // 24 (72 octets behind the blank), then the last 13.
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nNOTE:" +
         [] {
           std::string s;
           for (int i = 0; i < 23; ++i)
             s += "あ";
           s += "\n ";
           for (int i = 0; i < 24; ++i)
             s += "あ";
           s += "\n ";
           for (int i = 0; i < 13; ++i)
             s += "あ";
           return s;
         }() +
         "\nEND:VCARD\n"},
    {"SmallPhotoKeptWithEncodingB",
     kV21 + "N:A;B\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:" +
         foldedBase64("\xFF\xD8\xFF\xE0"
                      "abc") +
         "\r\n\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4GFiYw==\n"
     "END:VCARD\n"},
    {"PhotoTypeFromItsBytes",
     kV30 + "N:A;B\r\nPHOTO;ENCODING=b;TYPE=image/jpeg:" + base64("\x89PNG\r\n\x1A\n") + "\r\n" +
         kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\n"
     "END:VCARD\n"},
    {"PhotoByAddressOfTheWeb", kV21 + "N:A;B\r\nPHOTO;VALUE=URL:http://example.jp/a.jpg\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nPHOTO;VALUE=uri:http://example.jp/a.jpg\n"
     "END:VCARD\n"},
    {"GroupedItemsKeepTheirGroup", kV21 + "N:A;B\r\nEMAIL:x@example.jp\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B\nitem1.EMAIL:x@example.jp\n"
     "item1.X-ABLabel:_$!<Other>!$_\nEND:VCARD\n"},
    {"SoundBecomesPhoneticNames", kV21 + "N:山田;太郎\r\nSOUND:ﾔﾏﾀﾞ;ﾀﾛｳ\r\n" + kEnd,
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田太郎\nN:山田;太郎\nX-PHONETIC-LAST-NAME:ヤマダ\n"
     "X-PHONETIC-FIRST-NAME:タロウ\nEND:VCARD\n"},
};

class ICloudFormTest : public testing::TestWithParam<FormCase> {
 protected:
  testsupport::TempDir dir_;
};

TEST_P(ICloudFormTest, WritesTheCardAsICloudTakesIt) {
  const Converted converted = convertFor(dir_, GetParam().source);
  EXPECT_EQ(converted.result[0], "");
  EXPECT_EQ(converted.bytes, crlf(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Cards, ICloudFormTest, testing::ValuesIn(kFormCases), CaseName{});

// ---- Folding ----------------------------------------------------------------

struct FoldCase {
  std::string name;
  std::string line;
  std::string expected;
};

const FoldCase kFoldCases[] = {
    {"Short", "N:A", "N:A\r\n"},
    {"Exactly75", std::string(75, 'x'), std::string(75, 'x') + "\r\n"},
    {"Exactly76", std::string(76, 'x'), std::string(75, 'x') + "\r\n x\r\n"},
    {"SecondLineHolds74", std::string(75 + 74 + 1, 'x'),
     std::string(75, 'x') + "\r\n " + std::string(74, 'x') + "\r\n x\r\n"},
    // 73 ASCII octets and a three-octet character would end at 76: the
    // character moves to the next line whole.
    {"CharacterNotSplit", std::string(73, 'x') + "字", std::string(73, 'x') + "\r\n 字\r\n"},
    // A four-octet character after 72 octets ends exactly at 76.
    {"FourOctetCharacterNotSplit", std::string(72, 'x') + "\xF0\x9F\x98\x80",
     std::string(72, 'x') + "\r\n \xF0\x9F\x98\x80\r\n"},
};

class FoldTest : public testing::TestWithParam<FoldCase> {};

TEST_P(FoldTest, FoldsAt75OctetsBetweenCharacters) {
  std::string out;
  vcard::detail::appendFolded(GetParam().line, &out);
  EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, FoldTest, testing::ValuesIn(kFoldCases), CaseName{});

// ---- Photos -----------------------------------------------------------------

// Without a type, the photo line has no TYPE parameter.
std::string cardWithPhoto(const std::string& name, const std::string& picture,
                          const std::string& type, const std::string& more = "") {
  return kV21 + "N:" + name + "\r\n" + more + "PHOTO;ENCODING=BASE64" +
         (type.empty() ? "" : ";TYPE=" + type) + ":" + foldedBase64(picture) + "\r\n\r\n" + kEnd;
}

class ICloudPhotoTest : public testing::Test {
 protected:
  testsupport::TempDir dir_;
};

TEST_F(ICloudPhotoTest, LargeJpegIsScaledWithinTheLimit) {
  const std::string jpeg = testsupport::noisyJPEG(900, 700);
  ASSERT_GT(jpeg.size(), vcard::kICloudMaxPhotoBytes);
  const Converted converted =
      convertFor(dir_, kV21 + "N:Small;One\r\n" + kEnd + cardWithPhoto("山田;花子", jpeg, "JPEG"));
  const auto photos = photosOf(converted.bytes);
  ASSERT_EQ(photos.size(), 1U);
  EXPECT_LE(photos[0].size(), vcard::kICloudMaxPhotoBytes);
  const auto [width, height] = testsupport::jpegSize(photos[0]);
  EXPECT_GT(width, 0);
  EXPECT_LT(width, 900);
  EXPECT_NE(converted.bytes.find("PHOTO;ENCODING=b;TYPE=JPEG:"), std::string::npos);

  const auto& scaled = converted.report.icloud.photosScaled;
  ASSERT_EQ(scaled.size(), 1U);
  EXPECT_EQ(scaled[0].position, 2U);
  EXPECT_EQ(scaled[0].name, "山田花子");
  EXPECT_EQ(scaled[0].sourceBytes, jpeg.size());
  EXPECT_EQ(scaled[0].writtenBytes, photos[0].size());
  EXPECT_EQ(scaled[0].format, "JPEG");
  EXPECT_TRUE(converted.report.icloud.photosLeftOut.empty());
  const std::string text = vcard::reportText(converted.report);
  EXPECT_NE(text.find("縮小した写真 1件"), std::string::npos) << text;
  EXPECT_NE(text.find("2件目「山田花子」"), std::string::npos) << text;
}

struct OtherFormatCase {
  std::string name;
  std::string picture;
  std::string type;    // the TYPE parameter written in the source
  std::string format;  // as the report names it
};

const OtherFormatCase kOtherFormatCases[] = {
    {"Png", testsupport::noisyPNG(600, 500), "PNG", "PNG"},
    // A Mac address book's export: the format known by its bytes alone.
    {"TiffWithoutType", testsupport::tiffOf(testsupport::noisyIndexed(300, 300)), "", "TIFF"},
    {"Gif", testsupport::gifOf(testsupport::noisyIndexed(600, 500)), "GIF", "GIF"},
    {"BmpTypedWrongly", testsupport::bmpOf(testsupport::noisyIndexed(300, 300)), "JPEG", "BMP"},
};

class ICloudOtherFormatTest : public ICloudPhotoTest,
                              public testing::WithParamInterface<OtherFormatCase> {};

TEST_P(ICloudOtherFormatTest, LargePhotoBecomesJpegAndIsToldAmongTheScaled) {
  const OtherFormatCase& c = GetParam();
  ASSERT_GT(c.picture.size(), vcard::kICloudMaxPhotoBytes);
  const Converted converted = convertFor(dir_, cardWithPhoto("A;B", c.picture, c.type));
  const auto photos = photosOf(converted.bytes);
  ASSERT_EQ(photos.size(), 1U);
  EXPECT_LE(photos[0].size(), vcard::kICloudMaxPhotoBytes);
  EXPECT_GT(testsupport::jpegSize(photos[0]).first, 0);
  EXPECT_NE(converted.bytes.find("PHOTO;ENCODING=b;TYPE=JPEG:"), std::string::npos);
  const auto& scaled = converted.report.icloud.photosScaled;
  ASSERT_EQ(scaled.size(), 1U);
  EXPECT_EQ(scaled[0].format, c.format);
  EXPECT_EQ(scaled[0].sourceBytes, c.picture.size());
  EXPECT_EQ(scaled[0].writtenBytes, photos[0].size());
  EXPECT_TRUE(converted.report.icloud.photosLeftOut.empty());
  const std::string text = vcard::reportText(converted.report);
  EXPECT_NE(text.find("縮小した写真 1件"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Pictures, ICloudOtherFormatTest, testing::ValuesIn(kOtherFormatCases),
                         CaseName{});

TEST_F(ICloudPhotoTest, PhotoThatCannotBeScaledIsLeftOutAndTold) {
  const std::string gif = "GIF89a" + std::string(300'000, '\x5A');
  const Converted converted =
      convertFor(dir_, cardWithPhoto("Doe;Jane", gif, "GIF", "TEL:03-0000-0000\r\n"));
  EXPECT_TRUE(photosOf(converted.bytes).empty());
  // The card itself is written with everything else.
  EXPECT_NE(converted.bytes.find("TEL:03-0000-0000\r\n"), std::string::npos);
  EXPECT_EQ(converted.report.outCount, 1U);
  const auto& leftOut = converted.report.icloud.photosLeftOut;
  ASSERT_EQ(leftOut.size(), 1U);
  EXPECT_EQ(leftOut[0].name, "Doe Jane");
  EXPECT_EQ(leftOut[0].format, "GIF");
  EXPECT_EQ(leftOut[0].writtenBytes, 0U);
  const std::string text = vcard::reportText(converted.report);
  EXPECT_NE(text.find("書き出さなかった写真 1件"), std::string::npos) << text;
  EXPECT_NE(text.find("1件目「Doe Jane」　300.0 KB（GIF）"), std::string::npos) << text;
}

TEST_F(ICloudPhotoTest, PhotoShrinksToKeepTheCardWithin256KB) {
  // 200 kB of note leave less than 56 kB for a photo that alone would fit.
  const std::string jpeg = testsupport::noisyJPEG(300, 300, 90);
  ASSERT_GT(jpeg.size(), 60'000U);
  ASSERT_LT(jpeg.size(), vcard::kICloudMaxPhotoBytes);
  const Converted converted = convertFor(
      dir_, cardWithPhoto("A;B", jpeg, "JPEG", "NOTE:" + std::string(200'000, 'n') + "\r\n"));
  EXPECT_LE(converted.bytes.size(), vcard::kICloudMaxCardBytes);
  const auto photos = photosOf(converted.bytes);
  ASSERT_EQ(photos.size(), 1U);
  EXPECT_GT(testsupport::jpegSize(photos[0]).first, 0);
  EXPECT_EQ(converted.report.icloud.photosScaled.size(), 1U);
}

TEST_F(ICloudPhotoTest, PhotoWithinTheLimitsArrivesByteForByte) {
  const std::string jpeg = testsupport::noisyJPEG(200, 150, 80);
  ASSERT_LT(jpeg.size(), vcard::kICloudMaxPhotoBytes);
  const Converted converted = convertFor(dir_, cardWithPhoto("A;B", jpeg, "JPEG"));
  const auto photos = photosOf(converted.bytes);
  ASSERT_EQ(photos.size(), 1U);
  EXPECT_EQ(photos[0], jpeg);
  EXPECT_FALSE(converted.report.worthTelling());
}

// ---- Files ------------------------------------------------------------------

std::string cards(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i)
    text += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Card;" + std::to_string(i) + "\r\nEND:VCARD\r\n";
  return text;
}

int cardsIn(const std::string& bytes) {
  int count = 0;
  for (std::size_t at = 0; (at = bytes.find("BEGIN:VCARD\r\n", at)) != std::string::npos; ++at)
    ++count;
  return count;
}

TEST(ICloudFilesTest, CardsBeyondTheLimitGoToNumberedFiles) {
  testsupport::TempDir dir;
  const Converted converted = convertFor(dir, cards(7), forICloud(3));
  EXPECT_EQ(converted.result[1], testsupport::successLog(7, 7));
  EXPECT_FALSE(testsupport::exists(dir.file("PC→iCloud.vcf")));
  const std::string one = testsupport::readBytes(dir.file("PC→iCloud-1.vcf"));
  const std::string two = testsupport::readBytes(dir.file("PC→iCloud-2.vcf"));
  const std::string three = testsupport::readBytes(dir.file("PC→iCloud-3.vcf"));
  EXPECT_EQ(cardsIn(one), 3);
  EXPECT_EQ(cardsIn(two), 3);
  EXPECT_EQ(cardsIn(three), 1);
  // In source order across the files.
  EXPECT_TRUE(one.starts_with("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Card 1\r\n"));
  EXPECT_TRUE(two.starts_with("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Card 4\r\n"));
  EXPECT_TRUE(three.starts_with("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Card 7\r\n"));
  EXPECT_FALSE(testsupport::exists(dir.file("PC→iCloud-4.vcf")));

  const auto& parts = converted.report.icloud.parts;
  ASSERT_EQ(parts.size(), 3U);
  EXPECT_EQ(parts[0].path, dir.file("PC→iCloud-1.vcf"));
  EXPECT_EQ(parts[2].cards, 1U);
  const std::string text = vcard::reportText(converted.report);
  EXPECT_NE(text.find("3個のファイルに分けて書き出しました"), std::string::npos) << text;
  EXPECT_NE(text.find("  PC→iCloud-2.vcf　3件\n"), std::string::npos) << text;
}

TEST(ICloudFilesTest, CardsUpToTheLimitStayInOneFile) {
  testsupport::TempDir dir;
  const Converted converted = convertFor(dir, cards(3), forICloud(3));
  EXPECT_EQ(cardsIn(converted.bytes), 3);
  EXPECT_FALSE(testsupport::exists(dir.file("PC→iCloud-1.vcf")));
  EXPECT_TRUE(converted.report.icloud.parts.empty());
}

TEST(ICloudFilesTest, FiftyThousandAndOneCardsMakeTwoFiles) {
  testsupport::TempDir dir;
  const Converted converted = convertFor(dir, cards(50'001));
  EXPECT_EQ(cardsIn(testsupport::readBytes(dir.file("PC→iCloud-1.vcf"))), 50'000);
  EXPECT_EQ(cardsIn(testsupport::readBytes(dir.file("PC→iCloud-2.vcf"))), 1);
  EXPECT_EQ(converted.report.icloud.parts.size(), 2U);
}

TEST(ICloudFilesTest, PartNamesNumberTheFileName) {
  EXPECT_EQ(vcard::partPath("/a/PC→iCloud.vcf", 2), "/a/PC→iCloud-2.vcf");
  EXPECT_EQ(vcard::partPath("out", 1), "out-1");
  EXPECT_EQ(vcard::partPath("/a.b/out", 3), "/a.b/out-3");
}

// ---- The iPhone form stays as it is ------------------------------------------

TEST(ICloudTargetTest, IPhoneFormAfterAnICloudRunFoldsLineBreaksAgain) {
  testsupport::TempDir dir;
  const std::string source =
      kV21 + "N:A;B\r\nNOTE;ENCODING=QUOTED-PRINTABLE:x=0D=0Ay\r\nADR:;;a\\\r\nb\r\n" + kEnd;
  (void)convertFor(dir, source);
  const Converted iphone = convertFor(dir, source, {});
  enginetest::expectSameOutput(
      iphone.bytes, enginetest::outputForm("BEGIN:VCARD\nVERSION:2.1\nN:A;B\nNOTE:x\n y\n"
                                           "item1.ADR:;;a\n b\nitem1.X-ABLabel:_$!<Other>!$_\n"
                                           "END:VCARD\n"));
  EXPECT_EQ(iphone.report.target, vcard::Target::IPhone);
  EXPECT_TRUE(iphone.report.icloud.parts.empty());
}

TEST(ICloudTargetTest, ICloudReportSaysWhatWasAdaptedOnly) {
  testsupport::TempDir dir;
  const Converted converted = convertFor(dir, kV21 + "N:A;B\r\n" + kEnd);
  EXPECT_EQ(converted.report.target, vcard::Target::ICloud);
  EXPECT_EQ(converted.result[1], testsupport::successLog(1, 1));
  EXPECT_EQ(vcard::reportText(converted.report), "");
}

}  // namespace
