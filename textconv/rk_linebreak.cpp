// RKTextConverter's line-break kinds: which one a text uses, and replacing
// one with another.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform.h"
#include "rk_text_converter.h"

RKLineBreakType RKTextConverter::lineBreakTypeOfString(const icu::UnicodeString& string) const {
  const std::int32_t length = string.length();
  for (std::int32_t i = 0; i < length; ++i) {
    switch (string.charAt(i)) {
      case u'\r':
        return i + 1 < length && string.charAt(i + 1) == u'\n' ? RKLineBreakCRLF : RKLineBreakCR;
      case u'\n':
        return RKLineBreakLF;
      case u'\u2028':
        return RKLineBreakLineSeparator;
      default:
        break;
    }
  }
  return RKLineBreakNone;
}

std::optional<icu::UnicodeString> RKTextConverter::lineBreakString(RKLineBreakType type) const {
  switch (type) {
    case RKLineBreakLF:
      return icu::UnicodeString(u'\n');
    case RKLineBreakCR:
      return icu::UnicodeString(u'\r');
    case RKLineBreakCRLF:
      return icu::UnicodeString(u"\r\n", 2);
    case RKLineBreakLineSeparator:
      return icu::UnicodeString(u'\u2028');
    default:
      return std::nullopt;
  }
}

void RKTextConverter::convertLineBreakOfString(icu::UnicodeString* string, RKLineBreakType from,
                                               RKLineBreakType to) const {
  if (string == nullptr || from == to) return;
  const std::optional<icu::UnicodeString> fromText = lineBreakString(from);
  const std::optional<icu::UnicodeString> toText = lineBreakString(to);
  // A kind without a text has nothing to search for or to put in its place.
  if (!fromText || !toText) return;
  // A literal, left-to-right search: converting from CR also rewrites the CR
  // of a CR LF pair.
  string->findAndReplace(*fromText, *toText);
}
