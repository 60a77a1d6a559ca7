// Source loading: reads the whole file once and normalises it to the
// internal text, UTF-8 without byte-order mark, zero bytes or U+FEFF.
//
// A source is never refused for what a reader can mend: zero bytes are
// dropped instead of ending the text, ill-formed UTF-8 after a mark and
// ill-formed UTF-16 become U+FFFD, a few bad bytes in a Japanese file become
// U+FFFD instead of turning the file Western, CR line ends become LF, and an
// undeclared Western file is decoded by the charset detector's guess. Only a
// file that cannot be read and content nothing can decode are refused.
//
// The source plan decides first, as for a source read in pieces; only what
// it leaves to the whole file is decided by the repairs here.
#include "read/source_load.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "card/card_lines.h"
#include "platform.h"
#include "read/pictograms.h"
#include "read/source_japanese.h"
#include "read/source_plan.h"
#include "rk_text_converter.h"
#include "utf8.h"
#include "vcard.h"

namespace vcard::detail {
namespace {

using platform::OwnedCString;

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

// True when some line of the text begins a card. Lines end at LF or CR, so
// that a file with CR line ends (old Macs) is found too.
bool hasBeginLine(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (cardLineOfText(line) == CardLine::Begin) return true;
    start = end + 1;
  }
  return false;
}

// The encodings a file that decodes strictly as nothing may still be.
enum class Closest { UTF8, ShiftJIS, Neither };

// How well bytes fit UTF-8: its multi-byte characters and its ill-formed
// bytes.
struct Fit {
  std::uint64_t characters = 0;
  std::uint64_t badBytes = 0;
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
  const ShiftJISFit sjis = shiftJISFit(content);
  const bool japanese = sjis.readsAsJapanese() || declaresJapaneseCharset(content);
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
  WesternCharsetDeclarations declarations;
  declarations.scan(content);
  return declarations.charset();
}

// One whole-file load: the text and the record of the source, filled in as
// the decisions are taken.
class Loader {
 public:
  explicit Loader(CarrierChoice carrier) : carrier_(carrier) {}

  LoadedSource load(std::string& content) {
    loaded_.code = loadContent(content);
    if (loaded_.code != kLoadOK) {
      loaded_.text.reset();
      loaded_.length = 0;
    }
    return std::move(loaded_);
  }

 private:
  VCardLoadResult keep(OwnedCString text, std::size_t length) {
    loaded_.text = std::move(text);
    if (!loaded_.text) return kLoadUndecodable;
    loaded_.length = length;
    return kLoadOK;
  }

  // Removes U+0000 and U+FEFF from decoded UTF-8 in place, counting each.
  // The internal text is a C string, so U+0000 cannot stay; U+FEFF after the
  // one leading mark is invisible and, before a BEGIN:VCARD line (files
  // joined with their marks), would hide the card from the line analysis.
  void dropNulsAndMarks(std::string& utf8) {
    const bool hasNul = std::memchr(utf8.data(), '\0', utf8.size()) != nullptr;
    if (!hasNul && utf8.find(kMarkUTF8) == std::string::npos) return;
    std::size_t out = 0;
    for (std::size_t i = 0; i < utf8.size();) {
      if (utf8[i] == '\0') {
        ++source().zeroBytesDropped;
        ++i;
      } else if (utf8.compare(i, kMarkUTF8.size(), kMarkUTF8) == 0) {
        ++source().marksDropped;
        i += kMarkUTF8.size();
      } else {
        utf8[out++] = utf8[i++];
      }
    }
    utf8.resize(out);
  }

  // A text with CR line ends and no LF at all (old Mac exports) gets LF line
  // ends, which the line analysis cuts at; a text with any LF is left alone,
  // so CR LF and LF files read exactly as they always have.
  void useCarriageReturnsAsLineEnds(char* text, std::size_t length) {
    if (std::memchr(text, '\n', length) != nullptr) return;
    char* at = static_cast<char*>(std::memchr(text, '\r', length));
    if (at == nullptr) return;
    source().carriageReturnLineEnds = true;
    for (char* const end = text + length; at != end; ++at) {
      if (*at == '\r') *at = '\n';
    }
  }

  // The text as the loader hands it over: an owned copy without U+0000 and
  // U+FEFF. Its own characters are Unicode already; only quoted-printable
  // values may still hold Shift_JIS pictogram codes, decoded later.
  VCardLoadResult handOver(std::string& utf8) {
    dropNulsAndMarks(utf8);
    useCarriageReturnsAsLineEnds(utf8.data(), utf8.size());
    source().pictograms = decideCarrier(carrier_, scanPictogramCodes(utf8, false), utf8);
    noteJapaneseText(&source(), utf8);
    return keep(platform::copyToCString(utf8), utf8.size());
  }

  // Decodes with ICU's converter of that name, repairing what is ill-formed.
  VCardLoadResult decodeRepaired(std::string_view content, const char* converter) {
    std::optional<std::string> utf8 =
        platform::decodeLossyToUTF8(content, converter, &source().replaced);
    if (!utf8) return kLoadUndecodable;
    return handOver(*utf8);
  }

  // Content of one byte per character (or a multi-byte Japanese or UTF-8
  // encoding): its zero bytes dropped, then taken as UTF-8 when it is
  // well-formed UTF-8, else by the Western charset it declares (and no
  // other), else as Shift_JIS when it decodes as such, else by the charset
  // detector's single-byte guess.
  VCardLoadResult loadEightBit(std::string& content) {
    source().zeroBytesDropped += dropZeroBytes(content);
    source().basis = EncodingBasis::Content;
    if (utf::validateUTF8(content)) {
      recordUTF8(&source(), false, utf::isASCII(content));
      std::string utf8 = std::move(content);
      return handOver(utf8);
    }
    // The survey of the same bytes may have looked already.
    std::optional<FoldsLooked> folds = std::move(folds_);
    folds_.reset();
    if (!folds) folds = FoldsLooked{joinedFoldsInsideCharacters(content)};
    if (std::optional<std::string>& joined = folds->joined) {
      recordUTF8(&source(), false, false);
      std::string().swap(content);
      return handOver(*joined);
    }
    if (std::optional<std::string> declared = declaredWesternCharset(content)) {
      source().encoding = *declared;
      source().basis = EncodingBasis::Declared;
      return decodeRepaired(content, declared->c_str());
    }
    // Pictogram codes are mapped while the bytes are still Shift_JIS: once
    // decoded, SoftBank's FBxx codes are kanji like any other.
    const PictogramScan scan = scanPictogramCodes(content, true);
    const PictogramInfo pictograms = decideCarrier(carrier_, scan, content);
    std::optional<platform::DecodedText> sjis;
    if (pictograms.carrier != Carrier::None && scan.plainCodes != 0) {
      if (std::optional<std::string> mapped =
              decodeShiftJISWithPictograms(content, pictograms.carrier, false)) {
        if (OwnedCString block = platform::copyToCString(*mapped))
          sjis.emplace(block.release(), mapped->size());
      }
    } else {
      sjis = platform::decodeToUTF8Block(content, platform::Encoding::ShiftJIS);
    }
    if (sjis) {
      // Shift_JIS has neither U+0000 (the zero bytes are gone) nor U+FEFF.
      source().encoding = "Shift_JIS";
      source().pictograms = pictograms;
      noteJapaneseText(&source(), sjis->view());
      std::string().swap(content);
      useCarriageReturnsAsLineEnds(sjis->data(), sjis->size());
      const std::size_t length = sjis->size();
      return keep(OwnedCString(sjis->release()), length);
    }
    // Neither strictly. A few bad bytes (a character cut at a line end, a
    // damaged sector) in a Japanese file must not turn every card into Latin
    // mojibake: the encoding whose structure the bytes show is kept, each bad
    // sequence becoming U+FFFD.
    switch (closestEncoding(content)) {
      case Closest::UTF8:
        source().encoding = "UTF-8";
        return decodeRepaired(content, "UTF-8");
      case Closest::ShiftJIS: {
        source().encoding = "Shift_JIS";
        if (pictograms.carrier != Carrier::None && scan.plainCodes != 0) {
          std::optional<std::string> mapped =
              decodeShiftJISWithPictograms(content, pictograms.carrier, true);
          if (!mapped) return kLoadUndecodable;
          source().replaced += countReplacements(*mapped);
          const VCardLoadResult result = handOver(*mapped);
          source().pictograms = pictograms;
          return result;
        }
        const VCardLoadResult result = decodeRepaired(content, "Shift_JIS");
        source().pictograms = pictograms;
        return result;
      }
      case Closest::Neither:
        break;
    }
    // Neither: an undeclared Western export ("ANSI"), say. Readable Latin
    // text is better than refusing the file.
    std::optional<std::string> guess = platform::guessSingleByteLatinCharset(content);
    if (!guess) return kLoadUndecodable;
    source().encoding = *guess;
    source().basis = EncodingBasis::Guess;
    return decodeRepaired(content, guess->c_str());
  }

  // Content without a mark. The detector's zero-byte pattern may say UTF-16
  // (zero bytes at odd offsets little-endian, at even ones big-endian, as
  // some Mac address books write): that holds when the content, decoded so,
  // has a BEGIN:VCARD line; an 8-bit file with stray zero bytes fails the
  // test and is read as such.
  VCardLoadResult loadWithoutMark(std::string& content) {
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
        source().encoding = name;
        source().basis = EncodingBasis::Content;
        source().replaced += replaced;
        return handOver(*utf8);
      }
    }
    return loadEightBit(content);
  }

  // What the source plan leaves to the whole file: marks, zero bytes, text
  // to repair, charsets to detect, pictograms to map.
  VCardLoadResult repair(std::string& content) {
    auto startsWith = [&](std::string_view mark) { return content.starts_with(mark); };

    if (startsWith(kMarkUTF8)) {
      recordUTF8(&source(), true, false);
      content.erase(0, kMarkUTF8.size());
      source().zeroBytesDropped += dropZeroBytes(content);
      if (utf::validateUTF8(content)) return handOver(content);
      if (std::optional<std::string> joined = joinedFoldsInsideCharacters(content))
        return handOver(*joined);
      return decodeRepaired(content, "UTF-8");
    }
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
      const char* name = content[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
      source().encoding = name;
      source().basis = EncodingBasis::ByteOrderMark;
      content.erase(0, 2);
      return decodeRepaired(content, name);
    }
    if (content.empty()) return handOver(content);
    return loadWithoutMark(content);
  }

  // The decisions over a source's bytes, wherever they were read from; the
  // bytes are decoded where they are.
  VCardLoadResult loadContent(std::string& content) {
    // The whole file is the plan's one piece.
    SourceSurvey survey(std::string_view(content).substr(0, kMarkUTF8.size()), carrier_);
    const std::string_view body = std::string_view(content).substr(survey.markSize());
    while (survey.take(body, true) == SourceSurvey::Step::Again) {
    }
    folds_ = survey.takeFolds();
    switch (survey.plan()) {
      case SourcePlan::UTF8:
        source() = survey.info();
        return keep(platform::copyToCString(body), body.size());
      case SourcePlan::ShiftJIS:
        if (std::optional<platform::DecodedText> sjis =
                platform::decodeToUTF8Block(body, platform::Encoding::ShiftJIS)) {
          source() = survey.info();
          const std::size_t length = sjis->size();
          return keep(OwnedCString(sjis->release()), length);
        }
        break;  // not Shift_JIS after all
      case SourcePlan::Whole:
      case SourcePlan::Unreadable:
        break;
    }
    return repair(content);
  }

  SourceInfo& source() noexcept { return loaded_.info; }

  CarrierChoice carrier_;
  LoadedSource loaded_;
  // What the survey of the content found of folds inside characters, when
  // it looked; taken by the first look of the loader's own.
  std::optional<FoldsLooked> folds_;
};

}  // namespace

LoadedSource loadFile(const char* path, CarrierChoice carrier) {
  if (path == nullptr) return {};
  std::optional<std::string> file = platform::readFile(path);
  if (!file) return {};
  return Loader(carrier).load(*file);
}

LoadedSource loadContent(std::string content, CarrierChoice carrier) {
  return Loader(carrier).load(content);
}

LoadedSource loadBytes(std::string_view bytes, CarrierChoice carrier) {
  // The loader decodes in place: the caller's bytes stay as they are.
  std::string content(bytes);
  return Loader(carrier).load(content);
}

}  // namespace vcard::detail
