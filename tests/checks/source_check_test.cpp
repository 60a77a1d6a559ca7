// The main window's source checks and output-path rule.
#include "source_check.h"
#include "param_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "files.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::TempDir;

struct OutputPathCase {
  std::string_view name;
  std::string source;
  std::string expected;
};

const OutputPathCase kOutputPathCases[] = {
    {"AbsolutePath", "/Users/a/Desktop/list.vcf", "/Users/a/Desktop/PC→iPhone.vcf"},
    {"BareName", "list.vcf", "PC→iPhone.vcf"},
    {"TrailingSlash", "/Users/a/", "PC→iPhone.vcf"},
    {"RootFile", "/list.vcf", "/PC→iPhone.vcf"},
    {"RelativeFolder", "data/電話帳.vcf", "data/PC→iPhone.vcf"},
    {"Empty", "", "PC→iPhone.vcf"},
};

class OutputPathTest : public testing::TestWithParam<OutputPathCase> {};

TEST_P(OutputPathTest, PlacesOutputBesideSource) {
  EXPECT_EQ(vcard::outputPathForSource(GetParam().source), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, OutputPathTest, testing::ValuesIn(kOutputPathCases), CaseName());

struct SourceCheckCase {
  std::string_view name;
  std::string relative;  // created inside the temporary folder unless missing
  enum { File, Folder, Missing, NoPrefix } kind;
  std::string_view alert;
};

const std::string_view kOk = "";

const SourceCheckCase kSourceCheckCases[] = {
    {"Empty", "", SourceCheckCase::NoPrefix, vcard::kEmptySourceAlert},
    {"Missing", "missing.vcf", SourceCheckCase::Missing, vcard::kMissingSourceAlert},
    {"LowerCaseExtension", "a.vcf", SourceCheckCase::File, kOk},
    {"UpperCaseExtension", "contacts.VCF", SourceCheckCase::File, kOk},
    {"MixedCaseExtension", "contacts.Vcf", SourceCheckCase::File, kOk},
    {"TxtAfterVcf", "contacts.vcf.txt", SourceCheckCase::File, vcard::kNotVCardAlert},
    {"NoExtension", "contacts", SourceCheckCase::File, vcard::kNotVCardAlert},
    {"EndsInDot", "contacts.", SourceCheckCase::File, vcard::kNotVCardAlert},
    {"DotOnlyInFolder", "a.vcf/contacts", SourceCheckCase::File, vcard::kNotVCardAlert},
    {"FolderNamedVcf", "folder.vcf", SourceCheckCase::Folder, kOk},
    // Existence is checked before length.
    {"TooLongButMissing", std::string(300, 'x') + ".vcf", SourceCheckCase::Missing,
     vcard::kMissingSourceAlert},
};

class SourceCheckTest : public testing::TestWithParam<SourceCheckCase> {};

TEST_P(SourceCheckTest, GivesFirstFailedCheck) {
  const SourceCheckCase& c = GetParam();
  TempDir dir;
  std::string path = c.kind == SourceCheckCase::NoPrefix ? c.relative : dir.file(c.relative);
  if (c.kind == SourceCheckCase::File) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testsupport::writeBytes(path, "BEGIN:VCARD\n");
  } else if (c.kind == SourceCheckCase::Folder) {
    std::filesystem::create_directories(path);
  }
  EXPECT_EQ(vcard::checkSourcePath(path), c.alert);
}

INSTANTIATE_TEST_SUITE_P(Paths, SourceCheckTest, testing::ValuesIn(kSourceCheckCases), CaseName());

// Builds an existing path of exactly the given number of UTF-16 units. With
// wide set, a folder of 30 characters outside the basic plane (two units and
// four bytes each) comes first, so units and bytes differ.
std::string pathOfUnits(const TempDir& dir, std::size_t units, bool wide) {
  std::string folder = dir.path() + "/";
  std::size_t used = folder.size();
  if (wide) {
    for (int i = 0; i < 30; ++i)
      folder += "\xF0\xA0\xAE\xB7";  // U+20BB7
    folder += "/";
    used += 61;
    std::filesystem::create_directories(folder);
  }
  const std::string path = folder + std::string(units - used - 4, 'a') + ".vcf";
  testsupport::writeBytes(path, "x");
  return path;
}

TEST(SourceLengthTest, AllowsUpTo255Units) {
  struct Case {
    std::size_t units;
    bool wide;
    std::string_view alert;
  };
  const Case cases[] = {
      {255, false, kOk},
      {256, false, vcard::kPathTooLongAlert},
      {255, true, kOk},
      {256, true, vcard::kPathTooLongAlert},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.units) + (c.wide ? " wide" : " ascii"));
    TempDir dir;
    const std::string path = pathOfUnits(dir, c.units, c.wide);
    EXPECT_EQ(vcard::checkSourcePath(path), c.alert);
  }
}

}  // namespace
