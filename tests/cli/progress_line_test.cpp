// The progress line: its text, when it is drawn, and how it is cleared.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "progress_line.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::Progress;
using vcard::ProgressStep;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Columns on a terminal: ASCII one, everything else here (kana, kanji,
// full-width space, and "…", which East Asian terminals draw wide) two.
std::size_t columns(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
      count += 1;
    else if (byte >= 0xC0)
      count += 2;
  }
  return count;
}

struct TextCase {
  std::string_view name;
  Progress progress;  // step, sourceBytes, bytesRead, currentCard, cardsWritten
  std::string_view text;
};

const TextCase kTextCases[] = {
    {"Converting", {ProgressStep::Converting, 1000, 450, 12345, 12000}, "変換中… 12,345件目　45%"},
    {"ShareRoundsDown", {ProgressStep::Converting, 1000, 999, 7, 6}, "変換中… 7件目　99%"},
    {"HundredOnlyWhenAllRead",
     {ProgressStep::Converting, kMax, kMax - 1, 1, 0},
     "変換中… 1件目　99%"},
    {"AllRead", {ProgressStep::Converting, 1000, 1000, 1000, 1000}, "変換中… 1,000件目　100%"},
    {"NoSizeNoShare", {ProgressStep::Converting, 0, 0, 999, 0}, "変換中… 999件目"},
    {"ReadingBeforeAnyCard", {ProgressStep::Reading, 5000, 150, 0, 0}, "読み込み中… 3%"},
    {"ScalingPhotos",
     {ProgressStep::ScalingPhotos, 200, 100, 100000, 99999},
     "写真を縮小中… 100,000件目　50%"},
    // The widest line there can be.
    {"Widest",
     {ProgressStep::ScalingPhotos, kMax, kMax, kMax, kMax},
     "写真を縮小中… 18,446,744,073,709,551,615件目　100%"},
};

class ProgressTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ProgressTextTest, TellsStepCardAndShareWithinEightyColumns) {
  const TextCase& c = GetParam();
  const std::string text = cli::progressText(c.progress);
  EXPECT_EQ(text, c.text);
  // One column is left so that the cursor never wraps to a new line.
  EXPECT_LE(columns(text), 79U) << text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ProgressTextTest, testing::ValuesIn(kTextCases), CaseName());

// What the program does at a moment of its run: tells a progress, or
// clears the line when the progress is nullopt.
struct Call {
  int atMilliseconds;
  std::optional<Progress> progress;
};

struct LineCase {
  std::string_view name;
  std::vector<Call> calls;
  std::string written;
};

const Progress kHalf{ProgressStep::Converting, 1000, 500, 10, 9};
const Progress kLater{ProgressStep::Converting, 1000, 900, 18, 17};
const Progress kPhotos{ProgressStep::ScalingPhotos, 1000, 900, 18, 17};
const std::string kClear = "\r\x1b[K";

const LineCase kLineCases[] = {
    {"NothingWithinTheFirstSecond", {{200, kHalf}, {999, kLater}, {999, std::nullopt}}, ""},
    {"DrawsOnceASecondHasPassed", {{999, kHalf}, {1000, kHalf}}, "\r変換中… 10件目　50%\x1b[K"},
    {"RedrawsInPlaceAndClears",
     {{1000, kHalf}, {1200, kLater}, {1400, kPhotos}, {1500, std::nullopt}},
     "\r変換中… 10件目　50%\x1b[K\r変換中… 18件目　90%\x1b[K\r写真を縮小中… 18件目　90%\x1b[K" +
         kClear},
    {"SameTextDrawnOnce", {{1100, kHalf}, {1300, kHalf}}, "\r変換中… 10件目　50%\x1b[K"},
    {"ClearedOnce",
     {{1000, kHalf}, {1100, std::nullopt}, {1200, std::nullopt}},
     "\r変換中… 10件目　50%\x1b[K" + kClear},
    // The end of a quick run is told too, but inside the first second.
    {"QuickRunLeavesNothing", {{300, kHalf}, {400, std::nullopt}}, ""},
};

class ProgressLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ProgressLineTest, WritesOnlyAfterTheDelay) {
  const LineCase& c = GetParam();
  std::chrono::steady_clock::time_point now{std::chrono::hours(5)};
  const auto start = now;
  std::string written;
  cli::ProgressLine line([&now] { return now; },
                         [&written](std::string_view bytes) { written += bytes; });
  for (const Call& call : c.calls) {
    now = start + std::chrono::milliseconds(call.atMilliseconds);
    if (call.progress)
      line.show(*call.progress);
    else
      line.clear();
  }
  EXPECT_EQ(written, c.written);
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgressLineTest, testing::ValuesIn(kLineCases), CaseName());

}  // namespace
