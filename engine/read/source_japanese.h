// Whether a source shows Japanese, decided once for the whole file: the
// quoted-printable and Base64 values that name no charset are read by it.
#pragma once

#include <cstdint>
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

// How bytes fit Shift_JIS: its non-ASCII characters, its ill-formed bytes,
// the characters that stand next to another non-ASCII character, as the
// characters of Japanese words do, and the characters that stand alone
// right beside an ASCII letter, as a Western accented letter does.
struct ShiftJISFit {
  std::uint64_t characters = 0;
  std::uint64_t badBytes = 0;
  std::uint64_t inWords = 0;
  std::uint64_t besideLetters = 0;

  // True when the characters read as Japanese words: a third of them, two
  // at least, stand in words of two or more. A Western text's accented
  // letters stand alone between ASCII letters ("Ren\xE9e" pairs E9 65 into
  // one kanji).
  [[nodiscard]] bool readsAsJapanese() const noexcept {
    return inWords >= 2 && 3 * inWords >= characters;
  }
  // The same for one value, which may be a single kanji ("林"): Japanese
  // too when no character stands alone beside an ASCII letter.
  [[nodiscard]] bool valueReadsAsJapanese() const noexcept {
    return readsAsJapanese() || besideLetters == 0;
  }
};

// The fit of the bytes, the one measure of whether undeclared bytes are
// Japanese, for a whole file and for one value alike.
[[nodiscard]] ShiftJISFit shiftJISFit(std::string_view bytes) noexcept;

// True when some CHARSET=... parameter of the text names a Japanese charset.
[[nodiscard]] bool declaresJapaneseCharset(std::string_view text);

}  // namespace vcard::detail
