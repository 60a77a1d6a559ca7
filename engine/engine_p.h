// Internals shared by the engine's source files.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "vcard.h"

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

// Appends bytes to the card's text or the property's assembled line. Inside
// vCard_AnalysData the current card and property keep their length and a
// spare capacity on the side, so appending many pieces stays linear; the card
// text is trimmed to exactly fit once it is finished. Elsewhere this is
// StrAdd. On exhausted memory the text stays as it was and false is returned.
bool appendToCard(VCARDDATA* card, std::string_view piece) noexcept;
bool appendToProperty(PROPERTY* prop, std::string_view piece) noexcept;
// The property's text is about to be freed or replaced.
void forgetProperty(const PROPERTY* prop) noexcept;
// Trims the current card's text to exactly fit and stops tracking it.
void finishCard() noexcept;

// Grows the card array by one record. Inside vCard_AnalysData the array keeps
// spare room on the side and is trimmed at the end; elsewhere it grows
// exactly. False on exhausted memory, with the list unchanged.
bool growCardArray(VCARDLIST* list) noexcept;

// The card text in UTF-16LE, without a byte-order mark; false when the text is
// not well-formed UTF-8 (or too long to be converted).
bool appendUTF16LE(std::string_view utf8, std::string* out);

// Hands a finished card to the output file: appended at once (OutputFile), or
// inside vCard_AnalysData collected and appended in large blocks.
void writeCard(const char* path, const char* cardText) noexcept;

// Bookkeeping of one vCard_AnalysData run: turns on the tracking above and
// the collected output, and on leaving trims the card array and the last card
// and appends whatever output is still collected.
class AnalysisScope {
 public:
  explicit AnalysisScope(VCARDLIST* list) noexcept;
  ~AnalysisScope();
  AnalysisScope(const AnalysisScope&) = delete;
  AnalysisScope& operator=(const AnalysisScope&) = delete;
};

// Log and alert texts of the driver.
inline constexpr const char* kFailedLog = "変換処理に失敗しました。\n\n";
inline constexpr const char* kUnsupportedEncodingAlert =
    "変換元ファイルの文字コードに対応していません。";
inline constexpr const char* kCannotReadAlert =
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
inline constexpr const char* kCannotWriteAlert = "出力ファイルに書き込めません。";
inline constexpr const char* kNoOutputLog = "出力対象データが1件もありませんでした。\n\n";

}  // namespace vcard::detail
