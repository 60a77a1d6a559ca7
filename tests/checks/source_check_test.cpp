// The main window's source checks and output-path rule.
#include "source_check.h"
#include "param_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "files.h"
#include "platform.h"
#include "regex_additions.h"

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

// The extension rule as the window states it, on the path read as text:
// "\\.[^/\\.]+$" finds the extension, which upper-cased must be "VCF".
std::string_view alertByPattern(const std::string& path) {
  const icu::UnicodeString text =
      platform::decodeLossy(path.data(), path.size(), platform::Encoding::UTF8);
  const rx::Range range = rx::rangeOfRegex(text, icu::UnicodeString(u"\\.[^/\\.]+$"));
  if (range.location == rx::NSNotFound || range.length == 0) return vcard::kNotVCardAlert;
  const icu::UnicodeString extension = text.tempSubString(
      static_cast<std::int32_t>(range.location + 1), static_cast<std::int32_t>(range.length - 1));
  if (platform::uppercase(extension) != icu::UnicodeString(u"VCF")) return vcard::kNotVCardAlert;
  return text.length() > 255 ? vcard::kPathTooLongAlert : kOk;
}

// Existing paths built from pieces (folders with and without a dot, line
// terminators a pattern's "$" may stop before, letters that upper-case
// beyond ASCII, stray bytes), judged as the pattern judges them.
TEST(SourceExtensionTest, JudgesAsThePatternOnText) {
  const std::string kPrefixes[] = {
      "", "a", "a.b", "ab.vcf/", std::string(250, 'd') + "/", "\xE3\x81\x82"};  // あ
  const std::string kTails[] = {"vcf",
                                "VCF",
                                "vCf",
                                "vc",
                                "vcff",
                                "vcf.",
                                "vcf/",
                                "vcf ",
                                "vcf\n",
                                "vcf\r\n",
                                "vcf\xC2\x85",      // U+0085, a line end to "$"
                                "vcf\xE2\x80\xA8",  // U+2028
                                "\xEF\xBD\x96\xEF\xBD\x83\xEF\xBD\x86",  // ｖｃｆ
                                "v\xEF\xAC\x80",                         // v and the ligature ﬀ
                                "vcf\xFF",
                                "\xE3vcf",
                                "\xFF",
                                ""};
  int judged = 0;
  for (const std::string& prefix : kPrefixes) {
    for (const std::string_view dot : {"", "."}) {
      for (const std::string& tail : kTails) {
        const std::string name = prefix + std::string(dot) + tail;
        const std::string last = name.substr(name.rfind('/') + 1);
        if (name.empty() || last == "." || last == "..") continue;
        SCOPED_TRACE(testing::PrintToString(name));
        TempDir dir;
        const std::string path = dir.file(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        if (last.empty()) {
          std::filesystem::create_directories(path);
        } else {
          testsupport::writeBytes(path, "x");
        }
        EXPECT_EQ(vcard::checkSourcePath(path), alertByPattern(path));
        ++judged;
      }
    }
  }
  EXPECT_GT(judged, 200);
}

}  // namespace
