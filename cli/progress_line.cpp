#include "progress_line.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace cli {

namespace {

// Carriage return goes back to the line's start; ESC [ K erases from the
// cursor to the line's end, so a shorter line leaves nothing of a longer one.
constexpr std::string_view kLineStart = "\r";
constexpr std::string_view kEraseToEnd = "\x1b[K";

std::string_view stepLabel(vcard::ProgressStep step) {
  switch (step) {
    case vcard::ProgressStep::Reading:
      return "読み込み中…";
    case vcard::ProgressStep::Converting:
      return "変換中…";
    case vcard::ProgressStep::ScalingPhotos:
      return "写真を縮小中…";
  }
  return "変換中…";
}

// 12345 as "12,345".
std::string grouped(std::uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The share of the source read, rounded down: 100 only once all of it is.
unsigned percentRead(const vcard::Progress& progress) {
  if (progress.bytesRead >= progress.sourceBytes) return 100;
  const double share =
      static_cast<double>(progress.bytesRead) * 100.0 / static_cast<double>(progress.sourceBytes);
  return std::min(static_cast<unsigned>(share), 99U);
}

}  // namespace

std::string progressText(const vcard::Progress& progress) {
  std::string text(stepLabel(progress.step));
  std::string_view separator = " ";
  if (progress.currentCard > 0) {
    text += std::string(separator) + grouped(progress.currentCard) + "件目";
    separator = "　";
  }
  // An empty or unsized source has no share to tell.
  if (progress.sourceBytes > 0)
    text += std::string(separator) + std::to_string(percentRead(progress)) + "%";
  return text;
}

ProgressLine::ProgressLine(Clock clock, Writer writer, std::chrono::milliseconds delay)
    : clock_(std::move(clock)), writer_(std::move(writer)), start_(clock_()), delay_(delay) {}

void ProgressLine::show(const vcard::Progress& progress) {
  if (clock_() - start_ < delay_) return;
  std::string text = progressText(progress);
  if (text == shown_) return;
  writer_(std::string(kLineStart) + text + std::string(kEraseToEnd));
  shown_ = std::move(text);
}

void ProgressLine::clear() {
  if (shown_.empty()) return;
  writer_(std::string(kLineStart) + std::string(kEraseToEnd));
  shown_.clear();
}

}  // namespace cli
