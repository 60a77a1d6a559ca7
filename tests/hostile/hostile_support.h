// Shared helpers of the hostile-input and fault tests: a private temporary
// folder, byte-exact file reading and writing, and the check that a result is
// one of the engine's fixed texts.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace hostile {

inline constexpr const char* kCannotRead =
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
inline constexpr const char* kUnsupportedEncoding =
    "変換元ファイルの文字コードに対応していません。";
inline constexpr const char* kCannotWrite = "出力ファイルに書き込めません。";
inline constexpr const char* kFailedLog = "変換処理に失敗しました。\n\n";
inline constexpr const char* kNothingWrittenLog = "出力対象データが1件もありませんでした。\n\n";

inline std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// True when the log text is the success format with any two counts.
inline bool isSuccessLog(const std::string& log) {
  const std::string head = "変換が完了しました。\n入力データ：";
  const std::string middle = "件、\u3000出力データ：";
  const std::string tail = "件\n\n";
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
    EXPECT_TRUE(log == kNothingWrittenLog || isSuccessLog(log)) << log;
    ASSERT_TRUE(std::filesystem::exists(output));
    const std::string written = readAll(output);
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(written.size() % 2, 0u);
    if (log == kNothingWrittenLog) {
      EXPECT_EQ(written.size(), 2u);
    }
  } else {
    EXPECT_TRUE(alert == kCannotRead || alert == kUnsupportedEncoding || alert == kCannotWrite)
        << alert;
    EXPECT_EQ(log, kFailedLog);
    EXPECT_FALSE(std::filesystem::exists(output)) << "a failed conversion left " << output;
  }
}

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/vcard-hostile-XXXXXX";
    if (mkdtemp(name) != nullptr) m_path = name;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace hostile
