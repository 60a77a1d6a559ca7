// Line analysis: cuts the internal text into physical lines, assembles
// logical property lines (folding and quoted-printable soft line breaks) and
// hands each to the recognition.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "engine_p.h"
#include "report_notes.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"

namespace {

using vcard::detail::appendToProperty;
using vcard::detail::CardLine;
using vcard::detail::cardLineOfText;

// Everything one run of the line loop keeps on the side. Members end in
// reverse order: the card still being grown is trimmed first, then the card
// array, and the collected output is appended last.
struct AnalysisRun {
  vcard::detail::OutputBatch output;
  vcard::detail::CardListRun cards;
  vcard::detail::RoomyTextGrowth texts;

  AnalysisRun(VCARDLIST* list, bool releaseWrittenTexts) noexcept
      : cards(list, releaseWrittenTexts), texts(list) {}
};

void resetProperty(PROPERTY* prop) {
  vcard::detail::releasePropertyText(prop);
  *prop = PROPERTY{};
}

// Reads the charset and transfer-encoding codes from the property's first
// physical line, which holds its name and parameters. The values are cut in
// the same pass: a property of one line is recognised from this split.
void startProperty(std::string_view line, PROPERTY* prop, strutil::LineSplit* split,
                   bool knownUTF8) {
  ParameterCodes codes;
  try {
    split->split(line, true, knownUTF8);
    codes = ReadParameterCodes(split->names(), split->namesCount());
  } catch (...) {
    // Out of memory for the split: the line declares nothing, as a line
    // SplitFRNames cannot split.
  }
  prop->charsetType = static_cast<std::uint64_t>(codes.charset);
  prop->encodeType = static_cast<std::uint64_t>(codes.encoding);
  std::memcpy(prop->charsetName, codes.charsetName, sizeof prop->charsetName);
  prop->lineStatus = PROP_OPEN;
}

// A line that continues the property before it (vCard 2.1 folding).
bool isFolded(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// True when the split line that opens a property ends at the ":" before its
// value.
bool opensEmptyValue(strutil::LineSplit& split) {
  return split.valuesCount() == 1 && split.values()[0][0] == '\0';
}

// What a folded line adds to a quoted-printable value. Unfolding removes the
// line break and keeps the blanks, which stand where the text had white
// space; a writer that indents its continuation lines puts several there,
// and they count as one. Before any text of the value the blanks are
// indentation alone: a phone writes the whole value on the next line,
// indented, and the name does not begin with a space. A line of blanks alone
// adds nothing: white space at the end of a quoted-printable line is no text
// (it may have been added on the way).
std::string_view foldedQuotedPrintable(std::string_view line, bool valueEmpty) {
  const std::size_t text = line.find_first_not_of(" \t");
  if (text == std::string_view::npos) return {};
  return line.substr(valueEmpty ? text : text - 1);
}

// A line that continues a vCard 2.1 Base64 value without the blank that
// folding would put first: Base64 characters only, so no ":" of a property
// line; the value ends at a blank line or the next property line.
bool isBase64DataLine(std::string_view line) {
  if (line.empty()) return false;
  for (const char c : line) {
    const bool base64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
    if (!base64) return false;
  }
  return true;
}

// True when the text ends with a backslash that is not itself escaped: some
// phones write a line break inside a value that way and go on, unindented,
// on the next line.
bool endsWithEscapedBreak(const char* text) {
  if (text == nullptr) return false;
  std::size_t length = std::strlen(text);
  std::size_t backslashes = 0;
  while (length > 0 && text[length - 1] == '\\') {
    ++backslashes;
    --length;
  }
  return backslashes % 2 == 1;
}

}  // namespace

vcard::detail::LineTaken vcard::detail::checkLine(const char* line, std::size_t length,
                                                  PROPERTY* prop, strutil::LineSplit* split,
                                                  bool knownUTF8) {
  if (prop == nullptr) return LineTaken::Left;
  if (line == nullptr) {
    prop->lineStatus = prop->propText != nullptr ? PROP_DONE : PROP_IDLE;
    return LineTaken::Left;
  }
  const std::string_view text(line, length);
  const bool starting = prop->propText == nullptr;
  if (starting) startProperty(text, prop, split, knownUTF8);
  if (prop->lineStatus != PROP_OPEN) return LineTaken::Left;

  if (prop->encodeType == kEncodingQuotedPrintable) {
    std::string_view piece = text;
    bool valueEmpty = false;
    if (starting) {
      valueEmpty = opensEmptyValue(*split);
    } else if (prop->qpNext != QP_NEXT_ANY) {
      // The last line had no soft line break: the value is complete unless
      // the next line is folded onto it.
      if (!isFolded(text)) {
        prop->lineStatus = PROP_DONE_REREAD;
        return LineTaken::Left;
      }
      valueEmpty = prop->qpNext == QP_NEXT_FOLD_EMPTY;
      piece = foldedQuotedPrintable(text, valueEmpty);
      valueEmpty = valueEmpty && piece.empty();
    } else if (cardLineOfText(text) != CardLine::Other) {
      // A soft line break never runs over a card's own begin or end line: the
      // value ends there and the line is taken as itself.
      prop->lineStatus = PROP_DONE_REREAD;
      return LineTaken::Left;
    }
    // After a soft line break the next physical line continues the value
    // directly, as it stands.
    const bool softBreak = !piece.empty() && piece.back() == '=';
    if (softBreak) piece.remove_suffix(1);
    appendToProperty(prop, piece);
    prop->qpNext = softBreak ? QP_NEXT_ANY : valueEmpty ? QP_NEXT_FOLD_EMPTY : QP_NEXT_FOLD;
    return starting && !softBreak ? LineTaken::Started : LineTaken::Changed;
  }

  if (prop->propText == nullptr) {
    appendToProperty(prop, text);
    return LineTaken::Started;
  }
  if (isFolded(text)) {
    // A folded continuation stays folded in the output.
    appendToProperty(prop, "\r\n");
    appendToProperty(prop, text);
  } else if (prop->encodeType == kEncodingBase64 && isBase64DataLine(text)) {
    // Written folded, as the output's own continuation lines are.
    appendToProperty(prop, "\r\n ");
    appendToProperty(prop, text);
  } else if (prop->encodeType != kEncodingBase64 && !text.empty() &&
             text.find(':') == std::string_view::npos && endsWithEscapedBreak(prop->propText)) {
    // "Street\" then "City": the escaped break becomes the line break that
    // a value carries in the output, CR LF and a space (one LF for the
    // iCloud.com form).
    vcard::detail::dropLastPropertyByte(prop);
    appendToProperty(prop, vcard::detail::keepsValueBreaks() ? "\n" : "\r\n ");
    appendToProperty(prop, text);
  } else {
    prop->lineStatus = PROP_DONE_REREAD;
    return LineTaken::Left;
  }
  return LineTaken::Changed;
}

int vCard_CheckLine(const char* line, PROPERTY* prop) {
  thread_local strutil::LineSplit split;
  (void)vcard::detail::checkLine(line, line != nullptr ? std::strlen(line) : 0, prop, &split,
                                 false);
  split.trim();
  return 0;
}

namespace vcard::detail {

namespace {
thread_local bool t_valuesKnownUTF8 = false;
}  // namespace

bool valuesKnownUTF8() noexcept {
  return t_valuesKnownUTF8;
}

// What the line loop keeps from one piece of the text to the next.
struct LineAnalysis::State {
  AnalysisRun run;
  VCARDLIST* list;
  bool knownUTF8;
  strutil::LineSplit split;
  bool splitHolds = false;  // split is that of the open property's text
  platform::OwnedCString lineBuffer;
  std::size_t lineCapacity = 0;
  PROPERTY prop{};
  bool stopped = false;  // out of memory: the rest of the text is not read

  bool outerKnownUTF8;  // the flag of a loop this one runs inside, if any

  State(VCARDLIST* cards, bool utf8, bool releaseWritten)
      : run(cards, releaseWritten),
        list(cards),
        knownUTF8(utf8),
        outerKnownUTF8(t_valuesKnownUTF8) {
    t_valuesKnownUTF8 = utf8;
  }
  ~State() {
    resetProperty(&prop);
    t_valuesKnownUTF8 = outerKnownUTF8;
  }
};

LineAnalysis::LineAnalysis(VCARDLIST* list, bool knownUTF8, bool releaseWrittenTexts)
    : state_(std::make_unique<State>(list, knownUTF8, releaseWrittenTexts)) {}

LineAnalysis::~LineAnalysis() = default;

void LineAnalysis::feed(const char* text, std::size_t length, bool last) {
  State& s = *state_;
  if (s.stopped) return;
  // Each physical line is copied out with its line break into one reused
  // buffer, where the break is cut off; the text itself is never copied as a
  // whole. pending is the buffer while it holds an unused line.
  const char* position = text;
  const char* const end = text + length;
  bool linesLeft = true;
  char* pending = nullptr;
  std::size_t pendingLength = 0;
  for (;;) {
    if (pending == nullptr) {
      const void* lineFeed =
          linesLeft ? std::memchr(position, '\n', static_cast<std::size_t>(end - position))
                    : nullptr;
      if (lineFeed == nullptr && linesLeft && last) {
        // The text's last line, without a line break (empty when the text
        // ends with one), is a line like any other.
        linesLeft = false;
        lineFeed = end;
      } else if (lineFeed == nullptr) {
        // The piece is used up; the end of the text ends the open property.
        if (!last || s.prop.lineStatus != PROP_OPEN) break;
      }
      if (lineFeed != nullptr) {
        const char* lineEnd = static_cast<const char*>(lineFeed);
        const std::size_t size =
            static_cast<std::size_t>(lineEnd - position) + (lineEnd != end ? 1 : 0);
        if (size + 1 > s.lineCapacity) {
          const std::size_t capacity = std::max(size + 1, 2 * s.lineCapacity);
          auto* grown = static_cast<char*>(std::realloc(s.lineBuffer.get(), capacity));
          if (grown == nullptr) {
            s.stopped = true;  // out of memory: stop with what was reached
            return;
          }
          (void)s.lineBuffer.release();  // moved by realloc
          s.lineBuffer.reset(grown);
          s.lineCapacity = capacity;
        }
        pending = s.lineBuffer.get();
        std::memcpy(pending, position, size);
        pending[size] = '\0';
        // The line feed is cut off with the carriage returns before it; a
        // last line without a feed keeps them.
        pendingLength = size;
        if (lineEnd != end) {
          pending[--pendingLength] = '\0';
          while (pendingLength > 0 && pending[pendingLength - 1] == '\r')
            pending[--pendingLength] = '\0';
        }
        position += size;
      }
    }
    switch (checkLine(pending, pendingLength, &s.prop, &s.split, s.knownUTF8)) {
      case LineTaken::Started:
        s.splitHolds = true;
        break;
      case LineTaken::Changed:
        s.splitHolds = false;
        break;
      case LineTaken::Left:
        break;
    }
    auto recognise = [&s] {
      recogData(s.prop.propText, dstFile, &s.prop, s.list, &s.split, s.splitHolds, s.knownUTF8);
      s.split.trim();
      s.splitHolds = false;
      resetProperty(&s.prop);
    };
    switch (s.prop.lineStatus) {
      case PROP_DONE_REREAD:
        recognise();
        break;  // the pending line starts the next property
      case PROP_DONE:
        recognise();
        pending = nullptr;
        break;
      case PROP_OPEN:
        pending = nullptr;
        break;
      default:
        resetProperty(&s.prop);
        pending = nullptr;
        break;
    }
  }
}

void LineAnalysis::retireClosedCards() noexcept {
  State& s = *state_;
  if (!releasesWrittenTexts(s.list)) return;
  const std::uint64_t count = closedFront(s.list);
  if (count == 0) return;
  noteRetiring(s.list, count);
  retireCards(s.list, count);
}

void LineAnalysis::counts(std::uint64_t* inCount, std::uint64_t* outCount) const {
  const VCARDLIST* list = state_->list;
  const RetiredCards retired = retiredCards(list);
  std::uint64_t ended = retired.ended;
  std::uint64_t written = retired.written;
  for (std::uint64_t i = 0; i < list->cardCount; ++i) {
    const VCARDDATA& card = list->cardArray[i];
    if (card.isEnd == 0) continue;
    ++ended;
    if (card.isError == 0) ++written;
  }
  *inCount = ended;
  *outCount = written;
}

}  // namespace vcard::detail

int vCard_AnalysData(const char* text, VCARDLIST* list, std::uint64_t* inCount,
                     std::uint64_t* outCount) {
  if (text == nullptr || list == nullptr || inCount == nullptr || outCount == nullptr)
    return kStageFailed;
  const std::size_t length = std::strlen(text);
  // Validated once here, the text's lines need no validation when split.
  vcard::detail::LineAnalysis analysis(list, utf::validateUTF8(std::string_view(text, length)));
  analysis.feed(text, length, true);
  analysis.counts(inCount, outCount);
  return kStageOK;
}

int vCard_ReleaseData(VCARDLIST* list, char* text) {
  if (list != nullptr) {
    for (std::uint64_t i = 0; i < list->cardCount; ++i) {
      std::free(list->cardArray[i].cardText);
      delete list->cardArray[i].extras;
    }
    std::free(list->cardArray);
    list->cardArray = nullptr;
    list->cardCount = 0;
  }
  std::free(text);
  return 0;
}
