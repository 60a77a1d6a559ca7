#include "regex_additions.h"

#include <unicode/uregex.h>

#include <stdexcept>

namespace rx {

Range rangeOfRegex(const icu::UnicodeString* subject, const icu::UnicodeString* pattern) {
  if (pattern == nullptr || subject == nullptr) throw std::invalid_argument("null argument");
  UErrorCode status = U_ZERO_ERROR;
  URegularExpression* re =
      uregex_open(pattern->getBuffer(), pattern->length(), 0, nullptr, &status);
  Range result{NSNotFound, 0};
  if (U_SUCCESS(status)) {
    uregex_setText(re, subject->getBuffer(), subject->length(), &status);
    if (uregex_find(re, 0, &status) && U_SUCCESS(status)) {
      const auto start = uregex_start(re, 0, &status);
      const auto end = uregex_end(re, 0, &status);
      if (U_SUCCESS(status)) {
        result = {static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(end - start)};
      }
    }
  }
  uregex_close(re);
  return result;
}

std::optional<icu::UnicodeString> stringByReplacingOccurrencesOfRegex(
    const icu::UnicodeString* subject, const icu::UnicodeString* pattern,
    const icu::UnicodeString* replacement) {
  if (pattern == nullptr || subject == nullptr || replacement == nullptr) {
    throw std::invalid_argument("null argument");
  }
  UErrorCode status = U_ZERO_ERROR;
  URegularExpression* re =
      uregex_open(pattern->getBuffer(), pattern->length(), 0, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  uregex_setText(re, subject->getBuffer(), subject->length(), &status);
  UChar buffer[1];
  const int32_t needed =
      uregex_replaceAll(re, replacement->getBuffer(), replacement->length(), buffer, 0, &status);
  icu::UnicodeString out;
  status = U_ZERO_ERROR;
  UChar* dest = out.getBuffer(needed + 1);
  uregex_replaceAll(re, replacement->getBuffer(), replacement->length(), dest, needed + 1, &status);
  out.releaseBuffer(needed);
  uregex_close(re);
  return out;
}

}  // namespace rx
