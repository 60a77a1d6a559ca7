// A conversion's progress as the engine tells it: monotonic, complete at the
// end, nothing for an empty source, a stop that leaves nothing written, and
// the photo step of the iCloud.com form.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base64.h"
#include "convert.h"
#include "files.h"
#include "memory_convert.h"
#include "param_names.h"
#include "read/source_stream.h"
#include "result_texts.h"
#include "test_images.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

std::string cards(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:山田;太郎" + std::to_string(i) +
            "\r\nTEL;CELL:090\r\nX-GNO:1\r\nEND:VCARD\r\n";
  }
  return text;
}

struct Watched {
  std::array<std::string, 2> result;
  vcard::ConversionReport report;
  std::vector<vcard::Progress> events;
  std::vector<std::string> filesLeft;
};

enum class Way { WholeFile, Pieces, Memory };

// Converts source one way, telling every event (the interval is 0); the
// callback answers goOn for the events before the stop-th and false then.
Watched convert(const std::string& source, Way way, vcard::Target target = vcard::Target::IPhone,
                std::size_t stopAt = SIZE_MAX) {
  Watched run;
  vcard::ConvertOptions options;
  options.target = target;
  options.cardsPerFile = 100;
  options.progressInterval = std::chrono::milliseconds(0);
  options.progress = [&run, stopAt](const vcard::Progress& progress) {
    run.events.push_back(progress);
    return run.events.size() < stopAt;
  };
  if (way == Way::Memory) {
    vcard::MemoryConversion memory = vcard::convertBytes(source, options);
    run.result = memory.result;
    run.report = memory.report;
    for (const vcard::OutputFile& file : memory.outputs)
      run.filesLeft.push_back(file.name);
    return run;
  }
  testsupport::TempDir in;
  testsupport::TempDir out;
  const std::string path = in.file("in.vcf");
  testsupport::writeBytes(path, source);
  const vcard::detail::StreamLimits limits =
      way == Way::Pieces ? vcard::detail::StreamLimits{1, 512} : vcard::detail::StreamLimits{};
  run.result = vcard::detail::convertFile(path.c_str(), out.file("PC.vcf").c_str(), options,
                                          &run.report, limits);
  for (const auto& entry : std::filesystem::directory_iterator(out.path()))
    run.filesLeft.push_back(entry.path().filename().string());
  return run;
}

struct WayCase {
  std::string_view name;
  Way way;
  vcard::Target target;
};

const WayCase kWays[] = {
    {"WholeFile", Way::WholeFile, vcard::Target::IPhone},
    {"Pieces", Way::Pieces, vcard::Target::IPhone},
    {"Memory", Way::Memory, vcard::Target::IPhone},
    {"ICloudInParts", Way::WholeFile, vcard::Target::ICloud},
};

class ProgressTest : public testing::TestWithParam<WayCase> {};

TEST_P(ProgressTest, GrowsAndEndsAtTheSourceAndTheCardsWritten) {
  const std::string source = cards(300);
  const Watched run = convert(source, GetParam().way, GetParam().target);
  ASSERT_EQ(run.result[0], "");
  ASSERT_GT(run.events.size(), 2u);
  for (std::size_t i = 1; i < run.events.size(); ++i) {
    EXPECT_GE(run.events[i].bytesRead, run.events[i - 1].bytesRead) << "event " << i;
    EXPECT_GE(run.events[i].cardsWritten, run.events[i - 1].cardsWritten) << "event " << i;
    EXPECT_LE(run.events[i].bytesRead, source.size()) << "event " << i;
  }
  const vcard::Progress& last = run.events.back();
  EXPECT_EQ(last.sourceBytes, source.size());
  EXPECT_EQ(last.bytesRead, source.size());
  EXPECT_EQ(last.cardsWritten, 300u);
  EXPECT_EQ(last.currentCard, 300u);
  EXPECT_EQ(last.step, vcard::ProgressStep::Converting);
}

TEST_P(ProgressTest, StopLeavesNothingWritten) {
  const Watched run = convert(cards(300), GetParam().way, GetParam().target, 3);
  EXPECT_EQ(run.events.size(), 3u);
  EXPECT_EQ(run.result[0], "");
  EXPECT_EQ(run.result[1], vcard::kStoppedLog);
  EXPECT_TRUE(run.filesLeft.empty()) << run.filesLeft.front();
}

TEST_P(ProgressTest, EmptySourceTellsNothing) {
  const Watched run = convert("", GetParam().way, GetParam().target);
  EXPECT_TRUE(run.events.empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, ProgressTest, testing::ValuesIn(kWays), CaseName{});

TEST(ProgressPhotoTest, ScalingAPhotoIsTold) {
  std::string photo;
  strutil::appendBase64(testsupport::noisyJPEG(900, 700), &photo);
  const std::string source =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + photo +
      "\r\nEND:VCARD\r\n";
  const Watched run = convert(source, Way::Memory, vcard::Target::ICloud);
  ASSERT_EQ(run.report.icloud.photosScaled.size(), 1u);
  bool scaling = false;
  for (const vcard::Progress& progress : run.events)
    scaling = scaling || progress.step == vcard::ProgressStep::ScalingPhotos;
  EXPECT_TRUE(scaling);
  EXPECT_EQ(run.events.back().step, vcard::ProgressStep::Converting);
}

}  // namespace
