// End-to-end: each source file under tests/data/engine is converted and its
// output compared byte for byte with the expected text beside it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "param_names.h"
#include "test_support.h"
#include "vcard.h"

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
    {"utf16be_nobom", kUnsupported, std::string(kFailed), false},
    {"utf16be_nobom_ascii", kUnsupported, std::string(kFailed), false},
    {"utf16be_bom", kUnsupported, std::string(kFailed), false},
    {"empty", "", std::string(kNoOutput), true},
    {"qp_soft_breaks", "", done(1, 1), true},
    {"folded", "", done(1, 1), true},
    {"photo_base64", "", done(2, 2), true},
    {"lowercase_begin_end", "", done(2, 2), true},
    {"rejected_cards", "", done(7, 6), true},
    {"three_cards_one_rejected", "", done(3, 2), true},
    {"email_types", "", done(1, 1), true},
    {"many_addresses", "", done(1, 1), true},
    {"no_end", "", std::string(kNoOutput), true},
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
  EXPECT_EQ(testsupport::readBytes(dir.file("out2.vcf")), "\xFF\xFE");
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
