// The alert and log texts a conversion returns, which the shells show as
// they come and the source checks share.
#pragma once

namespace vcard {

// Logs.
inline constexpr const char* kFailedLog = "変換処理に失敗しました。\n\n";
inline constexpr const char* kNoOutputLog = "出力対象データが1件もありませんでした。\n\n";
// The caller stopped the conversion; what it had written is gone.
inline constexpr const char* kStoppedLog =
    "変換を中止しました。書き出し途中の出力ファイルは削除しました。\n\n";
// The same, where an earlier run's output stood and stays as it was.
inline constexpr const char* kStoppedKeptLog =
    "変換を中止しました。書き出し途中の出力ファイルは削除し、"
    "前からある出力ファイルはそのまま残しています。\n\n";

// Alerts.
inline constexpr const char* kUnsupportedEncodingAlert =
    "変換元ファイルの文字コードに対応していません。";
inline constexpr const char* kCannotReadAlert =
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
inline constexpr const char* kCannotWriteAlert = "出力ファイルに書き込めません。";
// The conversion ran out of memory (a very large file in a browser's tab,
// say): the file itself may be sound.
inline constexpr const char* kOutOfMemoryAlert =
    "メモリーが足りないため、変換を続けられませんでした。\n"
    "ほかのアプリを閉じるか、ファイルを分けてから変換してください。";
// A failure nothing above names (a fault of the program, not of the file or
// the disk): said as such, and that no output was replaced, which the staged
// writing makes true.
inline constexpr const char* kUnexpectedFailureAlert =
    "変換中に予期しない問題が起きたため、変換できませんでした。\n"
    "出力ファイルは書き換えていません。";
// Writing over the source would destroy it before it is read.
inline constexpr const char* kSameFileAlert = "変換元ファイルと出力ファイルが同じです。";

}  // namespace vcard
