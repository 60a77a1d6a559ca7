// Whether a source shows Japanese, decided once for the whole file: the
// quoted-printable and Base64 values that name no charset are read by it.
#pragma once

#include <string_view>

#include "vcard.h"

namespace vcard::detail {

// Sets source->japaneseText when the source shows Japanese: it was decoded
// as Shift_JIS (which the loader does only for text that is not ASCII), its
// text holds kana, kanji or full-width forms, a CHARSET parameter names a
// Japanese charset, or its pictograms are a phone's (a carrier mapped, or
// codes in a phone export). Called with the text the loader hands over,
// after the encoding and the pictograms are recorded; for a source read in
// pieces, with each piece and once more at the end. Once set it stays set.
//
// A source that shows none has no pictograms either: the user-defined-area
// codes counted in its values are the Western letters they decode to, so
// they are no longer counted, and nothing is told about them.
void noteJapaneseText(SourceInfo* source, std::string_view text);

// True when the UTF-8 text holds a character Japanese is written in: CJK
// punctuation, kana, kanji, the full-width and half-width forms (not Hangul,
// Bopomofo or the private-use area). The one measure of "Japanese text" for
// the whole engine.
[[nodiscard]] bool holdsJapaneseCharacter(std::string_view text) noexcept;

// True when some CHARSET=... parameter of the text names a Japanese charset.
[[nodiscard]] bool declaresJapaneseCharset(std::string_view text);

}  // namespace vcard::detail
