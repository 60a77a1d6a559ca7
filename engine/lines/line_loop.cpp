// Line analysis: cuts the internal text into physical lines, assembles
// logical property lines (folding and quoted-printable soft line breaks) and
// hands each to the recognition.
#include "line_loop.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "byte_scan.h"
#include "card/card_lines.h"
#include "strutil.h"

namespace {

using vcard::detail::CardLine;
using vcard::detail::cardLineOfText;
using vcard::detail::PropertyLine;

// Reads the charset and transfer-encoding codes from the property's first
// physical line, which holds its name and parameters. The values are cut in
// the same pass: a property of one line is recognised from this split.
void startProperty(std::string_view line, PropertyLine& prop, strutil::LineSplit& split,
                   bool knownUTF8, bool quotedValues) {
  split.split(line, true, knownUTF8, quotedValues);
  const ParameterCodes codes = ReadParameterCodes(split.names(), split.namesCount());
  prop.declaring = codes.declaring;
  // The names end on this line when its value begins on it: a property
  // that goes on over more lines keeps them as they are.
  prop.namesJudged = split.valuesCount() != 0 ? split.namesCount() : 0;
  prop.started = true;
  prop.charsetType = static_cast<std::uint64_t>(codes.charset);
  prop.encodeType = static_cast<std::uint64_t>(codes.encoding);
  std::memcpy(prop.charsetName, codes.charsetName, sizeof prop.charsetName);
  prop.lineStatus = PROP_OPEN;
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
bool endsWithEscapedBreak(std::string_view text) {
  std::size_t length = text.size();
  std::size_t backslashes = 0;
  while (length > 0 && text[length - 1] == '\\') {
    ++backslashes;
    --length;
  }
  return backslashes % 2 == 1;
}

}  // namespace

namespace vcard::detail {

LineTaken checkLine(std::optional<std::string_view> line, PropertyLine& prop,
                    strutil::LineSplit& split, const ValueContext& context, bool quotedValues) {
  if (!line) {
    prop.lineStatus = prop.started ? PROP_DONE : PROP_IDLE;
    return LineTaken::Left;
  }
  const std::string_view text = *line;
  const bool starting = !prop.started;
  if (starting) startProperty(text, prop, split, context.knownUTF8, quotedValues);
  if (prop.lineStatus != PROP_OPEN) return LineTaken::Left;

  if (prop.encodeType == kEncodingQuotedPrintable) {
    std::string_view piece = text;
    bool valueEmpty = false;
    if (starting) {
      valueEmpty = opensEmptyValue(split);
    } else if (prop.qpNext != QP_NEXT_ANY) {
      // The last line had no soft line break: the value is complete unless
      // the next line is folded onto it.
      if (!isFolded(text)) {
        prop.lineStatus = PROP_DONE_REREAD;
        return LineTaken::Left;
      }
      valueEmpty = prop.qpNext == QP_NEXT_FOLD_EMPTY;
      piece = foldedQuotedPrintable(text, valueEmpty);
      valueEmpty = valueEmpty && piece.empty();
    } else if (cardLineOfText(text) != CardLine::Other) {
      // A soft line break never runs over a card's own begin or end line: the
      // value ends there and the line is taken as itself.
      prop.lineStatus = PROP_DONE_REREAD;
      return LineTaken::Left;
    }
    // After a soft line break the next physical line continues the value
    // directly, as it stands.
    const bool softBreak = !piece.empty() && piece.back() == '=';
    if (softBreak) piece.remove_suffix(1);
    prop.text.append(piece);
    prop.qpNext = softBreak ? QP_NEXT_ANY : valueEmpty ? QP_NEXT_FOLD_EMPTY : QP_NEXT_FOLD;
    return starting && !softBreak ? LineTaken::Started : LineTaken::Changed;
  }

  if (starting) {
    prop.text.assign(text);
    return LineTaken::Started;
  }
  if (isFolded(text)) {
    // A folded continuation stays folded in the output.
    prop.text.append("\r\n").append(text);
  } else if (prop.encodeType == kEncodingBase64 && isBase64DataLine(text)) {
    // Written folded, as the output's own continuation lines are.
    prop.text.append("\r\n ").append(text);
  } else if (prop.encodeType != kEncodingBase64 && !text.empty() &&
             endsWithEscapedBreak(prop.text) && text.find(':') == std::string_view::npos) {
    // "Street\" then "City": the escaped break becomes the line break that
    // a value carries in the output, CR LF and a space (one LF for the
    // iCloud.com form).
    prop.text.pop_back();
    prop.text.append(context.valueBreak()).append(text);
  } else {
    prop.lineStatus = PROP_DONE_REREAD;
    return LineTaken::Left;
  }
  return LineTaken::Changed;
}

void LineLoop::feed(std::string_view text, bool last) {
  // Lines are cut in place: a line without its break is a view of the text
  // (no line runs over into the next piece). pending is the line taken but
  // not yet used.
  std::size_t position = 0;
  bool linesLeft = true;
  std::optional<std::string_view> pending;
  for (;;) {
    if (!pending) {
      std::size_t lineFeed = std::string_view::npos;
      if (linesLeft) {
        const char* const end = text.data() + text.size();
        const char* const found = platform::findByte(text.data() + position, end, '\n');
        if (found != end) lineFeed = static_cast<std::size_t>(found - text.data());
      }
      std::string_view line;
      bool found = lineFeed != std::string_view::npos;
      if (!found && linesLeft && last) {
        // The text's last line, without a line break (empty when the text
        // ends with one), is a line like any other; it keeps its carriage
        // returns.
        linesLeft = false;
        line = text.substr(position);
        position = text.size();
        found = true;
      } else if (!found) {
        // The piece is used up; the end of the text ends the open property.
        if (!last || prop_.lineStatus != PROP_OPEN) break;
      } else {
        line = text.substr(position, lineFeed - position);
        position = lineFeed + 1;
        // The line feed is cut off with the carriage returns before it.
        while (!line.empty() && line.back() == '\r')
          line.remove_suffix(1);
      }
      if (found) pending = line;
    }
    // Only a line that opens a property is split, by its card's version.
    const OpenCard* const open = prop_.started ? nullptr : conversion_.cards.current();
    const bool quotedValues = open != nullptr && open->card.quotesParameters();
    switch (checkLine(pending, prop_, conversion_.split, conversion_.values, quotedValues)) {
      case LineTaken::Started:
        splitHolds_ = true;
        break;
      case LineTaken::Changed:
        splitHolds_ = false;
        break;
      case LineTaken::Left:
        break;
    }
    auto recognise = [this, &position] {
      recogData(conversion_, prop_.text, prop_, splitHolds_);
      conversion_.split.trim();
      splitHolds_ = false;
      prop_.reset();
      const CardList& cards = conversion_.cards;
      if (cards.ended() != ended_) {
        ended_ = cards.ended();
        conversion_.progress.cardEnded(position, cards.begun(), cards.written());
      }
    };
    switch (prop_.lineStatus) {
      case PROP_DONE_REREAD:
        recognise();
        break;  // the pending line starts the next property
      case PROP_DONE:
        recognise();
        pending.reset();
        break;
      case PROP_OPEN:
        pending.reset();
        break;
      default:
        prop_.reset();
        pending.reset();
        break;
    }
  }
}

}  // namespace vcard::detail
