// Temporary bridge for the read stage while it still hands pieces to the
// line loop by this name.
#pragma once

#include <cstddef>

#include "ascii_case.h"
#include "card/card_lines.h"
#include "lines/line_loop.h"
#include "strutil.h"
#include "vcard.h"

namespace vcard::detail {

class LineAnalysis {
 public:
  explicit LineAnalysis(LineLoop& loop) noexcept : loop_(loop) {}
  void feed(const char* text, std::size_t length, bool last) { loop_.feed({text, length}, last); }
  void retireClosedCards() noexcept {}

 private:
  LineLoop& loop_;
};

inline constexpr const char* kFailedLog = "変換処理に失敗しました。\n\n";
inline constexpr const char* kUnsupportedEncodingAlert =
    "変換元ファイルの文字コードに対応していません。";
inline constexpr const char* kCannotReadAlert =
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
inline constexpr const char* kCannotWriteAlert = "出力ファイルに書き込めません。";
inline constexpr const char* kNoOutputLog = "出力対象データが1件もありませんでした。\n\n";

}  // namespace vcard::detail
