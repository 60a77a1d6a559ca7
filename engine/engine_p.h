// Internals shared by the engine's source files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vcard.h"

namespace vcard::detail {

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
// Removes the last byte of the property's text (none when it is empty).
void dropLastPropertyByte(PROPERTY* prop) noexcept;
// The property's text is about to be freed or replaced.
void forgetProperty(const PROPERTY* prop) noexcept;
// Trims the card's text to exactly fit if it is the one being tracked, and
// stops tracking it; its text may then be replaced.
void finishCard(VCARDDATA* card) noexcept;

// The innermost card still open (no END:VCARD yet), or null. Inside
// vCard_AnalysData the open cards are kept as a stack; elsewhere the list is
// searched from its end.
VCARDDATA* openCard(VCARDLIST* list) noexcept;
// The list's last card was just begun / the innermost open card just ended.
void cardOpened(VCARDLIST* list) noexcept;
void cardClosed(VCARDLIST* list) noexcept;

// What a card settles only at its END:VCARD line.
struct CardExtras {
  // The written lines of one grouped property ("item1.EMAIL"), as a byte
  // range of the card text; its label, wherever it stands in the card, is
  // known only at the end.
  struct Grouped {
    std::size_t begin;
    std::size_t end;
    std::string group;  // upper-cased
    bool otherItem;     // the rule wrote an item with the "other" label
  };
  std::vector<Grouped> grouped;
  std::map<std::string, std::string> labels;  // upper-cased group -> label as found

  // N lines whose components are all empty, replaced by a name from FN.
  std::vector<std::pair<std::size_t, std::size_t>> emptyNames;
  // The card's first FN line and how its value is encoded.
  std::string fnLine;
  std::uint64_t fnCharset = 0;
  std::uint64_t fnEncoding = 0;
  char fnCharsetName[48] = {};
};

// The card's extras, made when first needed; null on exhausted memory.
CardExtras* extrasOf(VCARDDATA* card) noexcept;

// Converts one value of a property as the rules do (StrConvert with the
// property's charset name); with decodeBase64, a Base64 value is decoded as
// text like a quoted-printable one (every value but a photo's). Owned result; null on exhausted
// memory.
char* convertValue(const char* value, const PROPERTY* prop, bool decodeBase64 = false);

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
