#include "progress_meter.h"

#include <algorithm>

namespace vcard::detail {

ProgressMeter::ProgressMeter(const ConvertOptions& options, std::uint64_t sourceBytes) noexcept
    : callback_(options.progress && sourceBytes > 0 ? &options.progress : nullptr),
      interval_(options.progressInterval),
      last_(std::chrono::steady_clock::now()) {
  progress_.sourceBytes = sourceBytes;
}

void ProgressMeter::piece(std::uint64_t rawBegin, std::uint64_t rawEnd,
                          std::size_t textLength) noexcept {
  rawBegin_ = rawBegin;
  rawEnd_ = std::max(rawBegin, rawEnd);
  textLength_ = textLength;
  position_ = 0;
}

Progress ProgressMeter::now() const noexcept {
  Progress progress = progress_;
  std::uint64_t read = rawBegin_;
  if (textLength_ > 0) {
    // Within a text, source bytes are taken to be spread evenly over it.
    const double share =
        static_cast<double>(std::min(position_, textLength_)) / static_cast<double>(textLength_);
    read += static_cast<std::uint64_t>(share * static_cast<double>(rawEnd_ - rawBegin_));
  }
  progress.bytesRead = std::min(std::max(read, progress_.bytesRead), progress_.sourceBytes);
  progress.currentCard = begun_;
  progress.cardsWritten = written_;
  return progress;
}

void ProgressMeter::check() {
  sinceCheck_ = 0;
  const auto clock = std::chrono::steady_clock::now();
  if (clock - last_ < interval_) return;
  last_ = clock;
  tell();
}

void ProgressMeter::tell() {
  progress_ = now();
  if (!(*callback_)(progress_)) throw ConversionStopped{};
}

void ProgressMeter::step(ProgressStep step) {
  if (callback_ == nullptr) return;
  progress_.step = step;
  check();
}

void ProgressMeter::finish() {
  if (callback_ == nullptr) return;
  rawBegin_ = rawEnd_ = progress_.sourceBytes;
  textLength_ = 0;
  progress_.step = ProgressStep::Converting;
  tell();
}

}  // namespace vcard::detail
