#include "card_lines.h"

#include <optional>
#include <string>

#include "platform.h"
#include "strutil.h"
#include "utf8.h"

namespace vcard::detail {

namespace {

// Every card line starts with B or E in either case (no other character
// upper-cases to them): most lines are told apart by their first byte.
bool mayStartCardLine(char first) {
  const char upper = platform::asciiUpper(first);
  return upper == 'B' || upper == 'E';
}

}  // namespace

CardLine cardLineOfText(const char* line) {
  if (line == nullptr || !mayStartCardLine(line[0])) return CardLine::Other;
  return cardLineOfText(std::string_view(line));
}

CardLine cardLineOfText(std::string_view line) {
  if (line.empty() || !mayStartCardLine(line[0])) return CardLine::Other;
  const CardLine kind = cardLineOf(line);
  if (kind != CardLine::Other) return kind;
  // Upper-casing turns at most three bytes into one ASCII letter, so a
  // longer line cannot reach the begin word. ASCII was judged above, and a
  // character of U+3000-U+9FFF has no upper case to become ASCII.
  constexpr std::size_t kLongest = 3 * card_lines_p::kBeginWord.size();
  if (line.size() > kLongest || utf::isASCII(line) || utf::containsCJKLeadByte(line))
    return CardLine::Other;
  // Read as the C string it was: up to a zero byte.
  const std::optional<std::string> upper = strutil::upperCased(line.substr(0, line.find('\0')));
  return upper ? cardLineOf(*upper) : CardLine::Other;
}

}  // namespace vcard::detail
