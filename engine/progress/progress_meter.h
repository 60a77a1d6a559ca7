// A conversion's progress, measured as it runs and told to the caller's
// callback at most once an interval. Checking costs a comparison per card
// and a look at the clock every few cards or megabytes, so that a
// conversion nobody watches runs as fast as one without a meter.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "convert_options.h"

namespace vcard::detail {

// Thrown through the conversion when the callback asks it to stop; the
// driver removes what was written.
struct ConversionStopped {};

class ProgressMeter {
 public:
  ProgressMeter(const ConvertOptions& options, std::uint64_t sourceBytes) noexcept;
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // The text now being read came from source bytes [rawBegin, rawEnd) and
  // is textLength bytes long: positions in it are told as source bytes.
  void piece(std::uint64_t rawBegin, std::uint64_t rawEnd, std::size_t textLength) noexcept;

  // A card ended at textPosition of the current text; begun cards so far
  // and the cards written.
  void cardEnded(std::size_t textPosition, std::uint64_t begun, std::uint64_t written) {
    if (callback_ == nullptr) return;
    position_ = textPosition;
    begun_ = begun;
    written_ = written;
    if (++sinceCheck_ >= kCardsPerCheck) check();
  }

  // The conversion moved to another step; told when due.
  void step(ProgressStep step);

  // The conversion has read its whole source: told once more, complete.
  void finish();

  // The progress as it stands.
  [[nodiscard]] Progress now() const noexcept;

 private:
  static constexpr std::uint32_t kCardsPerCheck = 16;
  void check();
  void tell();

  // The caller's callback; null when there is none or nothing to tell of
  // (an empty source).
  const ProgressCallback* callback_;
  std::chrono::steady_clock::duration interval_;
  std::chrono::steady_clock::time_point last_;
  Progress progress_;
  std::uint64_t rawBegin_ = 0;
  std::uint64_t rawEnd_ = 0;
  std::size_t textLength_ = 0;
  std::size_t position_ = 0;
  std::uint64_t begun_ = 0;
  std::uint64_t written_ = 0;
  std::uint32_t sinceCheck_ = 0;
};

}  // namespace vcard::detail
