// The lines that begin and end a card, decided here once for every reader
// of the source: the line analysis, the recognition, the loader's test for
// UTF-16 text and the cutting of a large source into pieces.
//
// A card line is its word in any letter case. Exports are not always clean
// after the word: a phone ends its file with "END:VCARD.", hand-edited files
// keep blanks after either line. So blanks (space, tab) may follow
// BEGIN:VCARD, and blanks or ASCII punctuation may follow END:VCARD; any
// other byte after the word (a letter, a digit, a line break inside the
// line) makes the line an ordinary one.
#pragma once

#include <string_view>

#include "ascii_letters.h"

namespace vcard::detail {

enum class CardLine {
  Other,
  Begin,  // BEGIN:VCARD
  End,    // END:VCARD
};

namespace card_lines_p {

inline constexpr std::string_view kBeginWord = "BEGIN:VCARD";
inline constexpr std::string_view kEndWord = "END:VCARD";

constexpr bool isBlank(char c) noexcept {
  return c == ' ' || c == '\t';
}

constexpr bool isASCIIPunctuation(char c) noexcept {
  return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
         (c >= '{' && c <= '~');
}

// True when c may follow the word of a line of that kind.
constexpr bool mayTrail(char c, CardLine kind) noexcept {
  return isBlank(c) || (kind == CardLine::End && isASCIIPunctuation(c));
}

constexpr bool startsWithWord(std::string_view line, std::string_view upperWord,
                              CardLine kind) noexcept {
  if (line.size() < upperWord.size() ||
      !platform::asciiUpperEquals(line.substr(0, upperWord.size()), upperWord))
    return false;
  for (const char c : line.substr(upperWord.size())) {
    if (!mayTrail(c, kind)) return false;
  }
  return true;
}

}  // namespace card_lines_p

// What a physical line (without its line break) is, by its bytes: only
// ASCII letters change case. Works on any ASCII-compatible encoding, so on
// Shift_JIS bytes too: neither a lead byte nor a half-width katakana byte
// is a blank or punctuation.
constexpr CardLine cardLineOf(std::string_view line) noexcept {
  using namespace card_lines_p;
  if (startsWithWord(line, kBeginWord, CardLine::Begin)) return CardLine::Begin;
  if (startsWithWord(line, kEndWord, CardLine::End)) return CardLine::End;
  return CardLine::Other;
}

// What a line of UTF-8 text is. Beyond cardLineOf, a short line that is not
// ASCII is upper-cased as Unicode first, as property names are: a dotless i
// makes "begın:vcard" a begin line. (No character outside ASCII upper-cases
// to a letter of END:VCARD.)
[[nodiscard]] CardLine cardLineOfText(std::string_view line);
// The same for a C string, which is measured only when its first byte may
// start a card line: a long line (a photo) is not read to its end.
[[nodiscard]] CardLine cardLineOfText(const char* line);

// False when a line whose last byte is last cannot be an end line: most
// lines are told apart by it without looking for where they start.
constexpr bool mayEndEndLine(char last) noexcept {
  return last == 'D' || last == 'd' || card_lines_p::mayTrail(last, CardLine::End);
}

// The line as the card keeps it: the word as written, without what trails
// it. line is one that cardLineOf or cardLineOfText found to be of kind.
constexpr std::string_view cardLineKept(std::string_view line, CardLine kind) noexcept {
  // The word ends with a letter, which never trails: cutting back from the
  // end stops at the word.
  while (!line.empty() && card_lines_p::mayTrail(line.back(), kind))
    line.remove_suffix(1);
  return line;
}

}  // namespace vcard::detail
