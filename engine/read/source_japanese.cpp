#include "read/source_japanese.h"

#include <cstring>
#include <string>

#include "ascii_letters.h"
#include "platform.h"

namespace vcard::detail {
namespace {

// True for a code point Japanese text is written in: CJK punctuation, kana,
// enclosed and compatibility forms (3000-30FF, 31F0-33FF), kanji
// (3400-9FFF, F900-FAFF) and the full-width and half-width forms
// (FF00-FFEF). Hangul and Bopomofo (3100-31EF) are left out.
constexpr bool isJapaneseCodePoint(char32_t c) noexcept {
  return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

// True for a charset name (upper case) of a Japanese encoding: SHIFT_JIS,
// SJIS, CP932, WINDOWS-31J, ISO-2022-JP, EUC-JP and their aliases.
bool isJapaneseCharset(std::string_view name) noexcept {
  for (const std::string_view part : {"JIS", "JP", "932", "31J", "943", "KANJI"}) {
    if (name.find(part) != std::string_view::npos) return true;
  }
  return false;
}

// Pictograms a phone wrote: a carrier whose table is mapped, or codes in a
// phone's export that no single carrier explains. Codes without a phone's
// mark (a PC's own glyphs, or Western letters) and the user's "none" are no
// such evidence.
bool showsPhonePictograms(const PictogramInfo& pictograms) noexcept {
  if (pictograms.carrier != Carrier::None) return true;
  return pictograms.basis == CarrierBasis::Conflict || pictograms.basis == CarrierBasis::Ambiguous;
}

}  // namespace

// True when the UTF-8 text holds such a character. All of them take three
// bytes with a lead byte E3-E9 or EF, so every other byte is passed over.
bool holdsJapaneseCharacter(std::string_view text) noexcept {
  const auto* u = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i + 2 < n; ++i) {
    const unsigned char lead = u[i];
    if (lead < 0xE3 || lead > 0xEF || (lead > 0xE9 && lead < 0xEF)) continue;
    if ((u[i + 1] & 0xC0) != 0x80 || (u[i + 2] & 0xC0) != 0x80) continue;
    const char32_t c =
        static_cast<char32_t>((lead & 0x0F) << 12 | (u[i + 1] & 0x3F) << 6 | (u[i + 2] & 0x3F));
    if (isJapaneseCodePoint(c)) return true;
    i += 2;
  }
  return false;
}

ShiftJISFit shiftJISFit(std::string_view bytes) noexcept {
  ShiftJISFit fit;
  std::uint64_t run = 0;      // non-ASCII characters in a row so far
  bool letterBefore = false;  // an ASCII letter stands before the run
  bool letter = false;        // the last byte was an ASCII letter
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    if (c < 0x80) {
      length = 1;
    } else if (c >= 0xA1 && c <= 0xDF) {
      length = 1;  // half-width katakana
    } else if (platform::isShiftJISLeadByte(c) && i + 1 < bytes.size() &&
               platform::isShiftJISTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
      length = 2;
    }
    if (length == 0) {
      // A bad byte inside a word (where a character was damaged) does not
      // end it.
      ++fit.badBytes;
      ++i;
      continue;
    }
    if (c >= 0x80) {
      ++fit.characters;
      if (run == 0) letterBefore = letter;
      // The second of a run counts the first with it.
      ++run;
      fit.inWords += run == 2 ? 2 : run > 2 ? 1 : 0;
      letter = false;
    } else {
      letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      if (run == 1 && (letterBefore || letter)) ++fit.besideLetters;
      run = 0;
    }
    i += length;
  }
  if (run == 1 && letterBefore) ++fit.besideLetters;
  return fit;
}

bool declaresJapaneseCharset(std::string_view text) {
  constexpr std::string_view kKey = "CHARSET=";
  std::size_t at = 0;
  while (at < text.size()) {
    // Parameters follow a ";".
    const void* semicolon = std::memchr(text.data() + at, ';', text.size() - at);
    if (semicolon == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(semicolon) - text.data()) + 1;
    if (!platform::asciiUpperEquals(text.substr(at, kKey.size()), kKey)) continue;
    const std::size_t start = at + kKey.size();
    std::size_t end = start;
    while (end < text.size() && text[end] != ';' && text[end] != ':' && text[end] != '\r' &&
           text[end] != '\n')
      ++end;
    if (isJapaneseCharset(platform::upperASCII(text.substr(start, end - start)))) return true;
  }
  return false;
}

void noteJapaneseText(SourceInfo* source, std::string_view text) {
  if (source->japaneseText) return;
  source->japaneseText = source->encoding == "Shift_JIS" ||
                         showsPhonePictograms(source->pictograms) || holdsJapaneseCharacter(text) ||
                         declaresJapaneseCharset(text);
  if (source->japaneseText) return;
  PictogramInfo& pictograms = source->pictograms;
  pictograms.codes = 0;
  pictograms.mapped = 0;
  if (pictograms.basis == CarrierBasis::NotPhoneExport)
    pictograms.basis = CarrierBasis::NoPictograms;
}

}  // namespace vcard::detail
