// The check shared by the hostile-input and fault tests that a result is one
// of the engine's fixed texts and the output file matches it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "engine_texts.h"
#include "files.h"

namespace hostile {

// True when the log text is the success format with any two counts.
inline bool isSuccessLog(const std::string& log) {
  // The fixed parts around the two counts, from the one typed format.
  const std::string sample = testsupport::successLog(1, 2);
  const std::string head = sample.substr(0, sample.find('1'));
  const std::string middle = sample.substr(head.size() + 1, sample.find('2') - head.size() - 1);
  const std::string tail = sample.substr(sample.find('2') + 1);
  if (log.rfind(head, 0) != 0) return false;
  const std::size_t mid = log.find(middle, head.size());
  if (mid == std::string::npos || mid == head.size()) return false;
  if (log.size() < tail.size() || log.compare(log.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  const std::string first = log.substr(head.size(), mid - head.size());
  const std::size_t from = mid + middle.size();
  const std::string second = log.substr(from, log.size() - tail.size() - from);
  auto digits = [](const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
  };
  return digits(first) && digits(second);
}

// Checks that the result is one of the fixed pairs and that the output file
// is complete (a UTF-16LE text with its mark) exactly when there is no alert.
inline void expectSoundResult(const std::array<std::string, 2>& result, const std::string& output) {
  const std::string& alert = result[0];
  const std::string& log = result[1];
  if (alert.empty()) {
    EXPECT_TRUE(log == testsupport::kNoOutputLog || isSuccessLog(log)) << log;
    // A run that wrote no card makes no file.
    if (log == testsupport::kNoOutputLog) {
      EXPECT_FALSE(std::filesystem::exists(output));
      return;
    }
    ASSERT_TRUE(std::filesystem::exists(output));
    const std::string written = testsupport::readBytes(output);
    ASSERT_GE(written.size(), 4u);
    EXPECT_EQ(written.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(written.size() % 2, 0u);
  } else {
    EXPECT_TRUE(alert == testsupport::kCannotReadAlert || alert == testsupport::kOutOfMemoryAlert ||
                alert == testsupport::kUnsupportedEncodingAlert ||
                alert == testsupport::kCannotWriteAlert)
        << alert;
    EXPECT_EQ(log, testsupport::kFailedLog);
    EXPECT_FALSE(std::filesystem::exists(output)) << "a failed conversion left " << output;
  }
}

}  // namespace hostile
