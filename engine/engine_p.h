// Internals shared by the engine's source files.
#pragma once

#include <cstdlib>
#include <memory>

namespace vcard::detail {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
using OwnedText = std::unique_ptr<char, FreeDeleter>;

// Set when the output file could not be created or a card could not be
// appended during the current conversion; from then on no card is appended,
// and the driver reports the failure and removes the incomplete file.
extern bool outputFailed;

// Appends piece to *buffer (StrAdd); on exhausted memory the buffer stays as
// it was and false is returned.
bool appendText(char** buffer, const char* piece) noexcept;

// Log and alert texts of the driver.
inline constexpr const char* kFailedLog = "変換処理に失敗しました。\n\n";
inline constexpr const char* kUnsupportedEncodingAlert =
    "変換元ファイルの文字コードに対応していません。";
inline constexpr const char* kCannotReadAlert =
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
inline constexpr const char* kCannotWriteAlert = "出力ファイルに書き込めません。";
inline constexpr const char* kNoOutputLog = "出力対象データが1件もありませんでした。\n\n";

}  // namespace vcard::detail
