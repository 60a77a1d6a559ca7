// Source loading: reads the whole file once and normalises it to the
// internal text, UTF-8 without byte-order mark, zero bytes or U+FEFF.
//
// A source is never refused for what a reader can mend: zero bytes are
// dropped instead of ending the text, ill-formed UTF-8 after a mark and
// ill-formed UTF-16 become U+FFFD, a few bad bytes in a Japanese file become
// U+FFFD instead of turning the file Western, CR line ends become LF, and an
// undeclared Western file is decoded by the charset detector's guess. Only a
// file that cannot be read and content nothing can decode are refused.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "engine_p.h"
#include "pictograms.h"
#include "platform.h"
#include "rk_text_converter.h"
#include "source_japanese.h"
#include "source_stream.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"

namespace {

using platform::OwnedCString;
using vcard::CarrierChoice;
using vcard::EncodingBasis;
using vcard::SourceInfo;

SourceInfo g_source;
CarrierChoice g_carrierChoice = CarrierChoice::Auto;

constexpr std::string_view kMarkUTF8 = "\xEF\xBB\xBF";

// Removes every zero byte in place and returns how many there were. A zero
// byte in an 8-bit export is a stray: the cards after it are still there.
std::uint64_t dropZeroBytes(std::string& bytes) {
  if (std::memchr(bytes.data(), '\0', bytes.size()) == nullptr) return 0;
  const auto kept = std::remove(bytes.begin(), bytes.end(), '\0');
  const auto dropped = static_cast<std::uint64_t>(bytes.end() - kept);
  bytes.erase(kept, bytes.end());
  return dropped;
}

// Removes U+0000 and U+FEFF from decoded UTF-8 in place, counting each. The
// internal text is a C string, so U+0000 cannot stay; U+FEFF after the one
// leading mark is invisible and, before a BEGIN:VCARD line (files joined
// with their marks), would hide the card from the line analysis.
void dropNulsAndMarks(std::string& utf8) {
  const bool hasNul = std::memchr(utf8.data(), '\0', utf8.size()) != nullptr;
  if (!hasNul && utf8.find(kMarkUTF8) == std::string::npos) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    if (utf8[i] == '\0') {
      ++g_source.zeroBytesDropped;
      ++i;
    } else if (utf8.compare(i, kMarkUTF8.size(), kMarkUTF8) == 0) {
      ++g_source.marksDropped;
      i += kMarkUTF8.size();
    } else {
      utf8[out++] = utf8[i++];
    }
  }
  utf8.resize(out);
}

// True when some line of the text begins a card. Lines end at LF or CR, so
// that a file with CR line ends (old Macs) is found too.
bool hasBeginLine(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (vcard::detail::cardLineOfText(line) == vcard::detail::CardLine::Begin) return true;
    start = end + 1;
  }
  return false;
}

// A text with CR line ends and no LF at all (old Mac exports) gets LF line
// ends, which the line analysis cuts at; a text with any LF is left alone, so
// CR LF and LF files read exactly as they always have.
void useCarriageReturnsAsLineEnds(char* text, std::size_t length) {
  if (std::memchr(text, '\n', length) != nullptr) return;
  char* at = static_cast<char*>(std::memchr(text, '\r', length));
  if (at == nullptr) return;
  g_source.carriageReturnLineEnds = true;
  for (char* const end = text + length; at != end; ++at) {
    if (*at == '\r') *at = '\n';
  }
}

// The text as the loader hands it over: an owned copy without U+0000 and
// U+FEFF. Its own characters are Unicode already; only quoted-printable
// values may still hold Shift_JIS pictogram codes, decoded later.
VCardLoadResult handOver(std::string& utf8, OwnedCString* text) {
  dropNulsAndMarks(utf8);
  useCarriageReturnsAsLineEnds(utf8.data(), utf8.size());
  g_source.pictograms = vcard::detail::decideCarrier(
      g_carrierChoice, vcard::detail::scanPictogramCodes(utf8, false), utf8);
  vcard::detail::noteJapaneseText(&g_source, utf8);
  *text = platform::copyToCString(utf8);
  return *text ? kLoadOK : kLoadUndecodable;
}

// Decodes with ICU's converter of that name, repairing what is ill-formed.
VCardLoadResult decodeRepaired(std::string_view content, const char* converter,
                               OwnedCString* text) {
  std::optional<std::string> utf8 =
      platform::decodeLossyToUTF8(content, converter, &g_source.replaced);
  if (!utf8) return kLoadUndecodable;
  return handOver(*utf8, text);
}

}  // namespace

void vcard::detail::WesternCharsetDeclarations::scan(std::string_view content) {
  constexpr std::string_view kKey = "CHARSET=";
  for (std::size_t at = 1; !other_ && at + kKey.size() <= content.size(); ++at) {
    // Candidates follow a ";" (a parameter).
    const void* semicolon = std::memchr(content.data() + at - 1, ';', content.size() - at);
    if (semicolon == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(semicolon) - content.data()) + 1;
    if (at + kKey.size() > content.size()) break;
    std::size_t k = 0;
    while (k < kKey.size() && asciiUpper(content[at + k]) == kKey[k])
      ++k;
    if (k < kKey.size()) continue;
    const std::size_t start = at + kKey.size();
    std::size_t end = start;
    while (end < content.size() && content[end] != ';' && content[end] != ':' &&
           content[end] != '\r' && content[end] != '\n')
      ++end;
    std::string name(content.substr(start, end - start));
    for (char& c : name)
      c = asciiUpper(c);
    const bool isWestern = name.starts_with("WINDOWS-125") || name.starts_with("ISO-8859-");
    const bool neutral = name == "UTF-8" || name == "US-ASCII";
    if (!isWestern && !neutral) other_ = true;  // Japanese, or unknown
    if (isWestern && !western_ && platform::isKnownCharset(name.c_str())) western_ = name;
  }
}

std::optional<std::string> vcard::detail::WesternCharsetDeclarations::charset() const {
  if (other_) return std::nullopt;
  return western_;
}

namespace {

// The encodings a file that decodes strictly as nothing may still be.
enum class Closest { UTF8, ShiftJIS, Neither };

// How well bytes fit an encoding: its multi-byte characters, its ill-formed
// bytes, and for Shift_JIS
// the characters that stand next to another non-ASCII character, as the
// characters of Japanese words do.
struct Fit {
  std::uint64_t characters = 0;
  std::uint64_t badBytes = 0;
  std::uint64_t inWords = 0;
};

Fit utf8Fit(std::string_view bytes) {
  Fit fit;
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
    } else if (const std::size_t length = utf::multiByteSequenceLength(bytes.substr(i));
               length != 0) {
      ++fit.characters;
      i += length;
    } else {
      ++fit.badBytes;
      ++i;
    }
  }
  return fit;
}

Fit shiftJISFit(std::string_view bytes) {
  Fit fit;
  std::uint64_t run = 0;  // non-ASCII characters in a row so far
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
      // The second of a run counts the first with it.
      ++run;
      fit.inWords += run == 2 ? 2 : run > 2 ? 1 : 0;
    } else {
      run = 0;
    }
    i += length;
  }
  return fit;
}

// The encoding whose structure bytes that are neither well-formed UTF-8 nor
// well-formed Shift_JIS show: UTF-8 when its multi-byte characters at least
// match its ill-formed bytes; else Shift_JIS when the file speaks Japanese
// (a third of its characters in words of two or more, or a Japanese CHARSET)
// and its characters at least match its ill-formed bytes. A Western file fits
// neither: its accented letters stand alone between ASCII letters, not as
// UTF-8 sequences or Japanese words.
Closest closestEncoding(std::string_view content) {
  // UTF-8's structure is strict: bytes of another encoding seldom form one of
  // its sequences, let alone as many as they break. Shift_JIS takes almost
  // any pair, so it also needs the file to speak Japanese.
  const Fit utf8 = utf8Fit(content);
  if (utf8.characters != 0 && utf8.badBytes <= utf8.characters) return Closest::UTF8;
  const Fit sjis = shiftJISFit(content);
  const bool japanese = (sjis.inWords >= 2 && 3 * sjis.inWords >= sjis.characters) ||
                        vcard::detail::declaresJapaneseCharset(content);
  if (japanese && sjis.characters != 0 && sjis.badBytes <= sjis.characters)
    return Closest::ShiftJIS;
  return Closest::Neither;
}

// The U+FFFD characters in UTF-8 text.
std::uint64_t countReplacements(std::string_view utf8) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::uint64_t count = 0;
  for (std::size_t at = utf8.find(kReplacement); at != std::string_view::npos;
       at = utf8.find(kReplacement, at + kReplacement.size()))
    ++count;
  return count;
}

// The Western single-byte charset (windows-125x, ISO-8859-x) that the file's
// own CHARSET parameters name, when they name one and no other charset
// except UTF-8 and US-ASCII (which label single values and cannot describe a
// file that is not UTF-8): an Outlook "ANSI" export labels its
// quoted-printable values so, while its plain values carry the same bytes
// unlabelled. Such a file may decode as Shift_JIS by coincidence ("Lä" is a
// valid pair), which its own label outranks.
std::optional<std::string> declaredWesternCharset(std::string_view content) {
  vcard::detail::WesternCharsetDeclarations declarations;
  declarations.scan(content);
  return declarations.charset();
}

// Content of one byte per character (or a multi-byte Japanese or UTF-8
// encoding): its zero bytes dropped, then taken as UTF-8 when it is
// well-formed UTF-8, else by the Western charset it declares (and no other),
// else as Shift_JIS when it decodes as such, else by the charset detector's
// single-byte guess.
VCardLoadResult loadEightBit(std::string& content, OwnedCString* text) {
  g_source.zeroBytesDropped += dropZeroBytes(content);
  g_source.basis = EncodingBasis::Content;
  if (utf::validateUTF8(content)) {
    // ASCII alone says nothing about the charset of encoded values.
    g_source.encoding = utf::isASCII(content) ? "US-ASCII" : "UTF-8";
    std::string utf8 = std::move(content);
    return handOver(utf8, text);
  }
  if (std::optional<std::string> declared = declaredWesternCharset(content)) {
    g_source.encoding = *declared;
    g_source.basis = EncodingBasis::Declared;
    return decodeRepaired(content, declared->c_str(), text);
  }
  // Pictogram codes are mapped while the bytes are still Shift_JIS: once
  // decoded, SoftBank's FBxx codes are kanji like any other.
  const vcard::detail::PictogramScan scan = vcard::detail::scanPictogramCodes(content, true);
  const vcard::PictogramInfo pictograms =
      vcard::detail::decideCarrier(g_carrierChoice, scan, content);
  std::optional<platform::DecodedText> sjis;
  if (pictograms.carrier != vcard::Carrier::None && scan.plainCodes != 0) {
    if (std::optional<std::string> mapped =
            vcard::detail::decodeShiftJISWithPictograms(content, pictograms.carrier, false)) {
      if (OwnedCString block = platform::copyToCString(*mapped))
        sjis.emplace(block.release(), mapped->size());
    }
  } else {
    sjis = platform::decodeToUTF8Block(content, platform::Encoding::ShiftJIS);
  }
  if (sjis) {
    // Shift_JIS has neither U+0000 (the zero bytes are gone) nor U+FEFF.
    g_source.encoding = "Shift_JIS";
    g_source.pictograms = pictograms;
    vcard::detail::noteJapaneseText(&g_source, sjis->view());
    std::string().swap(content);
    useCarriageReturnsAsLineEnds(sjis->data(), sjis->size());
    text->reset(sjis->release());
    return *text ? kLoadOK : kLoadUndecodable;
  }
  // Neither strictly. A few bad bytes (a character cut at a line end, a
  // damaged sector) in a Japanese file must not turn every card into Latin
  // mojibake: the encoding whose structure the bytes show is kept, each bad
  // sequence becoming U+FFFD.
  switch (closestEncoding(content)) {
    case Closest::UTF8:
      g_source.encoding = "UTF-8";
      return decodeRepaired(content, "UTF-8", text);
    case Closest::ShiftJIS: {
      g_source.encoding = "Shift_JIS";
      if (pictograms.carrier != vcard::Carrier::None && scan.plainCodes != 0) {
        std::optional<std::string> mapped =
            vcard::detail::decodeShiftJISWithPictograms(content, pictograms.carrier, true);
        if (!mapped) return kLoadUndecodable;
        g_source.replaced += countReplacements(*mapped);
        const VCardLoadResult result = handOver(*mapped, text);
        g_source.pictograms = pictograms;
        return result;
      }
      const VCardLoadResult result = decodeRepaired(content, "Shift_JIS", text);
      g_source.pictograms = pictograms;
      return result;
    }
    case Closest::Neither:
      break;
  }
  // Neither: an undeclared Western export ("ANSI"), say. Readable Latin text
  // is better than refusing the file.
  std::optional<std::string> guess = platform::guessSingleByteLatinCharset(content);
  if (!guess) return kLoadUndecodable;
  g_source.encoding = *guess;
  g_source.basis = EncodingBasis::Guess;
  return decodeRepaired(content, guess->c_str(), text);
}

// Content without a mark. The detector's zero-byte pattern may say UTF-16
// (zero bytes at odd offsets little-endian, at even ones big-endian, as some
// Mac address books write): that holds when the content, decoded so, has a
// BEGIN:VCARD line; an 8-bit file with stray zero bytes fails the test and is
// read as such.
VCardLoadResult loadWithoutMark(std::string& content, OwnedCString* text) {
  // The detector expects the content followed by a whole NUL unit.
  content.append(2, '\0');
  RKTextConverter converter;
  const RKEncodingInfo info = converter.encodingInfoOfTextData(&content);
  content.resize(content.size() - 2);

  if (info.encoding == RKTextEncodingUTF16) {
    const bool bigEndian = info.byteOrder == RKByteOrderBigEndian;
    const char* name = bigEndian ? "UTF-16BE" : "UTF-16LE";
    std::uint64_t replaced = 0;
    std::optional<std::string> utf8 = platform::decodeLossyToUTF8(content, name, &replaced);
    if (utf8 && hasBeginLine(*utf8)) {
      g_source.encoding = name;
      g_source.basis = EncodingBasis::Content;
      g_source.replaced += replaced;
      return handOver(*utf8, text);
    }
  }
  return loadEightBit(content, text);
}

// The decisions over a source's bytes, wherever they were read from; the
// bytes are decoded where they are.
VCardLoadResult loadContent(std::string& content, OwnedCString* text) {
  auto startsWith = [&](std::string_view mark) { return content.starts_with(mark); };

  if (startsWith(kMarkUTF8)) {
    g_source.encoding = "UTF-8";
    g_source.basis = EncodingBasis::ByteOrderMark;
    content.erase(0, kMarkUTF8.size());
    g_source.zeroBytesDropped += dropZeroBytes(content);
    if (utf::validateUTF8(content)) return handOver(content, text);
    return decodeRepaired(content, "UTF-8", text);
  }
  if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
    const char* name = content[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
    g_source.encoding = name;
    g_source.basis = EncodingBasis::ByteOrderMark;
    content.erase(0, 2);
    return decodeRepaired(content, name, text);
  }
  if (content.empty()) return handOver(content, text);
  return loadWithoutMark(content, text);
}

VCardLoadResult load(const char* path, OwnedCString* text) {
  std::optional<std::string> file = platform::readFile(path);
  if (!file) return kLoadUnreadable;
  return loadContent(*file, text);
}

}  // namespace

const vcard::SourceInfo& vcard::lastSourceInfo() noexcept {
  return g_source;
}

vcard::SourceInfo& vcard::detail::beginSource(CarrierChoice carrier) noexcept {
  g_source = SourceInfo{};
  g_carrierChoice = carrier;
  return g_source;
}

int vCard_GetData(const char* path, char** text) {
  return vCard_GetData(path, text, CarrierChoice::Auto);
}

int vCard_GetData(const char* path, char** text, CarrierChoice carrier) {
  g_source = SourceInfo{};
  g_carrierChoice = carrier;
  if (path == nullptr || text == nullptr) return kLoadUnreadable;
  try {
    OwnedCString loaded;
    const VCardLoadResult result = load(path, &loaded);
    // The text leaves through the C interface only when loading succeeded.
    if (result == kLoadOK) *text = loaded.release();
    return result;
  } catch (...) {
    return kLoadUndecodable;
  }
}

vcard::LoadedText vcard::loadBytes(std::string_view bytes, CarrierChoice carrier) {
  g_source = SourceInfo{};
  g_carrierChoice = carrier;
  LoadedText loaded;
  try {
    // The loader decodes in place: the caller's bytes stay as they are.
    std::string content(bytes);
    loaded.code = loadContent(content, &loaded.text);
  } catch (...) {
    loaded.code = kLoadUndecodable;
  }
  if (loaded.code != kLoadOK) loaded.text.reset();
  return loaded;
}
