// Rewrite rules: turn one recognised property into the properties the
// target address book expects, and decode every value on the way.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ascii_letters.h"
#include "byte_scan.h"
#include "platform.h"
#include "read/pictograms.h"
#include "read/source_japanese.h"
#include "rules.h"
#include "strutil.h"
#include "utf8.h"

namespace {

constexpr const char* kEmailTypeWords[] = {"WORK", "HOME", "CELL", "PCS", "INTERNET"};

// True when the source file was read as UTF-8 or UTF-16: quoted-printable
// bytes without a charset were then most likely written in the same UTF.
bool sourceIsUnicode(const vcard::SourceInfo& source) {
  const std::string& encoding = source.encoding;
  return encoding == "UTF-8" || encoding.starts_with("UTF-16");
}

// Shift_JIS bytes of a value as UTF-8, with the pictograms of the carrier
// the loader chose for the file.
std::string decodeShiftJIS(const vcard::SourceInfo& source, std::string_view bytes) {
  const vcard::Carrier carrier = source.pictograms.carrier;
  if (carrier != vcard::Carrier::None && vcard::detail::mayHoldPictogram(bytes)) {
    if (std::optional<std::string> mapped =
            vcard::detail::decodeShiftJISWithPictograms(bytes, carrier, true))
      return std::move(*mapped);
  }
  return platform::decodeLossyToUTF8(bytes.data(), bytes.size(), platform::Encoding::ShiftJIS);
}

// True when the bytes read as Japanese Shift_JIS: every byte above ASCII a
// half-width katakana or part of a double-byte character, none of the
// user-defined area (F040-F9FC), and at least one of either. Western
// letters seldom pass: "ń" (F1 in windows-1250) leads a user-defined code,
// and most accented letters are lead bytes without a trail byte after them.
bool readsAsJapaneseShiftJIS(std::string_view bytes) noexcept {
  using platform::isShiftJISLeadByte;
  using platform::isShiftJISTrailByte;
  bool japanese = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) continue;
    japanese = true;
    if (b >= 0xA1 && b <= 0xDF) continue;
    const bool userDefined = b >= 0xF0 && b <= 0xF9;
    if (!isShiftJISLeadByte(b) || userDefined || i + 1 == bytes.size() ||
        !isShiftJISTrailByte(static_cast<unsigned char>(bytes[i + 1])))
      return false;
    ++i;
  }
  return japanese;
}

// The single-byte charset the loader read the file in (declared or guessed),
// else windows-1252: what a Western mail program writes without saying so.
const char* westernCharset(const vcard::SourceInfo& source) {
  const std::string& encoding = source.encoding;
  const std::string_view name = encoding;
  if (platform::asciiUpperEquals(name.substr(0, 11), "WINDOWS-125") ||
      platform::asciiUpperEquals(name.substr(0, 9), "ISO-8859-"))
    return encoding.c_str();
  return "windows-1252";
}

// Undeclared bytes of a file that shows no Japanese: a Western program's.
// Well-formed UTF-8 is taken as such; bytes that read as Japanese Shift_JIS,
// by the measure the loader judges a whole file by, still are; the rest are
// the file's Western charset, where Shift_JIS would give private-use
// characters or kanji for its accented letters ("Ren\xE9e", "K\xE4se").
std::string decodeUndeclaredWestern(const vcard::SourceInfo& source, std::string_view bytes) {
  // ASCII reads the same every way; it keeps the Shift_JIS reading it had.
  if (utf::isASCII(bytes)) return decodeShiftJIS(source, bytes);
  if (utf::validateUTF8(bytes)) return std::string(bytes);
  if (readsAsJapaneseShiftJIS(bytes) && vcard::detail::shiftJISFit(bytes).valueReadsAsJapanese()) {
    if (std::optional<std::string> japanese =
            platform::decodeToUTF8(bytes, platform::Encoding::ShiftJIS))
      return std::move(*japanese);
  }
  if (std::optional<std::string> western =
          platform::decodeLossyToUTF8(bytes, westernCharset(source)))
    return std::move(*western);
  return decodeShiftJIS(source, bytes);
}

// Decoded bytes as UTF-8 by the property's charset; every undecodable byte
// becomes U+FFFD so the rest of the value survives.
std::string decodedToUTF8(const vcard::SourceInfo& source, std::string_view bytes,
                          std::uint64_t charsetType, const char* charsetName) {
  switch (charsetType) {
    case kCharsetUTF8:
      if (utf::validateUTF8(bytes)) return std::string(bytes);
      return platform::decodeLossyToUTF8(bytes.data(), bytes.size(), platform::Encoding::UTF8);
    case kCharsetOther:
      return platform::decodeLossyToUTF8(bytes, charsetName).value_or(std::string());
    case kCharsetShiftJIS:
      return decodeShiftJIS(source, bytes);
    default:
      // Undeclared bytes come from Shift_JIS phones, unless the file itself
      // was UTF and the bytes read as such, or the file shows no Japanese.
      if (sourceIsUnicode(source) && utf::validateUTF8(bytes)) return std::string(bytes);
      if (source.japaneseText) return decodeShiftJIS(source, bytes);
      return decodeUndeclaredWestern(source, bytes);
  }
}

// The first CR or LF of the text, or npos. find_first_of looks its set up
// for every byte; a search for the two bytes themselves is faster.
std::size_t findLineBreak(std::string_view text) {
  const char* end = text.data() + text.size();
  const char* hit = platform::findEitherInLong(text.data(), end, '\r', '\n');
  return hit != end ? static_cast<std::size_t>(hit - text.data()) : std::string_view::npos;
}

// Every line break inside a value, CR LF or a lone CR or LF, becomes CR LF and
// a space: the value stays one folded line, and no CR or LF is left that is
// not part of a CR LF line end. The iCloud.com form keeps each break as one
// LF instead, which its writer escapes as "\n": a fold would be unfolded
// away there.
void foldLineBreaks(std::string* text, const char* lineBreak) {
  if (findLineBreak(*text) == std::string_view::npos) return;
  std::string folded;
  folded.reserve(text->size() + 8);
  for (std::size_t i = 0; i < text->size(); ++i) {
    const char c = (*text)[i];
    if (c != '\r' && c != '\n') {
      folded.push_back(c);
      continue;
    }
    if (c == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n') ++i;
    folded.append(lineBreak);
  }
  text->swap(folded);
}

bool isPhoto(std::string_view name) {
  return platform::asciiUpperEquals(name, "PHOTO");
}

}  // namespace

namespace vcard::detail {

void PropertyLine::reset() noexcept {
  text.clear();
  started = false;
  charsetType = 0;
  encodeType = 0;
  charsetName[0] = '\0';
  lineStatus = PROP_IDLE;
  qpNext = QP_NEXT_ANY;
  isTarget = false;
  isHalfToFull = false;
  declaring = 0;
  namesJudged = 0;
}

bool declaresCoding(const RuleInput& input, std::size_t i) {
  if (input.declaring && i < kDeclaringMarked) return ((*input.declaring >> i) & 1) != 0;
  const char* parameter = input.params[i] != nullptr ? input.params[i] : "";
  return strutil::classifyParameter(parameter) != strutil::ParameterKind::Other;
}

// One pass over one decoded string: decoding, charset, line breaks and
// folding.
bool appendConvertedValue(const ValueContext& context, const char* value, const PropertyLine& prop,
                          bool decodeBase64, std::string* out) {
  const bool quotedPrintable = prop.encodeType == kEncodingQuotedPrintable;
  const bool base64Text = decodeBase64 && prop.encodeType == kEncodingBase64;
  if (!quotedPrintable && !base64Text) {
    // Everything but decoded bytes is UTF-8 since loading; validated there
    // when the line loop says so.
    if (prop.isHalfToFull)
      return context.knownUTF8 ? AppendHalfToFullOfValid(value, out) : AppendHalfToFull(value, out);
    out->append(value);
    return true;
  }
  std::string& decoded = context.decoded;
  decoded.clear();
  if (quotedPrintable) {
    strutil::appendQprintDecoded(value, &decoded);
  } else {
    strutil::appendBase64Decoded(value, &decoded);
  }
  std::string text = decodedToUTF8(context.source, decoded, prop.charsetType, prop.charsetName);
  // Values are C strings: a decoded U+0000 ends the value.
  if (const std::size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  foldLineBreaks(&text, context.valueBreak());
  // Decoded and folded text is well-formed UTF-8 by construction.
  if (prop.isHalfToFull) return AppendHalfToFullOfValid(text, out);
  out->append(text);
  return true;
}

std::optional<std::string> convertValue(const ValueContext& context, const char* value,
                                        const PropertyLine& prop, bool decodeBase64) {
  std::string converted;
  if (!appendConvertedValue(context, value, prop, decodeBase64, &converted)) return std::nullopt;
  return converted;
}

void foldBareBreaks(std::string* text, std::size_t from, const char* lineBreak) {
  const std::string_view tail = std::string_view(*text).substr(from);
  const std::size_t first = findLineBreak(tail);
  if (first == std::string_view::npos) return;
  std::string folded(tail.substr(first));
  text->resize(from + first);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    const char c = folded[i];
    if (c == '\r' && i + 1 < folded.size() && folded[i + 1] == '\n') {
      text->append("\r\n");
      ++i;
    } else if (c == '\r' || c == '\n') {
      text->append(lineBreak);
    } else {
      text->push_back(c);
    }
  }
}

namespace {

// Appends the values joined with ";", each converted. Base64 is kept as it
// came only for a photo: every other value is text, which a phone shows as
// Base64 letters unless it is written decoded, as a quoted-printable one is.
bool appendValues(const ValueContext& context, Card& card, char** values, std::size_t valueCount,
                  const PropertyLine& prop, bool keepBase64 = false) {
  const bool decodeBase64 = !keepBase64 && prop.encodeType == kEncodingBase64;
  std::string& text = card.valueText();
  for (std::size_t i = 0; i < valueCount; ++i) {
    if (i > 0) text.push_back(';');
    if (!appendConvertedValue(context, values[i] != nullptr ? values[i] : "", prop, decodeBase64,
                              &text))
      return false;
  }
  return true;
}

// A name or parameter with its bare line breaks folded; folded is where a
// part that has any is rewritten.
std::string_view foldedPart(const ValueContext& context, std::string_view part,
                            std::string* folded) {
  if (findLineBreak(part) == std::string_view::npos) return part;
  folded->assign(part);
  foldBareBreaks(folded, 0, context.valueBreak());
  return *folded;
}

// Ends the property begun on the card, its value's bare line breaks folded;
// a value that could not be converted whole (not UTF-8) leaves the property
// out rather than written truncated.
bool endValue(const ValueContext& context, Card& card, std::size_t valueStart, bool complete) {
  if (!complete) {
    card.abandonProperty();
    return false;
  }
  foldBareBreaks(&card.valueText(), valueStart, context.valueBreak());
  card.endProperty();
  return true;
}

// One property of a fixed head (name and parameters) and the values.
void appendTyped(const ValueContext& context, Card& card, std::string_view name,
                 std::string_view parameter, char** values, std::size_t valueCount,
                 const PropertyLine& prop) {
  card.beginProperty(name);
  if (!parameter.empty()) card.addParameter(parameter);
  card.beginValue();
  const std::size_t start = card.valueText().size();
  endValue(context, card, start, appendValues(context, card, values, valueCount, prop));
}

// One grouped property and its label, for an address that is neither work
// nor home. Items are numbered on without limit.
void appendOtherItem(const ValueContext& context, OpenCard& card, std::string_view name,
                     char** values, std::size_t valueCount, const PropertyLine& prop) {
  const std::string group = card.nextItemGroup();
  Card& model = card.card;
  model.beginProperty(name);
  model.beginValue();
  const std::size_t start = model.valueText().size();
  if (!endValue(context, model, start, appendValues(context, model, values, valueCount, prop)))
    return;
  model.properties().back().group = model.store(group);
  model.addProperty(group, "X-ABLabel", "_$!<Other>!$_");
}

// The property as it came, or under newName when one is given.
void appendNamed(const ValueContext& context, Card& model, const char* newName,
                 const RuleInput& input) {
  const char* name = newName;
  if (name == nullptr && input.paramCount > 0) name = input.params[0];
  // A photo's Base64 data stays exactly as it came, parameters included, so
  // the encoded picture remains readable.
  const bool keepBase64 =
      input.prop.encodeType == kEncodingBase64 && name != nullptr && isPhoto(name);
  bool named = false;
  for (std::size_t i = 0; i < input.paramCount; ++i) {
    const char* element = i == 0 ? name : input.params[i];
    if (element == nullptr) continue;
    // The name is a recognised one (or the rule's own), none of which
    // names a charset or an encoding: only parameters are judged.
    if (!keepBase64 && i > 0 && declaresCoding(input, i)) continue;
    std::string folded;
    if (i == 0) {
      model.beginProperty(foldedPart(context, element, &folded));
      named = true;
    } else {
      if (!named) {
        // No name: the line begins with its first parameter's ";".
        model.beginProperty("");
        named = true;
      }
      model.addParameter(foldedPart(context, element, &folded));
    }
  }
  if (!named) model.beginProperty("");
  model.beginValue();
  const std::size_t start = model.valueText().size();
  endValue(context, model, start,
           appendValues(context, model, input.values, input.valueCount, input.prop, keepBase64));
}

}  // namespace

void setDirectly(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  appendNamed(context, card.card, nullptr, input);
}

void appendAs(const ValueContext& context, Card& model, const char* name, const RuleInput& input) {
  appendNamed(context, model, name, input);
}

void setTel(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  setDirectly(context, card, input);
}

void setVersion(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  if (input.valueCount == 0) return;
  enum : std::uint32_t { k21 = 1, k30 = 2, k40 = 4 };
  std::uint32_t versions = 0;
  if (input.prop.encodeType == kEncodingBase64) {
    // Exports that encode every value in Base64 encode the version too
    // ("Mi4x" is 2.1); it is judged decoded and written as it came.
    std::vector<std::string> decoded(input.valueCount);
    std::vector<const char*> plain;
    for (std::size_t i = 0; i < input.valueCount; ++i) {
      if (input.values[i] != nullptr) strutil::appendBase64Decoded(input.values[i], &decoded[i]);
      plain.push_back(decoded[i].c_str());
    }
    versions = StrExistsEach(plain.data(), plain.size(), {"2.1", "3.0"});
    if ((versions & (k21 | k30)) == 0) card.rejected = true;
  } else if (versions = StrExistsEach(input.values, input.valueCount, {"2.1", "3.0", "4.0"});
             (versions & (k21 | k30)) == 0) {
    if ((versions & k40) == 0) {
      card.rejected = true;
    } else {
      // A 4.0 card is written as 3.0, which both targets read.
      card.card.setVersion(CardVersion::V40);
      card.card.addProperty({}, "VERSION", "3.0");
      return;
    }
  }
  // The first version a card gives is the one its lines are read by.
  if ((versions & (k21 | k30)) != 0 && card.card.version() == CardVersion::Unknown)
    card.card.setVersion((versions & k21) != 0 ? CardVersion::V21 : CardVersion::V30);
  setDirectly(context, card, input);
}

void setSound(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  if (input.valueCount == 0) return;
  appendTyped(context, card.card, "X-PHONETIC-LAST-NAME", "", input.values, 1, input.prop);
  appendTyped(context, card.card, "X-PHONETIC-FIRST-NAME", "",
              input.valueCount >= 2 ? input.values + 1 : nullptr, input.valueCount >= 2 ? 1 : 0,
              input.prop);
}

void setEmail(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  if (input.valueCount == 0) return;
  // One pass finds every type word; a word alone among them (EmailOnly)
  // is the only bit set.
  enum : std::uint32_t { kWork = 1, kHome = 2, kCell = 4, kPcs = 8, kInternet = 16 };
  const std::uint32_t words =
      StrExistsEach(input.params, input.paramCount, {"WORK", "HOME", "CELL", "PCS", "INTERNET"});
  if ((words & kWork) != 0) {
    appendTyped(context, card.card, "EMAIL", "TYPE=WORK", input.values, input.valueCount,
                input.prop);
  } else if ((words & kHome) != 0 || words == kInternet || words == kCell || words == kPcs) {
    appendTyped(context, card.card, "EMAIL", "TYPE=HOME", input.values, input.valueCount,
                input.prop);
  } else {
    appendOtherItem(context, card, "EMAIL", input.values, input.valueCount, input.prop);
  }
}

void setAdr(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  if (input.valueCount == 0) return;
  const std::uint32_t words = StrExistsEach(input.params, input.paramCount, {"WORK", "HOME"});
  if ((words & 1) != 0) {
    appendTyped(context, card.card, "ADR", "TYPE=WORK", input.values, input.valueCount, input.prop);
  } else if ((words & 2) != 0) {
    appendTyped(context, card.card, "ADR", "TYPE=HOME", input.values, input.valueCount, input.prop);
  } else {
    appendOtherItem(context, card, "ADR", input.values, input.valueCount, input.prop);
  }
}

}  // namespace vcard::detail

int StrExistsEmailOnly(char** list, std::size_t count, const char* word) {
  if (word == nullptr || !strutil::containsKey(list, count, word)) return 0;
  for (const char* other : kEmailTypeWords) {
    if (std::strcmp(other, word) != 0 && strutil::containsKey(list, count, other)) return 0;
  }
  return 1;
}
