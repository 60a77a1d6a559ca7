// Rewrite rules: turn one recognised property into the line or lines the
// target address book expects, and decode every value on the way.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver_context.h"
#include "engine_p.h"
#include "platform.h"
#include "read/pictograms.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using platform::OwnedCString;
using vcard::detail::convertValue;

constexpr const char* kEmailTypeWords[] = {"WORK", "HOME", "CELL", "PCS", "INTERNET"};

// True when the source file was read as UTF-8 or UTF-16: quoted-printable
// bytes without a charset were then most likely written in the same UTF.
bool sourceIsUnicode() {
  const std::string& encoding = vcard::detail::conversionSource().encoding;
  return encoding == "UTF-8" || encoding.starts_with("UTF-16");
}

// Shift_JIS bytes of a value as UTF-8, with the pictograms of the carrier
// the loader chose for the file.
std::string decodeShiftJIS(std::string_view bytes) {
  const vcard::Carrier carrier = vcard::detail::conversionSource().pictograms.carrier;
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
const char* westernCharset() {
  const std::string& encoding = vcard::detail::conversionSource().encoding;
  using vcard::detail::asciiUpperEquals;
  const std::string_view name = encoding;
  if (asciiUpperEquals(name.substr(0, 11), "WINDOWS-125") ||
      asciiUpperEquals(name.substr(0, 9), "ISO-8859-"))
    return encoding.c_str();
  return "windows-1252";
}

// Undeclared bytes of a file that shows no Japanese: a Western program's.
// Well-formed UTF-8 is taken as such; bytes that read as Japanese Shift_JIS
// still are; the rest are the file's Western charset, where Shift_JIS would
// give private-use characters for its accented letters.
std::string decodeUndeclaredWestern(std::string_view bytes) {
  // ASCII reads the same every way; it keeps the Shift_JIS reading it had.
  if (utf::isASCII(bytes)) return decodeShiftJIS(bytes);
  if (utf::validateUTF8(bytes)) return std::string(bytes);
  if (readsAsJapaneseShiftJIS(bytes)) {
    if (std::optional<std::string> japanese =
            platform::decodeToUTF8(bytes, platform::Encoding::ShiftJIS))
      return std::move(*japanese);
  }
  if (std::optional<std::string> western = platform::decodeLossyToUTF8(bytes, westernCharset()))
    return std::move(*western);
  return decodeShiftJIS(bytes);
}

// Decoded bytes as UTF-8 by the property's charset; every undecodable byte
// becomes U+FFFD so the rest of the value survives.
std::string decodedToUTF8(std::string_view bytes, std::uint64_t charsetType,
                          const char* charsetName) {
  switch (charsetType) {
    case kCharsetUTF8:
      if (utf::validateUTF8(bytes)) return std::string(bytes);
      return platform::decodeLossyToUTF8(bytes.data(), bytes.size(), platform::Encoding::UTF8);
    case kCharsetOther:
      return platform::decodeLossyToUTF8(bytes, charsetName).value_or(std::string());
    case kCharsetShiftJIS:
      return decodeShiftJIS(bytes);
    default:
      // Undeclared bytes come from Shift_JIS phones, unless the file itself
      // was UTF and the bytes read as such, or the file shows no Japanese.
      if (sourceIsUnicode() && utf::validateUTF8(bytes)) return std::string(bytes);
      if (vcard::detail::conversionSource().japaneseText) return decodeShiftJIS(bytes);
      return decodeUndeclaredWestern(bytes);
  }
}

// The first CR or LF of the text, or npos. Two scans for one byte each are
// faster than find_first_of, which looks its set up for every byte.
std::size_t findLineBreak(std::string_view text) {
  const void* cr = std::memchr(text.data(), '\r', text.size());
  const std::size_t limit =
      cr != nullptr ? static_cast<const char*>(cr) - text.data() : text.size();
  const void* lf = std::memchr(text.data(), '\n', limit);
  if (lf != nullptr) return static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
  return cr != nullptr ? limit : std::string_view::npos;
}

// Every line break inside a value, CR LF or a lone CR or LF, becomes CR LF and
// a space: the value stays one folded line, and no CR or LF is left that is
// not part of a CR LF line end. The iCloud.com form keeps each break as one
// LF instead, which its writer escapes as "\n": a fold would be unfolded
// away there.
void foldLineBreaks(std::string* text) {
  if (findLineBreak(*text) == std::string_view::npos) return;
  const char* const lineBreak = vcard::detail::keepsValueBreaks() ? "\n" : "\r\n ";
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

// A written line whose CR and LF all belong to CR LF pairs (those of folding
// included) is left alone; a lone CR or LF, which a plain value can carry,
// becomes CR LF and a space, or for the iCloud.com form one LF, the value's
// line break there.
void foldBareBreaks(std::string* line) {
  const std::size_t first = findLineBreak(*line);
  if (first == std::string_view::npos) return;
  const char* const lineBreak = vcard::detail::keepsValueBreaks() ? "\n" : "\r\n ";
  std::string folded(*line, 0, first);
  for (std::size_t i = first; i < line->size(); ++i) {
    const char c = (*line)[i];
    if (c == '\r' && i + 1 < line->size() && (*line)[i + 1] == '\n') {
      folded.append("\r\n");
      ++i;
    } else if (c == '\r' || c == '\n') {
      folded.append(lineBreak);
    } else {
      folded.push_back(c);
    }
  }
  line->swap(folded);
}

bool isPhoto(std::string_view name) {
  return vcard::detail::asciiUpperEquals(name, "PHOTO");
}

// True for a CHARSET=... or ENCODING=... parameter, judged by its name: the
// value is written decoded, so such a label no longer holds.
bool namesCharsetOrEncoding(std::string_view parameter) {
  const std::size_t equals = parameter.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view name = parameter.substr(0, equals);
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
    name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
    name.remove_suffix(1);
  using vcard::detail::asciiUpperEquals;
  return asciiUpperEquals(name, "CHARSET") || asciiUpperEquals(name, "ENCODING");
}

}  // namespace

namespace {

// Appends the value converted as convertValue converts it, in one pass over
// one decoded string: decoding, charset, line breaks and folding. False
// where convertValue gives null.
bool appendConvertedValue(const char* value, const PROPERTY* prop, bool decodeBase64,
                          std::string* out) {
  const bool quotedPrintable = prop->encodeType == kEncodingQuotedPrintable;
  const bool base64Text = decodeBase64 && prop->encodeType == kEncodingBase64;
  if (!quotedPrintable && !base64Text) {
    // Everything but decoded bytes is UTF-8 since loading; validated there
    // when the line loop says so.
    if (prop->isHalfToFull != 0) {
      return vcard::detail::valuesKnownUTF8() ? AppendHalfToFullOfValid(value, out)
                                              : AppendHalfToFull(value, out);
    }
    out->append(value);
    return true;
  }
  const OwnedCString decoded(quotedPrintable ? QprintDecode(value) : Base64Decode(value));
  if (!decoded) return false;
  std::string text = decodedToUTF8(decoded.get(), prop->charsetType, prop->charsetName);
  // Values are C strings: a decoded U+0000 ends the value.
  if (const std::size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  foldLineBreaks(&text);
  // Decoded and folded text is well-formed UTF-8 by construction.
  if (prop->isHalfToFull != 0) return AppendHalfToFullOfValid(text, out);
  out->append(text);
  return true;
}

}  // namespace

char* vcard::detail::convertValue(const char* value, const PROPERTY* prop, bool decodeBase64) {
  std::string converted;
  if (!appendConvertedValue(value, prop, decodeBase64, &converted)) return nullptr;
  return StrAlloc(converted.c_str());
}

namespace {

// The string an output line is built in: the thread's reused one when no
// other line is being built with it, so that a line costs no allocation. A
// buffer grown past a modest size by a long line (a photo) is given back.
class LineBuffer {
 public:
  LineBuffer() : m_line(t_inUse ? m_own : t_line) {
    if (&m_line == &t_line) t_inUse = true;
    m_line.clear();
  }
  ~LineBuffer() {
    if (&m_line != &t_line) return;
    if (t_line.capacity() > kKeptBytes) std::string().swap(t_line);
    t_inUse = false;
  }
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;

  std::string& get() noexcept { return m_line; }

 private:
  static constexpr std::size_t kKeptBytes = 64 * 1024;
  static thread_local std::string t_line;
  static thread_local bool t_inUse;
  std::string m_own;
  std::string& m_line;
};

thread_local std::string LineBuffer::t_line;
thread_local bool LineBuffer::t_inUse = false;

// Appends the values joined with ";", each through StrConvert. Lines are
// built in a std::string so that a value list of any length stays linear.
// Base64 is kept as it came only for a photo: every other value is text,
// which a phone shows as Base64 letters unless it is written decoded, as a
// quoted-printable one is.
bool appendValues(std::string* line, char** values, std::size_t valueCount, const PROPERTY* prop,
                  bool keepBase64 = false) {
  const bool decodeBase64 = !keepBase64 && prop->encodeType == kEncodingBase64;
  for (std::size_t i = 0; i < valueCount; ++i) {
    if (i > 0) line->push_back(';');
    const char* raw = values[i] != nullptr ? values[i] : "";
    if (!appendConvertedValue(raw, prop, decodeBase64, line)) return false;
  }
  return true;
}

// Appends a finished line with its CR LF to the card; a line that could not
// be built completely is left out rather than written truncated.
void appendLine(VCARDDATA* card, std::string* line, bool complete) {
  if (!complete) return;
  foldBareBreaks(line);
  line->append("\r\n");
  vcard::detail::appendToCard(card, *line);
}

// One grouped line and its label, for an address that is neither work nor
// home. Items are numbered on without limit.
void appendOtherItem(VCARDDATA* card, const char* name, char** values, std::size_t valueCount,
                     const PROPERTY* prop) {
  ++card->itemNo;
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "item%" PRIu64 ".", card->itemNo);
  try {
    LineBuffer buffer;
    std::string& line = buffer.get();
    line.append(prefix).append(name).push_back(':');
    const bool complete = appendValues(&line, values, valueCount, prop);
    line.append("\r\n").append(prefix).append("X-ABLabel:_$!<Other>!$_");
    appendLine(card, &line, complete);
  } catch (...) {
    // Out of memory: the line is left out.
  }
}

void appendTypedLine(VCARDDATA* card, const char* head, char** values, std::size_t valueCount,
                     const PROPERTY* prop) {
  try {
    LineBuffer buffer;
    std::string& line = buffer.get();
    line.append(head);
    const bool complete = appendValues(&line, values, valueCount, prop);
    appendLine(card, &line, complete);
  } catch (...) {
    // Out of memory: the line is left out.
  }
}

}  // namespace

char* StrConvert(const char* value, std::uint64_t charsetType, std::uint64_t encodeType,
                 int isHalfToFull) {
  if (value == nullptr) return nullptr;
  try {
    PROPERTY prop{};
    prop.charsetType = charsetType;
    prop.encodeType = encodeType;
    prop.isHalfToFull = isHalfToFull;
    return convertValue(value, &prop);
  } catch (...) {
    return nullptr;
  }
}

int StrExistsEmailOnly(char** list, std::size_t count, const char* word) {
  if (word == nullptr || StrExists(list, count, word) == 0) return 0;
  for (const char* other : kEmailTypeWords) {
    if (std::strcmp(other, word) != 0 && StrExists(list, count, other) != 0) return 0;
  }
  return 1;
}

int setDirectly(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
                std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr) return 0;
  try {
    LineBuffer buffer;
    std::string& line = buffer.get();
    // A photo's Base64 data stays exactly as it came, parameters included, so
    // the encoded picture remains readable.
    const bool keepBase64 = prop->encodeType == kEncodingBase64 && paramCount > 0 &&
                            params[0] != nullptr && isPhoto(params[0]);
    for (std::size_t i = 0; i < paramCount; ++i) {
      const char* element = params[i];
      if (element == nullptr) continue;
      if (!keepBase64 &&
          (strutil::declaresCharsetOrEncoding(element) || namesCharsetOrEncoding(element)))
        continue;
      if (i > 0) line.push_back(';');
      line.append(element);
    }
    line.push_back(':');
    const bool complete = appendValues(&line, values, valueCount, prop, keepBase64);
    appendLine(card, &line, complete);
  } catch (...) {
    // Out of memory: the line is left out.
  }
  return 0;
}

int setTel(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop) {
  return setDirectly(card, params, paramCount, values, valueCount, prop);
}

int setVersion(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
               std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || valueCount == 0) return 0;
  if (prop != nullptr && prop->encodeType == kEncodingBase64) try {
      // Exports that encode every value in Base64 encode the version too
      // ("Mi4x" is 2.1); it is judged decoded and written as it came.
      std::vector<OwnedCString> decoded;
      std::vector<char*> plain;
      for (std::size_t i = 0; i < valueCount; ++i) {
        decoded.emplace_back(Base64Decode(values[i] != nullptr ? values[i] : ""));
        plain.push_back(decoded.back().get());
      }
      if (StrExists(plain.data(), plain.size(), "2.1") == 0 &&
          StrExists(plain.data(), plain.size(), "3.0") == 0)
        card->isError = 1;
    } catch (...) {
      card->isError = 1;  // out of memory: the version could not be judged
    }
  else if (StrExists(values, valueCount, "2.1") == 0 && StrExists(values, valueCount, "3.0") == 0) {
    card->isError = 1;
  }
  return setDirectly(card, params, paramCount, values, valueCount, prop);
}

int setSound(VCARDDATA* card, char** /*params*/, std::size_t /*paramCount*/, char** values,
             std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr || valueCount == 0) return 0;
  appendTypedLine(card, "X-PHONETIC-LAST-NAME:", values, 1, prop);
  appendTypedLine(card, "X-PHONETIC-FIRST-NAME:", valueCount >= 2 ? values + 1 : nullptr,
                  valueCount >= 2 ? 1 : 0, prop);
  return 0;
}

int setEmail(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr || valueCount == 0) return 0;
  if (StrExists(params, paramCount, "WORK") != 0) {
    appendTypedLine(card, "EMAIL;TYPE=WORK:", values, valueCount, prop);
  } else if (StrExists(params, paramCount, "HOME") != 0 ||
             StrExistsEmailOnly(params, paramCount, "INTERNET") != 0 ||
             StrExistsEmailOnly(params, paramCount, "CELL") != 0 ||
             StrExistsEmailOnly(params, paramCount, "PCS") != 0) {
    appendTypedLine(card, "EMAIL;TYPE=HOME:", values, valueCount, prop);
  } else {
    appendOtherItem(card, "EMAIL", values, valueCount, prop);
  }
  return 0;
}

int setAdr(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr || valueCount == 0) return 0;
  if (StrExists(params, paramCount, "WORK") != 0) {
    appendTypedLine(card, "ADR;TYPE=WORK:", values, valueCount, prop);
  } else if (StrExists(params, paramCount, "HOME") != 0) {
    appendTypedLine(card, "ADR;TYPE=HOME:", values, valueCount, prop);
  } else {
    appendOtherItem(card, "ADR", values, valueCount, prop);
  }
  return 0;
}
