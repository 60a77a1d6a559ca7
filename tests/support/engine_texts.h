// The alert and log texts the conversion shows, typed once for every test
// that checks them. They are written out here rather than taken from the
// engine so that a changed text in the engine fails the tests.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

inline constexpr const char* kOutOfMemoryAlert =
    "メモリーが足りないため、変換を続けられませんでした。\n"
    "ほかのアプリを閉じるか、ファイルを分けてから変換してください。";
inline constexpr const char* kCannotReadAlert =
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
inline constexpr const char* kUnsupportedEncodingAlert =
    "変換元ファイルの文字コードに対応していません。";
inline constexpr const char* kCannotWriteAlert = "出力ファイルに書き込めません。";
// The checks of the source path, in the order they run.
inline constexpr const char* kEmptySourceAlert = "変換元ファイル名が入力（選択）されていません。";
inline constexpr const char* kMissingSourceAlert = "変換元ファイルがありません。";
inline constexpr const char* kNotVCardAlert = "変換元ファイルはvCardファイルではありません。";

inline constexpr const char* kSameFileAlert = "変換元ファイルと出力ファイルが同じです。";
inline constexpr const char* kFailedLog = "変換処理に失敗しました。\n\n";
inline constexpr const char* kNoOutputLog = "出力対象データが1件もありませんでした。\n\n";

// The log of a finished conversion with its two counts.
inline std::string successLog(std::uint64_t in, std::uint64_t out) {
  return "変換が完了しました。\n入力データ：" + std::to_string(in) + "件、\u3000出力データ：" +
         std::to_string(out) + "件\n\n";
}

}  // namespace testsupport
