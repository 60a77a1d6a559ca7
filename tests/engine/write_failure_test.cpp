// Output that cannot be written is reported, and what was written removed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "test_support.h"
#include "vcard.h"

namespace {

using enginetest::TempDir;

constexpr const char* kCannotWrite = "出力ファイルに書き込めません。";
constexpr const char* kFailed = "変換処理に失敗しました。\n\n";

std::string manyCards(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Card" + std::to_string(i) + ";;;;\r\nEND:VCARD\r\n";
  return text;
}

TEST(WriteFailureTest, OutputPathIsAFolder) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  const std::string bytes = manyCards(2);
  enginetest::writeBytes(source, bytes);
  const std::string output = dir.file("out.vcf");
  std::filesystem::create_directory(output);
  enginetest::writeBytes(output + "/inside.txt", "keep");

  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], kCannotWrite);
  EXPECT_EQ(result[1], kFailed);
  EXPECT_TRUE(std::filesystem::is_directory(output));
  EXPECT_EQ(enginetest::readBytes(output + "/inside.txt"), "keep");
  EXPECT_EQ(enginetest::readBytes(source), bytes);
}

TEST(WriteFailureTest, OutputFolderMissing) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  enginetest::writeBytes(source, manyCards(1));
  const auto result = vCardConvert(source.c_str(), dir.file("no/such/out.vcf").c_str());
  EXPECT_EQ(result[0], kCannotWrite);
  EXPECT_EQ(result[1], kFailed);
}

TEST(WriteFailureTest, ReadOnlyFolderWhenNotPrivileged) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  enginetest::writeBytes(source, manyCards(1));
  const std::string folder = dir.file("ro");
  std::filesystem::create_directory(folder);
  ::chmod(folder.c_str(), 0555);
  const auto result = vCardConvert(source.c_str(), (folder + "/out.vcf").c_str());
  EXPECT_EQ(result[0], kCannotWrite);
  EXPECT_FALSE(enginetest::exists(folder + "/out.vcf"));
}

// A file size limit lets the mark through but stops the cards part way, as a
// full disk would. It runs in a child so the limit does not outlive the test.
TEST(WriteFailureTest, DiskFullPartWayRemovesIncompleteOutput) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  const std::string bytes = manyCards(200);
  enginetest::writeBytes(source, bytes);
  const std::string output = dir.file("out.vcf");

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    limit.rlim_cur = 4096;
    limit.rlim_max = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto result = vCardConvert(source.c_str(), output.c_str());
    const bool ok =
        result[0] == kCannotWrite && result[1] == kFailed && !enginetest::exists(output);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "expected the write alert and no output file";
  EXPECT_FALSE(enginetest::exists(output));
  EXPECT_EQ(enginetest::readBytes(source), bytes);
}

TEST(WriteFailureTest, OutputFileReportsAppendFailure) {
  TempDir dir;
  EXPECT_EQ(OutputFile(dir.file("missing.vcf").c_str(), "BEGIN:VCARD\r\n"), 0);
  EXPECT_FALSE(enginetest::exists(dir.file("missing.vcf")));
}

}  // namespace
