#include "str_param.h"

#include <cstring>

#include "strutil.h"

using strutil::OwnedCString;

namespace {

// Upper-cases text; with stripBlanks, also drops every space and tab. Null
// when the text cannot be upper-cased (not UTF-8, or memory exhausted).
OwnedCString normalise(const char* text, bool stripBlanks) {
  OwnedCString upper(StrToUpper(text));
  if (!upper || !stripBlanks) return upper;
  OwnedCString noSpaces(Replace(upper.get(), " ", ""));
  if (!noSpaces) return nullptr;
  return OwnedCString(Replace(noSpaces.get(), "\t", ""));
}

// The shared matching rule; upperKey is already upper-cased. A text that
// cannot be prepared counts as not containing the key.
bool contains(const char* text, const char* upperKey, bool stripBlanks) {
  if (text == nullptr) return false;
  const OwnedCString prepared = normalise(text, stripBlanks);
  return prepared && std::strstr(prepared.get(), upperKey) != nullptr;
}

std::int32_t existsInList(const char* const* list, std::uint64_t count, const char* key,
                          bool stripBlanks) {
  if (list == nullptr || key == nullptr) return 0;
  const OwnedCString upperKey(StrToUpper(key));
  if (!upperKey) return 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (contains(list[i], upperKey.get(), stripBlanks)) return 1;
  }
  return 0;
}

std::int32_t existsInText(const char* text, const char* key, bool stripBlanks) {
  if (text == nullptr || key == nullptr) return 0;
  const OwnedCString upperKey(StrToUpper(key));
  return upperKey && contains(text, upperKey.get(), stripBlanks) ? 1 : 0;
}

// True when text, upper-cased, is exactly "B": a bare Base64 marker.
bool isBareB(const char* text) {
  if (text == nullptr) return false;
  const OwnedCString upper(StrToUpper(text));
  return upper && std::strcmp(upper.get(), "B") == 0;
}

}  // namespace

std::int32_t StrExists(const char* const* list, std::uint64_t count, const char* key) noexcept {
  return existsInList(list, count, key, false);
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

std::int64_t CheckEncoding(const char* const* list, std::uint64_t count) noexcept {
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

std::int64_t CheckEncoding_onearg(const char* parameter) noexcept {
  return StrExists_twoarg(parameter, "BASE64") != 0 || StrExists_sp(parameter, "ENCODING=B") != 0 ||
                 isBareB(parameter) || StrExists_twoarg(parameter, "QUOTED-PRINTABLE") != 0
             ? 1
             : 0;
}

std::int64_t CheckCharset(const char* const* list, std::uint64_t count) noexcept {
  std::int64_t code = kCharsetNone;
  if (StrExists(list, count, "SHIFT_JIS") != 0) code = kCharsetShiftJIS;
  if (StrExists(list, count, "UTF-8") != 0) code = kCharsetUTF8;
  return code;
}

std::int64_t CheckCharset_onearg(const char* parameter) noexcept {
  std::int64_t code = kCharsetNone;
  if (StrExists_twoarg(parameter, "SHIFT_JIS") != 0) code = kCharsetShiftJIS;
  if (StrExists_twoarg(parameter, "UTF-8") != 0) code = kCharsetUTF8;
  return code;
}
