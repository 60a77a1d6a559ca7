// Source loading: reads the whole file once and normalises it to the
// internal text, UTF-8 without byte-order mark, zero bytes or U+FEFF.
//
// A source is never refused for what a reader can mend: zero bytes are
// dropped instead of ending the text, ill-formed UTF-8 after a mark and
// ill-formed UTF-16 become U+FFFD, and an undeclared Western file is decoded
// by the charset detector's guess. Only UTF-16 big-endian, a file that
// cannot be read and content nothing can decode are refused.
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
#include "source_stream.h"
#include "strutil.h"
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

// True when some line of the text begins a card.
bool hasBeginLine(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (vcard::detail::cardLineOfText(line) == vcard::detail::CardLine::Begin) return true;
    start = end + 1;
  }
  return false;
}

// The text as the loader hands it over: an owned copy without U+0000 and
// U+FEFF. Its own characters are Unicode already; only quoted-printable
// values may still hold Shift_JIS pictogram codes, decoded later.
VCardLoadResult handOver(std::string& utf8, OwnedCString* text) {
  dropNulsAndMarks(utf8);
  g_source.pictograms = vcard::detail::decideCarrier(
      g_carrierChoice, vcard::detail::scanPictogramCodes(utf8, false), utf8);
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
    std::string().swap(content);
    text->reset(sjis->release());
    return *text ? kLoadOK : kLoadUndecodable;
  }
  // Neither: an undeclared Western export ("ANSI"), say. Readable Latin text
  // is better than refusing the file.
  std::optional<std::string> guess = platform::guessSingleByteLatinCharset(content);
  if (!guess) return kLoadUndecodable;
  g_source.encoding = *guess;
  g_source.basis = EncodingBasis::Guess;
  return decodeRepaired(content, guess->c_str(), text);
}

// Content without a mark. The detector's zero-byte pattern may say UTF-16:
// that holds when the content, decoded so, has a BEGIN:VCARD line. Then
// little-endian is the text and big-endian is refused like its mark; an
// 8-bit file with stray zero bytes fails the test and is read as such.
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
      if (bigEndian) return kLoadUnsupportedEncoding;
      g_source.replaced += replaced;
      return handOver(*utf8, text);
    }
  }
  return loadEightBit(content, text);
}

VCardLoadResult load(const char* path, OwnedCString* text) {
  std::optional<std::string> file = platform::readFile(path);
  if (!file) return kLoadUnreadable;
  std::string& content = *file;  // the file's bytes, decoded where they are

  auto startsWith = [&](std::string_view mark) { return content.starts_with(mark); };
  if (startsWith("\xFE\xFF")) {
    g_source.encoding = "UTF-16BE";
    g_source.basis = EncodingBasis::ByteOrderMark;
    return kLoadUnsupportedEncoding;
  }

  if (startsWith(kMarkUTF8)) {
    g_source.encoding = "UTF-8";
    g_source.basis = EncodingBasis::ByteOrderMark;
    content.erase(0, kMarkUTF8.size());
    g_source.zeroBytesDropped += dropZeroBytes(content);
    if (utf::validateUTF8(content)) return handOver(content, text);
    return decodeRepaired(content, "UTF-8", text);
  }
  if (startsWith("\xFF\xFE")) {
    g_source.encoding = "UTF-16LE";
    g_source.basis = EncodingBasis::ByteOrderMark;
    content.erase(0, 2);
    return decodeRepaired(content, "UTF-16LE", text);
  }
  if (content.empty()) return handOver(content, text);
  return loadWithoutMark(content, text);
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
