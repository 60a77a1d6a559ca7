// Line analysis: cuts the internal text into physical lines, assembles
// logical property lines (folding and quoted-printable soft line breaks) and
// hands each to the recognition.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine_p.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"

namespace {

using vcard::detail::appendToProperty;

// Everything one run of the line loop keeps on the side. Members end in
// reverse order: the card still being grown is trimmed first, then the card
// array, and the collected output is appended last.
struct AnalysisRun {
  vcard::detail::OutputBatch output;
  vcard::detail::CardListRun cards;
  vcard::detail::RoomyTextGrowth texts;

  explicit AnalysisRun(VCARDLIST* list) noexcept : cards(list), texts(list) {}
};

void resetProperty(PROPERTY* prop) {
  vcard::detail::releasePropertyText(prop);
  *prop = PROPERTY{};
}

// Reads the charset and transfer-encoding codes from the property's first
// physical line, which holds its name and parameters. The values are cut in
// the same pass: a property of one line is recognised from this split.
void startProperty(const char* line, PROPERTY* prop, strutil::LineSplit* split, bool knownUTF8) {
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

// A BEGIN:VCARD or END:VCARD line, in any letter case.
bool isCardBoundary(std::string_view line) {
  auto equalsUpper = [&line](std::string_view word) {
    return line.size() == word.size() &&
           std::equal(line.begin(), line.end(), word.begin(), [](char a, char b) {
             return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
  };
  return equalsUpper("BEGIN:VCARD") || equalsUpper("END:VCARD");
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

vcard::detail::LineTaken vcard::detail::checkLine(const char* line, PROPERTY* prop,
                                                  strutil::LineSplit* split, bool knownUTF8) {
  if (prop == nullptr) return LineTaken::Left;
  if (line == nullptr) {
    prop->lineStatus = prop->propText != nullptr ? PROP_DONE : PROP_IDLE;
    return LineTaken::Left;
  }
  const bool starting = prop->propText == nullptr;
  if (starting) startProperty(line, prop, split, knownUTF8);
  if (prop->lineStatus != PROP_OPEN) return LineTaken::Left;

  const std::string_view text(line);
  if (prop->encodeType == kEncodingQuotedPrintable) {
    // A soft line break never runs over a card's own begin or end line: the
    // value ends there and the line is taken as itself.
    if (prop->propText != nullptr && isCardBoundary(text)) {
      prop->lineStatus = PROP_DONE_REREAD;
      return LineTaken::Left;
    }
    if (!text.empty() && text.back() == '=') {
      // Soft line break: the next physical line continues the value directly.
      appendToProperty(prop, text.substr(0, text.size() - 1));
      return LineTaken::Changed;
    }
    appendToProperty(prop, text);
    prop->lineStatus = PROP_DONE;
    return starting ? LineTaken::Started : LineTaken::Changed;
  }

  if (prop->propText == nullptr) {
    appendToProperty(prop, text);
    return LineTaken::Started;
  }
  if (line[0] == ' ' || line[0] == '\t') {
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
  (void)vcard::detail::checkLine(line, prop, &split, false);
  split.trim();
  return 0;
}

int vCard_AnalysData(const char* text, VCARDLIST* list, std::uint64_t* inCount,
                     std::uint64_t* outCount) {
  if (text == nullptr || list == nullptr || inCount == nullptr || outCount == nullptr)
    return kStageFailed;
  const AnalysisRun run(list);

  // Each physical line is copied out with its line break into one reused
  // buffer, and CrLf2NULL cuts the break off there; the text itself is never
  // copied as a whole. pending is the buffer while it holds an unused line.
  const char* position = text;
  // Validated once here, the text's lines need no validation when split.
  const bool knownUTF8 = utf::validateUTF8(text);
  strutil::LineSplit split;
  bool splitHolds = false;  // split is that of the open property's text
  platform::OwnedCString lineBuffer;
  std::size_t lineCapacity = 0;
  char* pending = nullptr;
  PROPERTY prop{};
  do {
    if (position != nullptr && pending == nullptr) {
      const char* lineFeed = std::strchr(position, '\n');
      const std::size_t length = lineFeed != nullptr
                                     ? static_cast<std::size_t>(lineFeed - position) + 1
                                     : std::strlen(position);
      if (length + 1 > lineCapacity) {
        const std::size_t capacity = std::max(length + 1, 2 * lineCapacity);
        auto* grown = static_cast<char*>(std::realloc(lineBuffer.get(), capacity));
        if (grown == nullptr) break;  // out of memory: stop with what was reached
        (void)lineBuffer.release();   // moved by realloc
        lineBuffer.reset(grown);
        lineCapacity = capacity;
      }
      pending = lineBuffer.get();
      std::memcpy(pending, position, length);
      pending[length] = '\0';
      std::uint64_t count = 0;
      (void)CrLf2NULL(pending, &count);
      position = lineFeed != nullptr ? lineFeed + 1 : nullptr;
    }
    switch (vcard::detail::checkLine(pending, &prop, &split, knownUTF8)) {
      case vcard::detail::LineTaken::Started:
        splitHolds = true;
        break;
      case vcard::detail::LineTaken::Changed:
        splitHolds = false;
        break;
      case vcard::detail::LineTaken::Left:
        break;
    }
    auto recognise = [&] {
      vcard::detail::recogData(prop.propText, dstFile, &prop, list, &split, splitHolds, knownUTF8);
      split.trim();
      splitHolds = false;
      resetProperty(&prop);
    };
    switch (prop.lineStatus) {
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
        resetProperty(&prop);
        pending = nullptr;
        break;
    }
  } while (position != nullptr || pending != nullptr || prop.lineStatus == PROP_OPEN);
  resetProperty(&prop);

  std::uint64_t ended = 0;
  std::uint64_t written = 0;
  for (std::uint64_t i = 0; i < list->cardCount; ++i) {
    const VCARDDATA& card = list->cardArray[i];
    if (card.isEnd == 0) continue;
    ++ended;
    if (card.isError == 0) ++written;
  }
  *inCount = ended;
  *outCount = written;
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
