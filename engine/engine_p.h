// Internals shared by the engine's source files; each job has its own header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ascii_case.h"   // ASCII letter case of names and lines
#include "card_lines.h"   // the lines that begin and end a card
#include "card_list.h"    // the card array, the open card, the owning list
#include "card_settle.h"  // what a card settles at its end
#include "card_text.h"    // growth of card and property texts
#include "result_texts.h"
#include "strutil.h"
#include "vcard.h"
#include "vcard_output.h"  // the output file and its failure state

namespace vcard::detail {

// Converts one value of a property as the rules do (StrConvert with the
// property's charset name); with decodeBase64, a Base64 value is decoded as
// text like a quoted-printable one (every value but a photo's). Owned result;
// null on exhausted memory.
char* convertValue(const char* value, const PROPERTY* prop, bool decodeBase64 = false);

// How the line loop's own form of vCard_CheckLine took a line.
enum class LineTaken {
  Started,  // the line opened the property, which holds it unchanged
  Changed,  // the property's text now differs from the line that opened it
  Left,     // the line was not taken (another property, or none open)
};

// vCard_CheckLine for the line loop: a line that opens a property is split
// once, names and values, into split, whose tokens then serve its
// recognition as long as the property's text is that line unchanged.
// knownUTF8 says the line was validated with the text it comes from.
// length is the line's (ignored for a null line, the end of the input).
LineTaken checkLine(const char* line, std::size_t length, PROPERTY* prop, strutil::LineSplit* split,
                    bool knownUTF8);

// The line loop of vCard_AnalysData over a text handed in pieces: the cards
// come out as if the pieces were one text. Every piece but the last ends
// with a line feed; the last one (possibly empty) ends the text. knownUTF8
// says every piece is well-formed UTF-8; with releaseWrittenTexts, a card's
// text is let go once the card is written (the list keeps the record).
class LineAnalysis {
 public:
  LineAnalysis(VCARDLIST* list, bool knownUTF8, bool releaseWrittenTexts = false);
  ~LineAnalysis();  // hands the cards still collected to the output
  LineAnalysis(const LineAnalysis&) = delete;
  LineAnalysis& operator=(const LineAnalysis&) = delete;

  void feed(const char* text, std::size_t length, bool last);
  // With releaseWrittenTexts, lets go of the records of the cards closed
  // before the first one still open (the report is told first), so that
  // the list holds only what may still change.
  void retireClosedCards() noexcept;
  // The cards ended so far and, of them, the ones written.
  void counts(std::uint64_t* inCount, std::uint64_t* outCount) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True while a line loop runs over text validated as UTF-8: the values cut
// from its lines need no validation of their own.
[[nodiscard]] bool valuesKnownUTF8() noexcept;

// vCard_RecogData for the line loop; split holds the split of line when
// splitDone, and is used for the split otherwise.
int recogData(const char* line, const char* dstPath, PROPERTY* prop, VCARDLIST* list,
              strutil::LineSplit* split, bool splitDone, bool knownUTF8);

// Both lists of one SplitFR call, released together.
struct SplitPair {
  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t namesCount = 0;
  std::uint64_t valuesCount = 0;
  SplitPair() = default;
  SplitPair(const SplitPair&) = delete;
  SplitPair& operator=(const SplitPair&) = delete;
  ~SplitPair() { SplitFree(names, values); }
};

// Log and alert texts of the driver.
using vcard::kCannotReadAlert;
using vcard::kCannotWriteAlert;
using vcard::kFailedLog;
using vcard::kNoOutputLog;
using vcard::kUnsupportedEncodingAlert;

}  // namespace vcard::detail
