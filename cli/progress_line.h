// The one-line progress display of a long conversion on a terminal: drawn on
// standard error over itself, and cleared before the result is printed so
// that the terminal afterwards shows what it would without it.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "convert_options.h"

namespace cli {

// A run shorter than this shows no progress at all.
inline constexpr std::chrono::milliseconds kProgressDelay{1000};

// The line for a progress, e.g. "変換中… 12,345件目　45%": at most 51
// columns wide, so it fits an 80-column terminal.
[[nodiscard]] std::string progressText(const vcard::Progress& progress);

class ProgressLine {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Writer = std::function<void(std::string_view)>;

  // The run starts now, as the clock tells; nothing is drawn before delay
  // has passed.
  ProgressLine(Clock clock, Writer writer, std::chrono::milliseconds delay = kProgressDelay);

  // Draws the progress in place of the line shown, once the delay is over.
  void show(const vcard::Progress& progress);

  // Removes the line drawn, if any.
  void clear();

 private:
  Clock clock_;
  Writer writer_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::milliseconds delay_;
  std::string shown_;  // the text on the terminal; empty when none
};

}  // namespace cli
