#include "str_param.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ascii_letters.h"
#include "str_fast_p.h"
#include "str_scratch_p.h"
#include "strutil.h"
#include "utf8.h"

using platform::asciiUpper;
using platform::asciiUpperEquals;
using platform::OwnedCString;
using strutil::detail::ScratchRelease;

namespace {

// Upper-cases text; with stripBlanks, also drops every space and tab.
// Nothing when the text is not UTF-8; out of memory throws.
std::optional<std::string> normalise(const char* text, bool stripBlanks) {
  std::optional<std::string> upper = strutil::upperCased(text);
  if (upper && stripBlanks) std::erase_if(*upper, [](char c) { return c == ' ' || c == '\t'; });
  return upper;
}

// Upper-cases an all-ASCII text into out (dropping spaces and tabs with
// stripBlanks), which full upper-casing does for ASCII by mapping a-z to A-Z
// alone. False, with out unspecified, when the text is not all ASCII.
bool asciiUpperInto(const char* text, bool stripBlanks, std::string* out) {
  out->clear();
  for (const char* c = text; *c != '\0'; ++c) {
    const char ch = *c;
    if (!utf::isASCII(ch)) return false;
    if (stripBlanks && (ch == ' ' || ch == '\t')) continue;
    out->push_back(ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch);
  }
  return true;
}

// Whether the all-ASCII text, upper-cased, contains the all-ASCII key,
// upper-cased; answered in place without prepared copies.
bool asciiContains(const char* text, std::size_t length, const char* key, std::size_t keyLength) {
  if (keyLength > length) return false;
  if (keyLength == 0) return true;
  // Candidates start with the key's first letter in either case.
  const char first = asciiUpper(key[0]);
  const char other = first >= 'A' && first <= 'Z' ? static_cast<char>(first - 'A' + 'a') : first;
  const std::size_t last = length - keyLength;
  for (std::size_t at = 0; at <= last; ++at) {
    if (text[at] != first && text[at] != other) continue;
    std::size_t k = 1;
    while (k < keyLength && asciiUpper(text[at + k]) == asciiUpper(key[k]))
      ++k;
    if (k == keyLength) return true;
  }
  return false;
}

// The shared matching rule; upperKey is already upper-cased. A text that is
// not UTF-8 cannot be upper-cased and does not contain the key.
bool contains(const char* text, std::string_view upperKey, bool stripBlanks) {
  if (text == nullptr) return false;
  if (!stripBlanks) {
    const std::size_t length = std::strlen(text);
    if (utf::isASCII(std::string_view(text, length)))
      return asciiContains(text, length, upperKey.data(), upperKey.size());
  } else {
    thread_local std::string scratch;
    const ScratchRelease release(scratch);
    if (asciiUpperInto(text, stripBlanks, &scratch))
      return scratch.find(upperKey) != std::string::npos;
  }
  const std::optional<std::string> prepared = normalise(text, stripBlanks);
  return prepared && prepared->find(upperKey) != std::string::npos;
}

// The key upper-cased into out; false when it is not UTF-8.
bool upperKeyInto(const char* key, std::string* out) {
  if (asciiUpperInto(key, false, out)) return true;
  std::optional<std::string> converted = strutil::upperCased(key);
  if (!converted) return false;
  *out = std::move(*converted);
  return true;
}

}  // namespace

bool strutil::containsKey(const char* const* list, std::uint64_t count, const char* key,
                          bool stripBlanks) {
  if (list == nullptr || key == nullptr) return false;
  const std::size_t keyLength = std::strlen(key);
  if (!stripBlanks && utf::isASCII(std::string_view(key, keyLength))) {
    // An ASCII key upper-cases letter for letter, so it need not be
    // prepared either; texts that are not ASCII take the general rule.
    std::string upperKey;
    for (std::uint64_t i = 0; i < count; ++i) {
      const char* text = list[i];
      if (text == nullptr) continue;
      const std::size_t length = std::strlen(text);
      if (utf::isASCII(std::string_view(text, length))) {
        if (asciiContains(text, length, key, keyLength)) return true;
        continue;
      }
      if (upperKey.empty() && !upperKeyInto(key, &upperKey)) return false;
      if (contains(text, upperKey, false)) return true;
    }
    return false;
  }
  thread_local std::string upperKey;
  const ScratchRelease release(upperKey);
  if (!upperKeyInto(key, &upperKey)) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (contains(list[i], upperKey, stripBlanks)) return true;
  }
  return false;
}

namespace {

// The look-ups' answer at the C edge, where running out of memory answers
// "not found": the callers of these codes read 0 as that.
std::int32_t existsInList(const char* const* list, std::uint64_t count, const char* key,
                          bool stripBlanks) noexcept {
  try {
    return strutil::containsKey(list, count, key, stripBlanks) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

std::int32_t existsInText(const char* text, const char* key, bool stripBlanks) noexcept {
  if (text == nullptr || key == nullptr) return 0;
  return existsInList(&text, 1, key, stripBlanks);
}

// True when text, upper-cased, is exactly "B": a bare Base64 marker.
bool isBareB(const char* text) {
  if (text == nullptr) return false;
  if (text[0] != '\0' && utf::isASCII(text[0]) && utf::isASCII(text[1])) {
    // One ASCII character, or a text starting with two: upper-casing maps
    // ASCII to ASCII one for one, so only "b" or "B" alone can give "B".
    return (text[0] == 'b' || text[0] == 'B') && text[1] == '\0';
  }
  const OwnedCString upper(StrToUpper(text));
  return upper && std::strcmp(upper.get(), "B") == 0;
}

}  // namespace

std::int32_t StrExists(const char* const* list, std::uint64_t count, const char* key) noexcept {
  return existsInList(list, count, key, false);
}

std::uint32_t StrExistsEach(const char* const* list, std::uint64_t count,
                            std::initializer_list<std::string_view> keys) {
  std::uint32_t found = 0;
  if (list == nullptr || keys.size() > 32) return found;
  // The keys' first characters, as bits over U+0020-U+005F (where every
  // upper-cased letter, digit and most punctuation fall): most characters of
  // a parameter start no key and are passed over at once.
  std::uint64_t firsts = 0;
  for (const std::string_view key : keys) {
    const unsigned slot = key.empty() ? 64u : static_cast<unsigned char>(key[0]) - 0x20u;
    firsts |= slot < 64 ? std::uint64_t{1} << slot : ~std::uint64_t{0};
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const char* entry = list[i];
    if (entry == nullptr) continue;
    const std::string_view text(entry);
    std::uint32_t bit = 1;
    if (!utf::isASCII(text)) {
      // Upper-casing may turn other letters into ASCII ones ("ı" gives
      // "I"): the general rule decides.
      for (const std::string_view key : keys) {
        char keyText[64] = {};
        key.substr(0, sizeof keyText - 1).copy(keyText, sizeof keyText - 1);
        if ((found & bit) == 0 && strutil::containsKey(&entry, 1, keyText, false)) found |= bit;
        bit <<= 1;
      }
      continue;
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
      const char c = asciiUpper(text[at]);
      const unsigned slot = static_cast<unsigned char>(c) - 0x20u;
      if (slot < 64 && (firsts >> slot & 1) == 0) continue;
      bit = 1;
      for (const std::string_view key : keys) {
        if (!key.empty() && key[0] == c && text.size() - at >= key.size() &&
            asciiUpperEquals(text.substr(at, key.size()), key))
          found |= bit;
        bit <<= 1;
      }
    }
  }
  return found;
}

std::int32_t StrExists_twoarg(const char* text, const char* key) noexcept {
  return existsInText(text, key, false);
}

std::int32_t StrExists_sp(const char* const* list, std::uint64_t count, const char* key) noexcept {
  return existsInList(list, count, key, true);
}

std::int32_t StrExists_sp(const char* text, const char* key) noexcept {
  return existsInText(text, key, true);
}

std::int32_t StrExists_only(const char* parameter, const char* firstKey,
                            const char* secondKey) noexcept {
  if (parameter == nullptr || firstKey == nullptr) return 0;
  std::uint64_t partCount = 0;
  const strutil::OwnedSplit parts(Split(parameter, "=", &partCount, 1));
  if (!parts || partCount == 0) return 0;
  const char* valuePart = partCount >= 2 ? parts.get()[1] : parts.get()[0];

  std::uint64_t valueCount = 0;
  const strutil::OwnedSplit values(Split(valuePart, ",", &valueCount, 0));
  if (!values || valueCount == 0) return 0;
  std::int32_t result = 1;
  for (std::uint64_t i = 0; i < valueCount; ++i) {
    const char* value = values.get()[i];
    const bool known = StrExists_twoarg(value, firstKey) != 0 ||
                       (secondKey != nullptr && StrExists_twoarg(value, secondKey) != 0);
    if (!known) result = 0;
  }
  return result;
}

namespace {

// One element of a parameter list known to be all ASCII, with its length.
struct ASCIIElement {
  const char* text;
  std::size_t length;
};

// The non-null elements of list, when every one of them is ASCII: the keys
// can then all be looked for in one pass over each.
bool asciiElements(const char* const* list, std::uint64_t count,
                   std::vector<ASCIIElement>* elements) {
  elements->clear();
  if (list == nullptr) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (list[i] == nullptr) continue;
    const std::size_t length = std::strlen(list[i]);
    if (!utf::isASCII(std::string_view(list[i], length))) return false;
    elements->push_back({list[i], length});
  }
  return true;
}

bool has(const ASCIIElement& e, std::string_view upperKey) {
  return asciiContains(e.text, e.length, upperKey.data(), upperKey.size());
}

// The element without spaces and tabs contains "ENCODING=B".
bool hasEncodingB(const ASCIIElement& e) {
  constexpr std::string_view key = "ENCODING=B";
  // Matched against the blank-free letters as they stream past.
  for (std::size_t start = 0; start < e.length; ++start) {
    if (asciiUpper(e.text[start]) != key[0]) continue;
    std::size_t k = 1;
    for (std::size_t i = start + 1; i < e.length && k < key.size(); ++i) {
      if (e.text[i] == ' ' || e.text[i] == '\t') continue;
      if (asciiUpper(e.text[i]) != key[k]) break;
      ++k;
    }
    if (k == key.size()) return true;
  }
  return false;
}

bool isBareB(const ASCIIElement& e) {
  return e.length == 1 && (e.text[0] == 'b' || e.text[0] == 'B');
}

std::int64_t encodingOf(const std::vector<ASCIIElement>& elements) {
  bool base64 = false;
  for (const ASCIIElement& e : elements) {
    if (has(e, "QUOTED-PRINTABLE")) return kEncodingQuotedPrintable;
    if (!base64) base64 = has(e, "BASE64") || hasEncodingB(e) || isBareB(e);
  }
  return base64 ? kEncodingBase64 : kEncodingNone;
}

std::int64_t charsetOf(const std::vector<ASCIIElement>& elements) {
  bool shiftJIS = false;
  for (const ASCIIElement& e : elements) {
    if (has(e, "UTF-8")) return kCharsetUTF8;
    if (!shiftJIS) shiftJIS = has(e, "SHIFT_JIS");
  }
  return shiftJIS ? kCharsetShiftJIS : kCharsetNone;
}

thread_local std::vector<ASCIIElement> scratchElements;

}  // namespace

std::int64_t CheckEncoding(const char* const* list, std::uint64_t count) noexcept {
  try {
    const ScratchRelease release(scratchElements);
    if (asciiElements(list, count, &scratchElements)) return encodingOf(scratchElements);
  } catch (...) {
    // Out of memory for the element list: the look-ups below need none.
  }
  return strutil::detail::CheckEncodingByLookups(list, count);
}

std::int64_t CheckEncoding_onearg(const char* parameter) noexcept {
  try {
    if (asciiElements(&parameter, 1, &scratchElements))
      return encodingOf(scratchElements) != kEncodingNone ? 1 : 0;
  } catch (...) {
  }
  return strutil::detail::CheckEncodingOneByLookups(parameter);
}

std::int64_t CheckCharset(const char* const* list, std::uint64_t count) noexcept {
  try {
    const ScratchRelease release(scratchElements);
    if (asciiElements(list, count, &scratchElements)) return charsetOf(scratchElements);
  } catch (...) {
  }
  return strutil::detail::CheckCharsetByLookups(list, count);
}

std::int64_t CheckCharset_onearg(const char* parameter) noexcept {
  try {
    if (asciiElements(&parameter, 1, &scratchElements)) return charsetOf(scratchElements);
  } catch (...) {
  }
  return strutil::detail::CheckCharsetOneByLookups(parameter);
}

namespace strutil::detail {

std::int64_t CheckEncodingByLookups(const char* const* list, std::uint64_t count) noexcept {
  std::int64_t code = kEncodingNone;
  if (StrExists(list, count, "BASE64") != 0) code = kEncodingBase64;
  if (StrExists_sp(list, count, "ENCODING=B") != 0) code = kEncodingBase64;
  if (list != nullptr) {
    for (std::uint64_t i = 0; i < count; ++i) {
      if (isBareB(list[i])) code = kEncodingBase64;
    }
  }
  if (StrExists(list, count, "QUOTED-PRINTABLE") != 0) code = kEncodingQuotedPrintable;
  return code;
}

std::int64_t CheckEncodingOneByLookups(const char* parameter) noexcept {
  return StrExists_twoarg(parameter, "BASE64") != 0 || StrExists_sp(parameter, "ENCODING=B") != 0 ||
                 isBareB(parameter) || StrExists_twoarg(parameter, "QUOTED-PRINTABLE") != 0
             ? 1
             : 0;
}

std::int64_t CheckCharsetByLookups(const char* const* list, std::uint64_t count) noexcept {
  std::int64_t code = kCharsetNone;
  if (StrExists(list, count, "SHIFT_JIS") != 0) code = kCharsetShiftJIS;
  if (StrExists(list, count, "UTF-8") != 0) code = kCharsetUTF8;
  return code;
}

std::int64_t CheckCharsetOneByLookups(const char* parameter) noexcept {
  std::int64_t code = kCharsetNone;
  if (StrExists_twoarg(parameter, "SHIFT_JIS") != 0) code = kCharsetShiftJIS;
  if (StrExists_twoarg(parameter, "UTF-8") != 0) code = kCharsetUTF8;
  return code;
}

}  // namespace strutil::detail

namespace {

constexpr std::string_view kTransferWords[] = {"BASE64", "B", "QUOTED-PRINTABLE", "7BIT", "8BIT"};
constexpr std::string_view kCharsetWords[] = {"UTF-8", "SHIFT_JIS"};

bool isOneOf(std::string_view text, const auto& upperWords) {
  return std::any_of(std::begin(upperWords), std::end(upperWords),
                     [text](std::string_view word) { return asciiUpperEquals(text, word); });
}

}  // namespace

namespace {

// classifyParameter with the place of the parameter's first "=" (npos for
// none) already found.
strutil::ParameterKind classifyAt(std::string_view parameter, std::size_t equals) noexcept {
  using strutil::ParameterKind;
  if (equals == std::string_view::npos) {
    const std::string_view word = strutil::unquoted(parameter);
    if (isOneOf(word, kTransferWords)) return ParameterKind::TransferWord;
    if (isOneOf(word, kCharsetWords)) return ParameterKind::CharsetWord;
    return ParameterKind::Other;
  }
  const std::string_view name = strutil::unquoted(parameter.substr(0, equals));
  if (asciiUpperEquals(name, "CHARSET")) return ParameterKind::Charset;
  if (asciiUpperEquals(name, "ENCODING")) return ParameterKind::Encoding;
  return ParameterKind::Other;
}

}  // namespace

strutil::ParameterKind strutil::classifyParameter(std::string_view parameter) noexcept {
  return classifyAt(parameter, parameter.find('='));
}

std::string_view strutil::parameterValue(std::string_view parameter) noexcept {
  const std::size_t equals = parameter.find('=');
  return strutil::unquoted(equals == std::string_view::npos ? parameter
                                                            : parameter.substr(equals + 1));
}

std::string strutil::parameterKey(std::string_view parameter) {
  return platform::upperASCII(platform::trimBlanks(parameter.substr(0, parameter.find('='))));
}

namespace {

// ICU's own name of the converter that name opens, or "" when it opens none.
std::string canonicalCharset(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* conv = ucnv_open(name.c_str(), &status);
  // Out of memory is no answer about the name (and must not be remembered
  // as one).
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status) || conv == nullptr) return {};
  std::string canonical;
  if (const char* own = ucnv_getName(conv, &status); U_SUCCESS(status) && own != nullptr)
    canonical = own;
  ucnv_close(conv);
  return canonical;
}

struct CharsetJudgement {
  std::int64_t code = kCharsetUnknown;
  std::string name;  // ICU's name, for kCharsetOther
};

CharsetJudgement judgeCharset(std::string_view value) {
  if (asciiUpperEquals(value, "SHIFT_JIS")) return {kCharsetShiftJIS, {}};
  if (asciiUpperEquals(value, "UTF-8")) return {kCharsetUTF8, {}};
  if (asciiUpperEquals(value, "US-ASCII")) return {kCharsetNone, {}};
  // Any other name goes to ICU, which opens converters slowly: files repeat
  // the same name on every line, so the last answer is kept.
  thread_local std::string lastValue;
  thread_local CharsetJudgement lastJudgement;
  if (!lastValue.empty() && value == lastValue) return lastJudgement;
  static const std::string shiftJIS = canonicalCharset("Shift_JIS");
  static const std::string utf8 = canonicalCharset("UTF-8");
  static const std::string ascii = canonicalCharset("US-ASCII");
  const std::string canonical =
      value.empty() ? std::string() : canonicalCharset(std::string(value));
  CharsetJudgement judgement;
  if (canonical.empty() || canonical.size() >= sizeof ParameterCodes{}.charsetName) {
    judgement.code = kCharsetUnknown;
  } else if (canonical == shiftJIS) {
    judgement.code = kCharsetShiftJIS;
  } else if (canonical == utf8) {
    judgement.code = kCharsetUTF8;
  } else if (canonical == ascii) {
    judgement.code = kCharsetNone;
  } else {
    judgement = {kCharsetOther, canonical};
  }
  lastValue.assign(value);
  lastJudgement = judgement;
  return judgement;
}

std::int64_t judgeEncoding(std::string_view value) {
  if (asciiUpperEquals(value, "QUOTED-PRINTABLE")) return kEncodingQuotedPrintable;
  if (asciiUpperEquals(value, "BASE64") || asciiUpperEquals(value, "B")) return kEncodingBase64;
  if (asciiUpperEquals(value, "8BIT") || asciiUpperEquals(value, "7BIT")) return kEncodingPlain;
  return kEncodingUnknown;
}

// Rank of a code in the order in which declarations win; higher wins.
int charsetRank(std::int64_t code) {
  switch (code) {
    case kCharsetUTF8:
      return 4;
    case kCharsetShiftJIS:
      return 3;
    case kCharsetOther:
      return 2;
    case kCharsetUnknown:
      return 1;
    default:
      return 0;
  }
}

int encodingRank(std::int64_t code) {
  switch (code) {
    case kEncodingQuotedPrintable:
      return 4;
    case kEncodingBase64:
      return 3;
    case kEncodingUnknown:
      return 2;
    case kEncodingPlain:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

ParameterCodes ReadParameterCodes(const char* const* list, std::uint64_t count) {
  ParameterCodes codes;
  if (list == nullptr) return codes;
  bool charsetDeclared = false;
  for (std::uint64_t i = 1; i < count; ++i) {
    if (list[i] == nullptr) continue;
    const std::string_view parameter(list[i]);
    const std::size_t equals = parameter.find('=');
    const strutil::ParameterKind kind = classifyAt(parameter, equals);
    // Most parameters (types, a program's own) declare nothing.
    if (kind == strutil::ParameterKind::Other) continue;
    if (i < kDeclaringMarked) codes.declaring |= std::uint64_t{1} << i;
    const std::string_view value = strutil::unquoted(
        equals == std::string_view::npos ? parameter : parameter.substr(equals + 1));
    std::int64_t encoding = kEncodingNone;
    switch (kind) {
      case strutil::ParameterKind::Encoding:
        encoding = judgeEncoding(value);
        break;
      case strutil::ParameterKind::TransferWord:
        // A bare 7BIT or 8BIT leaves the value undeclared, not plain.
        encoding = judgeEncoding(value);
        if (encoding == kEncodingPlain) encoding = kEncodingNone;
        break;
      case strutil::ParameterKind::CharsetWord: {
        const std::int64_t bare =
            asciiUpperEquals(value, "UTF-8") ? kCharsetUTF8 : kCharsetShiftJIS;
        if (!charsetDeclared || charsetRank(bare) > charsetRank(codes.charset)) {
          codes.charset = bare;
          std::memset(codes.charsetName, 0, sizeof codes.charsetName);
          charsetDeclared = true;
        }
        break;
      }
      case strutil::ParameterKind::Charset: {
        const CharsetJudgement judgement = judgeCharset(value);
        if (!charsetDeclared || charsetRank(judgement.code) > charsetRank(codes.charset)) {
          codes.charset = judgement.code;
          std::memset(codes.charsetName, 0, sizeof codes.charsetName);
          judgement.name.copy(codes.charsetName, sizeof codes.charsetName - 1);
        }
        charsetDeclared = true;
        break;
      }
      case strutil::ParameterKind::Other:
        break;
    }
    if (encodingRank(encoding) > encodingRank(codes.encoding)) codes.encoding = encoding;
  }
  return codes;
}
