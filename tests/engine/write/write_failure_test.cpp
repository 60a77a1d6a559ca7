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

using testsupport::TempDir;

using testsupport::kCannotWriteAlert;
using testsupport::kFailedLog;

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
  testsupport::writeBytes(source, bytes);
  const std::string output = dir.file("out.vcf");
  std::filesystem::create_directory(output);
  testsupport::writeBytes(output + "/inside.txt", "keep");

  const auto result = vCardConvert(source.c_str(), output.c_str());
  EXPECT_EQ(result[0], kCannotWriteAlert);
  EXPECT_EQ(result[1], kFailedLog);
  EXPECT_TRUE(std::filesystem::is_directory(output));
  EXPECT_EQ(testsupport::readBytes(output + "/inside.txt"), "keep");
  EXPECT_EQ(testsupport::readBytes(source), bytes);
}

TEST(WriteFailureTest, OutputFolderMissing) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  testsupport::writeBytes(source, manyCards(1));
  const auto result = vCardConvert(source.c_str(), dir.file("no/such/out.vcf").c_str());
  EXPECT_EQ(result[0], kCannotWriteAlert);
  EXPECT_EQ(result[1], kFailedLog);
}

TEST(WriteFailureTest, ReadOnlyFolderWhenNotPrivileged) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  testsupport::writeBytes(source, manyCards(1));
  const std::string folder = dir.file("ro");
  std::filesystem::create_directory(folder);
  ::chmod(folder.c_str(), 0555);
  const auto result = vCardConvert(source.c_str(), (folder + "/out.vcf").c_str());
  EXPECT_EQ(result[0], kCannotWriteAlert);
  EXPECT_FALSE(testsupport::exists(folder + "/out.vcf"));
}

// A file size limit lets the mark through but stops the cards part way, as a
// full disk would. It runs in a child so the limit does not outlive the test.
TEST(WriteFailureTest, DiskFullPartWayRemovesIncompleteOutput) {
  TempDir dir;
  const std::string source = dir.file("a.vcf");
  const std::string bytes = manyCards(200);
  testsupport::writeBytes(source, bytes);
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
        result[0] == kCannotWriteAlert && result[1] == kFailedLog && !testsupport::exists(output);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "expected the write alert and no output file";
  EXPECT_FALSE(testsupport::exists(output));
  EXPECT_EQ(testsupport::readBytes(source), bytes);
}

TEST(WriteFailureTest, OutputFileReportsAppendFailure) {
  TempDir dir;
  EXPECT_EQ(OutputFile(dir.file("missing.vcf").c_str(), "BEGIN:VCARD\r\n"), 0);
  EXPECT_FALSE(testsupport::exists(dir.file("missing.vcf")));
}

}  // namespace
