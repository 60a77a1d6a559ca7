// Faults of the machine around a conversion: an output folder that cannot be
// written, an output path that is a folder, a disk that fills up in the
// middle, a source that goes away after the checks, and source paths with
// awkward bytes. Each gets the right Japanese alert, nothing half-written
// stays behind, and the source is never touched.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "hostile_support.h"
#include "param_names.h"
#include "platform.h"
#include "source_check.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::readBytes;
using testsupport::writeBytes;

std::string manyCards(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Yamada;Taro" + std::to_string(i) +
            ";;;\r\nTEL;CELL:090-0000-0000\r\nEND:VCARD\r\n";
  }
  return text;
}

class FaultTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty());
    source = folder.path() + "/source.vcf";
    writeBytes(source, bytes);
  }
  void expectSourceUntouched() { EXPECT_TRUE(readBytes(source) == bytes) << "the source changed"; }

  testsupport::TempDir folder;
  const std::string bytes = manyCards(50);
  std::string source;
};

TEST_F(FaultTest, UnwritableOutputFolderGetsTheWriteAlert) {
  std::string output;
  if (geteuid() == 0) {
    // Permissions do not stop root; a folder of a read-only pseudo file
    // system does.
    output = "/proc/PC→iPhone.vcf";
  } else {
    const std::string locked = folder.path() + "/locked";
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    output = locked + "/PC→iPhone.vcf";
  }
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], testsupport::kCannotWriteAlert);
  EXPECT_EQ(result[1], testsupport::kFailedLog);
  EXPECT_FALSE(std::filesystem::exists(output));
  expectSourceUntouched();
}

TEST_F(FaultTest, OutputPathThatIsAFolderIsLeftAlone) {
  const std::string output = folder.path() + "/PC→iPhone.vcf";
  ASSERT_TRUE(std::filesystem::create_directory(output));
  writeBytes(output + "/keep", "precious");
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], testsupport::kCannotWriteAlert);
  EXPECT_EQ(result[1], testsupport::kFailedLog);
  EXPECT_TRUE(std::filesystem::is_directory(output));
  EXPECT_EQ(readBytes(output + "/keep"), "precious");
  expectSourceUntouched();
}

TEST_F(FaultTest, DiskFullInTheMiddleRemovesTheIncompleteOutput) {
  const std::string output = folder.path() + "/PC→iPhone.vcf";
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    // Room for the mark and a few cards only: a later append fails part way.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const auto result = vCardConvert(source.c_str(), output.c_str());
    const bool ok = result[0] == testsupport::kCannotWriteAlert &&
                    result[1] == testsupport::kFailedLog && !std::filesystem::exists(output);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the conversion died";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong result or an incomplete file was left";
  EXPECT_FALSE(std::filesystem::exists(output));
  expectSourceUntouched();

  // Without the limit the same conversion succeeds: the failure above was the
  // limit's doing.
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], "");
  EXPECT_EQ(result[1], "変換が完了しました。\n入力データ：50件、\u3000出力データ：50件\n\n");
}

TEST_F(FaultTest, SourceRemovedAfterTheChecksGetsTheReadAlert) {
  ASSERT_EQ(vcard::checkSourcePath(source), "");
  const std::string output = vcard::outputPathForSource(source);
  ASSERT_TRUE(std::filesystem::remove(source));
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], testsupport::kCannotReadAlert);
  EXPECT_EQ(result[1], testsupport::kFailedLog);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(FaultTest, SourceReplacedByAFolderGetsTheReadAlert) {
  ASSERT_EQ(vcard::checkSourcePath(source), "");
  const std::string output = vcard::outputPathForSource(source);
  ASSERT_TRUE(std::filesystem::remove(source));
  ASSERT_TRUE(std::filesystem::create_directory(source));
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], testsupport::kCannotReadAlert);
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_TRUE(std::filesystem::is_directory(source));
}

TEST_F(FaultTest, UnreadableSourceGetsTheReadAlert) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  ASSERT_EQ(chmod(source.c_str(), 0), 0);
  const std::string output = vcard::outputPathForSource(source);
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], testsupport::kCannotReadAlert);
  EXPECT_FALSE(std::filesystem::exists(output));
}

struct PathCase {
  const char* name;
  const char* folder;
  const char* file;
};

const PathCase kPathCases[] = {
    {"Spaces", "my cards", "address book.vcf"},
    {"Quotes", "it's \"here\"", "a'b\"c.VCF"},
    {"Newline", "line\nbreak", "x\ny.vcf"},
    {"NonUtf8Bytes", "sjis-\x83\x4A\x81\x5B\x83\x68", "\xFF\xFE name.vcf"},
    {"Japanese", "アドレス帳　バックアップ", "携帯.vcf"},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const PathCase& c, std::ostream* os) {
  *os << c.name;
}

class AwkwardPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(AwkwardPathTest, ConvertsBesideTheSource) {
  const PathCase& c = GetParam();
  testsupport::TempDir folder;
  const std::string dir = folder.path() + "/" + c.folder;
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  const std::string source = dir + "/" + c.file;
  const std::string bytes = manyCards(2);
  writeBytes(source, bytes);

  ASSERT_EQ(vcard::checkSourcePath(source), "");
  const std::string output = vcard::outputPathForSource(source);
  EXPECT_EQ(output, dir + "/PC→iPhone.vcf");
  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], "");
  EXPECT_EQ(result[1], "変換が完了しました。\n入力データ：2件、\u3000出力データ：2件\n\n");
  EXPECT_TRUE(std::filesystem::exists(output));
  EXPECT_TRUE(readBytes(source) == bytes);
}

INSTANTIATE_TEST_SUITE_P(Fault, AwkwardPathTest, testing::ValuesIn(kPathCases), CaseName());

TEST(SameFileTest, OutputNamingTheSourceIsCaughtByFileIdentity) {
  testsupport::TempDir folder;
  const std::string source = folder.path() + "/PC→iPhone.vcf";
  writeBytes(source, manyCards(1));
  const std::string link = folder.path() + "/link.vcf";
  ASSERT_EQ(symlink(source.c_str(), link.c_str()), 0);
  EXPECT_TRUE(platform::isSameFile(source, vcard::outputPathForSource(source)));
  EXPECT_TRUE(platform::isSameFile(link, source));
  EXPECT_TRUE(platform::isSameFile(folder.path() + "/./PC→iPhone.vcf", source));
  EXPECT_FALSE(platform::isSameFile(link, folder.path() + "/missing.vcf"));
}

}  // namespace
