// A conversion in memory is the conversion of a file holding the same bytes:
// the same result texts, the same report and the same output files, name by
// name and byte by byte, with nothing left behind for the next conversion.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "convert.h"
#include "engine_texts.h"
#include "files.h"
#include "memory_convert.h"
#include "output_names.h"
#include "param_names.h"
#include "read/source_stream.h"
#include "report_json.h"
#include "result_texts.h"
#include "test_support.h"
#include "vcard.h"
#include "vcard_report.h"
#include "write/output.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using testsupport::TempDir;
using vcard::Target;

// The .vcf files in folder, or in its subfolders, sorted.
std::vector<std::filesystem::path> vcfFiles(const std::filesystem::path& folder, bool subfolders) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  std::vector<std::filesystem::path> folders;
  if (!subfolders) folders.push_back(folder);
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (subfolders && entry.is_directory()) folders.push_back(entry.path());
  }
  for (const auto& dir : folders) {
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (entry.path().extension() == ".vcf") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Everything a conversion gives a caller.
struct Outcome {
  std::array<std::string, 2> result;
  std::string reportText;
  std::string reportDocument;  // the whole report, the parts named by file name
  std::vector<vcard::OutputFile> outputs;
};

Outcome outcomeOf(const std::array<std::string, 2>& result, vcard::ConversionReport report,
                  std::vector<vcard::OutputFile> outputs) {
  // On disk the parts are told by path, in memory by name.
  for (vcard::OutputPart& part : report.icloud.parts)
    part.path = vcard::fileNameOf(part.path);
  return {result, vcard::reportText(report), vcard::reportJson(result, report, 0),
          std::move(outputs)};
}

// vCardConvert over the bytes in a file, writing into a folder of its own:
// the files it left there in the order it made them (its parts' order when
// it split), then any other file it left, which no memory run names.
Outcome convertFile(const std::string& bytes, const vcard::ConvertOptions& options,
                    const vcard::detail::StreamLimits& limits = {}) {
  TempDir in;
  TempDir out;
  const std::string source = in.file("source.vcf");
  testsupport::writeBytes(source, bytes);
  const std::string name = vcard::outputFileName(options.target);
  vcard::ConversionReport report;
  const auto result =
      vcard::detail::convertFile(source.c_str(), out.file(name).c_str(), options, &report, limits);

  std::map<std::string, std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(out.path()))
    left[entry.path().filename().string()] = testsupport::readBytes(entry.path().string());
  std::vector<std::string> order;
  for (const vcard::OutputPart& part : report.icloud.parts)
    order.push_back(vcard::fileNameOf(part.path));
  if (order.empty()) order.push_back(name);
  std::vector<vcard::OutputFile> outputs;
  for (const std::string& file : order) {
    if (const auto found = left.find(file); found != left.end()) {
      outputs.push_back({file, found->second});
      left.erase(found);
    }
  }
  for (const auto& [file, content] : left)
    outputs.push_back({file, content});
  return outcomeOf(result, report, std::move(outputs));
}

// A source in memory read a few bytes at a time, as a page reads slices of
// a file.
class SliceReader final : public vcard::SourceReader {
 public:
  SliceReader(std::string_view bytes, std::size_t slice) : bytes_(bytes), slice_(slice) {}
  [[nodiscard]] std::uint64_t size() const override { return bytes_.size(); }
  [[nodiscard]] std::optional<std::size_t> readSome(char* out, std::size_t count) override {
    const std::size_t n = std::min({count, slice_, bytes_.size() - at_});
    std::copy_n(bytes_.data() + at_, n, out);
    at_ += n;
    return n;
  }
  [[nodiscard]] bool rewind() override {
    at_ = 0;
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t slice_;
  std::size_t at_ = 0;
};

// convertPieces over the bytes read in odd slices, its files collected.
Outcome convertReceived(const std::string& bytes, const vcard::ConvertOptions& options,
                        const vcard::detail::StreamLimits& limits) {
  SliceReader reader(bytes, 77);
  std::vector<vcard::OutputFile> outputs;
  vcard::detail::FileCollector files(&outputs);
  vcard::ReceivedConversion conversion =
      vcard::detail::convertPieces(reader, options, files, limits);
  return outcomeOf(conversion.result, conversion.report, std::move(outputs));
}

Outcome convertMemory(const std::string& bytes, const vcard::ConvertOptions& options) {
  vcard::MemoryConversion conversion = vcard::convertBytes(bytes, options);
  return outcomeOf(conversion.result, conversion.report, std::move(conversion.outputs));
}

std::vector<std::string> namesOf(const std::vector<vcard::OutputFile>& outputs) {
  std::vector<std::string> names;
  for (const vcard::OutputFile& file : outputs)
    names.push_back(file.name);
  return names;
}

void expectSame(const Outcome& memory, const Outcome& file) {
  EXPECT_EQ(memory.result, file.result);
  EXPECT_EQ(memory.reportText, file.reportText);
  EXPECT_EQ(memory.reportDocument, file.reportDocument);
  ASSERT_EQ(namesOf(memory.outputs), namesOf(file.outputs));
  for (std::size_t i = 0; i < memory.outputs.size(); ++i) {
    EXPECT_TRUE(memory.outputs[i].bytes == file.outputs[i].bytes)
        << memory.outputs[i].name << " differs (" << memory.outputs[i].bytes.size() << " vs "
        << file.outputs[i].bytes.size() << " bytes)";
  }
}

struct TargetCase {
  std::string_view name;
  Target target;
  std::uint64_t cardsPerFile;
  bool filesInPieces;  // the file run reads its source in small pieces
};

const TargetCase kTargetCases[] = {
    {"IPhone", Target::IPhone, 50'000, false},
    {"ICloud", Target::ICloud, 50'000, false},
    {"ICloudInParts", Target::ICloud, 2, false},
    // In memory the source is always loaded whole.
    {"IPhoneFileReadInPieces", Target::IPhone, 50'000, true},
    {"ICloudInPartsFileReadInPieces", Target::ICloud, 3, true},
};

class MemoryConvertTest : public testing::TestWithParam<TargetCase> {
 protected:
  // Compares every file; returns how many of them the memory run split.
  std::size_t compareAll(const std::vector<std::filesystem::path>& files) {
    const TargetCase& c = GetParam();
    vcard::ConvertOptions options;
    options.target = c.target;
    options.cardsPerFile = c.cardsPerFile;
    const vcard::detail::StreamLimits limits =
        c.filesInPieces ? vcard::detail::StreamLimits{1, 64} : vcard::detail::StreamLimits{};
    std::size_t split = 0;
    for (const auto& path : files) {
      SCOPED_TRACE(path.parent_path().filename().string() + "/" + path.filename().string());
      const std::string bytes = testsupport::readBytes(path.string());
      const Outcome memory = convertMemory(bytes, options);
      const Outcome file = convertFile(bytes, options, limits);
      expectSame(memory, file);
      {
        SCOPED_TRACE("read by a reader, handed to a receiver");
        expectSame(convertReceived(bytes, options, limits), file);
      }
      if (memory.outputs.size() > 1) ++split;
    }
    return split;
  }
};

TEST_P(MemoryConvertTest, GoldenFilesConvertAsFromAFile) {
  const auto files = vcfFiles(std::string(TEST_DATA_DIR) + "/engine", false);
  ASSERT_GE(files.size(), 20u);
  const std::size_t split = compareAll(files);
  if (GetParam().cardsPerFile < 50'000) {
    EXPECT_GT(split, 0u) << "no file was split into parts";
  }
}

TEST_P(MemoryConvertTest, PeerExportsConvertAsFromAFile) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const auto files = vcfFiles(root, true);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();
  compareAll(files);
}

INSTANTIATE_TEST_SUITE_P(Targets, MemoryConvertTest, testing::ValuesIn(kTargetCases), CaseName());

struct BytesCase {
  std::string_view name;
  std::string bytes;
  Target target;
  std::string_view alert;
  std::string_view log;
  bool loaded;  // the report tells what the source was
  std::vector<vcard::OutputFile> outputs;
};

// FF FD FE FC: no mark, no UTF-8, no Shift_JIS, no single-byte text.
const std::string kUndecodable = "\xFF\xFD\xFE\xFC";

const BytesCase kBytesCases[] = {
    {"Empty", "", Target::IPhone, "", testsupport::kNoOutputLog, true, {}},
    {"EmptyForICloud", "", Target::ICloud, "", testsupport::kNoOutputLog, true, {}},
    {"NoCard", "hello\r\n", Target::IPhone, "", testsupport::kNoOutputLog, true, {}},
    {"CardNeverClosed",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\n",
     Target::IPhone,
     "",
     testsupport::kNoOutputLog,
     true,
     {}},
    {"Undecodable",
     kUndecodable,
     Target::IPhone,
     testsupport::kCannotReadAlert,
     testsupport::kFailedLog,
     false,
     {}},
    {"UndecodableForICloud",
     kUndecodable,
     Target::ICloud,
     testsupport::kCannotReadAlert,
     testsupport::kFailedLog,
     false,
     {}},
};

class MemoryConvertBytesTest : public testing::TestWithParam<BytesCase> {};

TEST_P(MemoryConvertBytesTest, GivesTheResultOfAFile) {
  const BytesCase& c = GetParam();
  vcard::ConvertOptions options;
  options.target = c.target;
  const vcard::MemoryConversion conversion = vcard::convertBytes(c.bytes, options);
  EXPECT_EQ(conversion.result[0], c.alert);
  EXPECT_EQ(conversion.result[1], c.log);
  EXPECT_EQ(conversion.report.loaded, c.loaded);
  EXPECT_EQ(conversion.report.target, c.target);
  ASSERT_EQ(namesOf(conversion.outputs), namesOf(c.outputs));
  for (std::size_t i = 0; i < c.outputs.size(); ++i)
    EXPECT_EQ(conversion.outputs[i].bytes, c.outputs[i].bytes);
}

INSTANTIATE_TEST_SUITE_P(Bytes, MemoryConvertBytesTest, testing::ValuesIn(kBytesCases), CaseName());

// Runs in the empty folder for its length, so that a file written by name
// beside the program shows.
class WorkingFolderScope {
 public:
  explicit WorkingFolderScope(const std::string& folder) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingFolderScope() { std::filesystem::current_path(saved_); }
  WorkingFolderScope(const WorkingFolderScope&) = delete;
  WorkingFolderScope& operator=(const WorkingFolderScope&) = delete;

 private:
  std::filesystem::path saved_;
};

// Conversions in a row, in memory and from files, failed and split: each
// gives what it gives alone, the engine-wide paths name no earlier file, and
// nothing reaches the file system.
TEST(MemoryConvertRowTest, LeavesNothingBehindForTheNext) {
  const std::string cards =
      testsupport::readBytes(std::string(TEST_DATA_DIR) + "/engine/rejected_cards.vcf");
  vcard::ConvertOptions inParts;
  inParts.target = Target::ICloud;
  inParts.cardsPerFile = 2;
  const vcard::ConvertOptions iPhone;

  TempDir working;
  const WorkingFolderScope scope(working.path());
  const Outcome first = convertMemory(cards, inParts);
  ASSERT_GT(first.outputs.size(), 1u);
  const Outcome firstIPhone = convertMemory(cards, iPhone);

  (void)convertMemory(kUndecodable, iPhone);
  (void)convertFile(cards, iPhone);
  expectSame(convertMemory(cards, inParts), first);
  (void)convertMemory(kUndecodable, inParts);
  expectSame(convertMemory(cards, iPhone), firstIPhone);

  EXPECT_STREQ(orgFile, "");
  EXPECT_STREQ(dstFile, "");
  EXPECT_TRUE(std::filesystem::is_empty(working.path()));
}

// A conversion stopped on the way hands back no file, even of the parts it
// had finished: each stop in a run of many parts is tried.
TEST(ReceivedConversionTest, StoppedOnTheWayLeavesNoFile) {
  std::string source;
  for (int i = 1; i <= 400; ++i)
    source += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;" + std::to_string(i) + "\r\nEND:VCARD\r\n";
  for (const int stopAt : {1, 3, 10}) {
    SCOPED_TRACE(stopAt);
    vcard::ConvertOptions options;
    options.target = Target::ICloud;
    options.cardsPerFile = 30;
    options.progressInterval = std::chrono::milliseconds(0);
    int told = 0;
    options.progress = [&](const vcard::Progress&) { return ++told < stopAt; };
    SliceReader reader(source, 500);
    std::vector<vcard::OutputFile> outputs;
    vcard::detail::FileCollector files(&outputs);
    const vcard::ReceivedConversion conversion =
        vcard::detail::convertPieces(reader, options, files, vcard::detail::StreamLimits{1, 512});
    EXPECT_EQ(conversion.result[0], "");
    EXPECT_EQ(conversion.result[1], vcard::kStoppedLog);
    EXPECT_TRUE(outputs.empty()) << outputs.size() << " files, the first " << outputs[0].name;
  }
}

// A fault while the pieces are converted is told as what it is, never as a
// source that cannot be read, and leaves no file.
TEST(PiecesFaultTest, SaysWhichFaultItWasAndLeavesNoFile) {
  struct Fault {
    std::string_view name;
    void (*raise)();
    std::string_view alert;
  };
  const Fault faults[] = {
      {"OutOfMemory", [] { throw std::bad_alloc(); }, vcard::kOutOfMemoryAlert},
      {"ProgramFault", [] { throw std::logic_error("fault"); }, vcard::kUnexpectedFailureAlert},
  };
  std::string source;
  for (int i = 1; i <= 400; ++i)
    source += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;" + std::to_string(i) + "\r\nEND:VCARD\r\n";
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    vcard::ConvertOptions options;
    options.progressInterval = std::chrono::milliseconds(0);
    options.progress = [&](const vcard::Progress& progress) {
      if (progress.cardsWritten >= 3) fault.raise();
      return true;
    };
    SliceReader reader(source, 500);
    std::vector<vcard::OutputFile> outputs;
    vcard::detail::FileCollector files(&outputs);
    const vcard::ReceivedConversion conversion =
        vcard::detail::convertPieces(reader, options, files, vcard::detail::StreamLimits{1, 512});
    EXPECT_EQ(conversion.result[0], fault.alert);
    EXPECT_EQ(conversion.result[1], vcard::kFailedLog);
    EXPECT_TRUE(outputs.empty());
  }
}

}  // namespace
