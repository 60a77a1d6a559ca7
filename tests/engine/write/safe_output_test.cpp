// An earlier output is never destroyed: a run that stops, fails or runs out
// of memory or disk leaves it byte for byte and no temporary beside it; a
// run that succeeds replaces the whole set of outputs, an earlier run's
// numbered parts included; a source with no card replaces nothing.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert.h"
#include "files.h"
#include "memory_convert.h"
#include "param_names.h"
#include "platform.h"
#include "read/source_stream.h"
#include "result_texts.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::Target;

std::string cards(int count, const std::string& family) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + family + ";" + std::to_string(i) +
            "\r\nTEL;CELL:090\r\nNOTE:" + std::string(40, 'x') + "\r\nEND:VCARD\r\n";
  }
  return text;
}

// Every file in the folder but the source, with its bytes.
std::map<std::string, std::string> filesIn(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "in.vcf") files[name] = testsupport::readBytes(entry.path().string());
  }
  return files;
}

std::vector<std::string> namesOf(const std::map<std::string, std::string>& files) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : files)
    names.push_back(name);
  return names;
}

enum class Fault { Stop, OutOfMemory, DiskFull, ProgramFault };
enum class Way { WholeFile, Pieces };

struct FaultCase {
  std::string_view name;
  Target target;
  Way way;
  Fault fault;
  std::string_view alert;
  std::string_view log;
};

const FaultCase kFaultCases[] = {
    {"StopWholeFile", Target::IPhone, Way::WholeFile, Fault::Stop, "", vcard::kStoppedKeptLog},
    {"StopWrittenOnAThread", Target::IPhone, Way::Pieces, Fault::Stop, "", vcard::kStoppedKeptLog},
    {"StopOverSplitParts", Target::ICloud, Way::WholeFile, Fault::Stop, "", vcard::kStoppedKeptLog},
    {"OutOfMemory", Target::IPhone, Way::WholeFile, Fault::OutOfMemory, vcard::kOutOfMemoryAlert,
     vcard::kFailedLog},
    {"OutOfMemoryOverSplitParts", Target::ICloud, Way::Pieces, Fault::OutOfMemory,
     vcard::kOutOfMemoryAlert, vcard::kFailedLog},
    {"DiskFull", Target::IPhone, Way::WholeFile, Fault::DiskFull, vcard::kCannotWriteAlert,
     vcard::kFailedLog},
    {"DiskFullWrittenOnAThread", Target::IPhone, Way::Pieces, Fault::DiskFull,
     vcard::kCannotWriteAlert, vcard::kFailedLog},
    {"DiskFullOverSplitParts", Target::ICloud, Way::WholeFile, Fault::DiskFull,
     vcard::kCannotWriteAlert, vcard::kFailedLog},
    // Any other failure is the program's, not the source's.
    {"ProgramFault", Target::IPhone, Way::Pieces, Fault::ProgramFault,
     vcard::kUnexpectedFailureAlert, vcard::kFailedLog},
};

class SafeOutputTest : public testing::Test {
 protected:
  // Converts source into out/PC.vcf; the iCloud.com form holds 40 cards a
  // file, so that a few hundred cards make numbered parts.
  std::array<std::string, 2> run(const std::string& source, Target target, Way way = Way::WholeFile,
                                 vcard::ProgressCallback progress = nullptr,
                                 vcard::ConversionReport* report = nullptr) {
    testsupport::writeBytes(in_, source);
    return convert(target, way, std::move(progress), report);
  }
  // Converts the source already written.
  std::array<std::string, 2> convert(Target target, Way way,
                                     vcard::ProgressCallback progress = nullptr,
                                     vcard::ConversionReport* report = nullptr) {
    vcard::ConvertOptions options;
    options.target = target;
    options.cardsPerFile = 40;
    options.progressInterval = std::chrono::milliseconds(0);
    options.progress = std::move(progress);
    const vcard::detail::StreamLimits limits = way == Way::Pieces
                                                   ? vcard::detail::StreamLimits{1, 512, 512}
                                                   : vcard::detail::StreamLimits{};
    vcard::ConversionReport ignored;
    return vcard::detail::convertFile(in_.c_str(), output_.c_str(), options,
                                      report != nullptr ? report : &ignored, limits);
  }

  testsupport::TempDir dir_;
  const std::string in_ = dir_.file("in.vcf");
  const std::string output_ = dir_.file("PC.vcf");
};

class SafeOutputFaultTest : public SafeOutputTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(SafeOutputFaultTest, LeavesTheEarlierOutputWholeAndNoTemporary) {
  const FaultCase& c = GetParam();
  // An earlier run's output: three numbered parts for iCloud.com.
  ASSERT_EQ(run(cards(100, "Earlier"), c.target)[0], "");
  const std::map<std::string, std::string> earlier = filesIn(dir_.path());
  ASSERT_EQ(earlier.size(), c.target == Target::ICloud ? 3u : 1u);

  // The fault comes after a few hundred cards were handed to the output;
  // a full disk is a file size limit, in a child so that it ends with it.
  const std::string source = cards(3000, "Later");
  const auto afterCards = [fault = c.fault](const vcard::Progress& progress) {
    if (progress.cardsWritten < 300) return true;
    if (fault == Fault::OutOfMemory) throw std::bad_alloc();
    if (fault == Fault::ProgramFault) throw std::logic_error("fault");
    return fault != Fault::Stop;
  };
  if (c.fault == Fault::DiskFull) {
    testsupport::writeBytes(in_, source);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{2048, 2048};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      const auto result = convert(c.target, c.way);
      ::_exit(result[0] == c.alert && result[1] == c.log ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "expected the write alert";
  } else {
    const auto result = run(source, c.target, c.way, afterCards);
    EXPECT_EQ(result[0], c.alert);
    EXPECT_EQ(result[1], c.log);
  }
  EXPECT_TRUE(filesIn(dir_.path()) == earlier)
      << "the earlier output changed or a file was left: "
      << testing::PrintToString(namesOf(filesIn(dir_.path())));
  EXPECT_TRUE(testsupport::readBytes(in_) == source) << "the source changed";
}

INSTANTIATE_TEST_SUITE_P(Faults, SafeOutputFaultTest, testing::ValuesIn(kFaultCases), CaseName());

TEST_F(SafeOutputTest, StopWithoutAnEarlierOutputSaysTheUnfinishedOneIsGone) {
  const auto result =
      run(cards(200, "A"), Target::IPhone, Way::WholeFile,
          [](const vcard::Progress& progress) { return progress.cardsWritten < 5; });
  EXPECT_EQ(result[1], vcard::kStoppedLog);
  EXPECT_TRUE(filesIn(dir_.path()).empty());
}

// Out of memory in the browser's engine: said as such, with no file offered.
TEST(MemoryOutOfMemoryTest, SaysSoAndOffersNoFile) {
  vcard::ConvertOptions options;
  options.progressInterval = std::chrono::milliseconds(0);
  options.progress = [](const vcard::Progress& progress) {
    if (progress.cardsWritten >= 3) throw std::bad_alloc();
    return true;
  };
  const vcard::MemoryConversion conversion = vcard::convertBytes(cards(50, "A"), options);
  EXPECT_EQ(conversion.result[0], vcard::kOutOfMemoryAlert);
  EXPECT_EQ(conversion.result[1], vcard::kFailedLog);
  EXPECT_TRUE(conversion.outputs.empty());
}

// The outputs of an earlier iCloud.com run and of the next one, as cards:
// 40 a file, so 100 cards make three parts.
struct SetCase {
  std::string_view name;
  int earlierCards;
  int laterCards;
  std::vector<std::string> after;
};

const SetCase kSetCases[] = {
    {"ThreePartsThenTwo", 100, 70, {"PC-1.vcf", "PC-2.vcf"}},
    {"SplitThenSingle", 100, 3, {"PC.vcf"}},
    {"SingleThenSplit", 3, 100, {"PC-1.vcf", "PC-2.vcf", "PC-3.vcf"}},
    {"ThreePartsThenThree", 100, 81, {"PC-1.vcf", "PC-2.vcf", "PC-3.vcf"}},
};

class OutputSetTest : public SafeOutputTest, public testing::WithParamInterface<SetCase> {};

TEST_P(OutputSetTest, SuccessReplacesTheWholeSetAndSaysWhatWent) {
  const SetCase& c = GetParam();
  ASSERT_EQ(run(cards(c.earlierCards, "Earlier"), Target::ICloud)[0], "");
  const std::vector<std::string> earlier = namesOf(filesIn(dir_.path()));
  // A part a person keeps to themselves stays so when it is replaced.
  for (const std::string& name : earlier)
    ASSERT_EQ(::chmod(dir_.file(name).c_str(), 0600), 0);

  vcard::ConversionReport report;
  ASSERT_EQ(run(cards(c.laterCards, "Later"), Target::ICloud, Way::WholeFile, nullptr, &report)[0],
            "");
  const std::map<std::string, std::string> after = filesIn(dir_.path());
  EXPECT_EQ(namesOf(after), c.after);
  for (const auto& [name, bytes] : after) {
    EXPECT_EQ(bytes.find("Earlier"), std::string::npos) << name << " holds the earlier run's cards";
    struct stat info {};
    ASSERT_EQ(::stat(dir_.file(name).c_str(), &info), 0);
    if (std::find(earlier.begin(), earlier.end(), name) != earlier.end()) {
      EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    }
  }
  // The files removed are the earlier ones not written again, and told.
  std::vector<std::string> removed;
  for (const std::string& name : earlier) {
    if (after.count(name) == 0) removed.push_back(dir_.file(name));
  }
  EXPECT_EQ(report.superseded, removed);
  for (const std::string& path : removed)
    EXPECT_NE(vcard::reportText(report).find(vcard::fileNameOf(path)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sets, OutputSetTest, testing::ValuesIn(kSetCases), CaseName());

TEST_F(SafeOutputTest, ATemporaryAKilledRunLeftIsRemovedByTheNextRun) {
  // What a killed run leaves: a temporary no process holds.
  const std::string leftover = dir_.file(".vcf-0123456789abcdef.partial");
  testsupport::writeBytes(leftover, "BEGIN:VCARD\r\n");
  ASSERT_EQ(run(cards(2, "A"), Target::IPhone)[0], "");
  EXPECT_EQ(namesOf(filesIn(dir_.path())), std::vector<std::string>{"PC.vcf"});
}

struct NoCardCase {
  std::string_view name;
  std::string bytes;
  bool noCardFound;  // no line began a card
};

const NoCardCase kNoCardCases[] = {
    {"Empty", "", true},
    // FF D8 FF E0 ... JFIF: the start of a JPEG picture.
    {"JPEG",
     std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01", 16) +
         std::string(2000, '\x8F'),
     true},
    {"Text", "住所録\r\n山田 太郎 090-0000-0000\r\n", true},
    {"UTF16BigEndianMarkOnly", std::string("\xFE\xFF", 2), true},
    // A card was begun: the report names it instead.
    {"CardNeverClosed", "BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\n", false},
    {"EveryCardLeftOut", "BEGIN:VCARD\r\nVERSION:9.9\r\nN:a;b\r\nEND:VCARD\r\n", false},
};

class NoCardTest : public SafeOutputTest, public testing::WithParamInterface<NoCardCase> {};

TEST_P(NoCardTest, ReplacesNothingAndSaysWhy) {
  for (const Target target : {Target::IPhone, Target::ICloud}) {
    ASSERT_EQ(run(cards(100, "Earlier"), target)[0], "");
    const std::map<std::string, std::string> earlier = filesIn(dir_.path());
    vcard::ConversionReport report;
    const auto result = run(GetParam().bytes, target, Way::WholeFile, nullptr, &report);
    EXPECT_EQ(result[0], "");
    EXPECT_EQ(result[1], vcard::kNoOutputLog);
    EXPECT_TRUE(filesIn(dir_.path()) == earlier) << "the earlier output changed";
    EXPECT_EQ(report.noCardFound, GetParam().noCardFound);
    EXPECT_EQ(
        vcard::reportText(report).starts_with("【変換レポート】vCard のカードが見つかりません"),
        GetParam().noCardFound)
        << vcard::reportText(report);
    for (const auto& [name, bytes] : earlier)
      std::filesystem::remove(dir_.file(name));
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, NoCardTest, testing::ValuesIn(kNoCardCases), CaseName());

// Permissions do not stop root: the folder turns read-only for a child that
// runs as nobody.
TEST_F(SafeOutputTest, FolderTurningReadOnlyKeepsTheEarlierOutput) {
  const std::string folder = dir_.file("shared");
  std::filesystem::create_directory(folder);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    const std::string sub = folder + "/mine";
    if (::mkdir(sub.c_str(), 0755) != 0) ::_exit(3);
    const std::string source = sub + "/in.vcf";
    const std::string output = sub + "/PC.vcf";
    vcard::ConvertOptions options;
    options.progressInterval = std::chrono::milliseconds(0);
    testsupport::writeBytes(source, cards(50, "Earlier"));
    if (!vCardConvert(source.c_str(), output.c_str(), options, nullptr)[0].empty()) ::_exit(4);
    const std::string earlier = testsupport::readBytes(output);
    testsupport::writeBytes(source, cards(3000, "Later"));
    options.progress = [&](const vcard::Progress& progress) {
      if (progress.cardsWritten >= 300) ::chmod(sub.c_str(), 0555);
      return true;
    };
    const auto result = vCardConvert(source.c_str(), output.c_str(), options, nullptr);
    if (result[0] != vcard::kCannotWriteAlert) ::_exit(5);
    if (testsupport::readBytes(output) != earlier) ::_exit(6);
    // The temporary cannot go from a read-only folder; once it is writable
    // again, the next run there removes it.
    ::chmod(sub.c_str(), 0755);
    options.progress = nullptr;
    testsupport::writeBytes(source, cards(2, "Next"));
    if (!vCardConvert(source.c_str(), output.c_str(), options, nullptr)[0].empty()) ::_exit(7);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(sub))
      ++entries;
    ::_exit(entries == 2 ? 0 : 8);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  // 5: no write alert; 6: the earlier output changed; 8: files left over.
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
