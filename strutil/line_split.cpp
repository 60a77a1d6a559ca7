#include "line_split.h"

#include <cstdint>
#include <cstring>

#include "byte_scan.h"
#include "str_scratch_p.h"
#include "strutil.h"
#include "utf8.h"

namespace strutil {

void LineSplit::cut(char* begin, char* end, std::vector<char*>* tokens) {
  tokens->push_back(begin);
  for (char* at = begin; at < end;) {
    at = platform::findByte(at, end, ';');
    if (at == end) break;
    // A delimiter cut before is NUL by now, so the one after it counts as
    // unescaped, as in Split.
    if (at == begin || at[-1] != '\\') {
      *at = '\0';
      tokens->push_back(at + 1);
    }
    ++at;
  }
}

namespace {

// The closing quote of a parameter's value that opens at quote, or nullptr
// when the quote opens none: it stands right after the "=", ";" or "," that
// begins a value, and a quote closes it before end.
char* closingQuote(char* begin, char* quote, char* end) {
  if (quote == begin) return nullptr;
  const char before = quote[-1];
  if (before != '=' && before != ',' && before != ';' && before != '\0') return nullptr;
  return static_cast<char*>(std::memchr(quote + 1, '"', static_cast<std::size_t>(end - quote - 1)));
}

}  // namespace

void LineSplit::split(std::string_view line, bool withValues, bool knownUTF8, bool quotedValues) {
  names_.clear();
  values_.clear();
  if (line.size() > static_cast<std::size_t>(INT32_MAX)) {
    // Beyond what the byte scan serves; SplitFR takes its general way.
    const std::string text(line);
    char** names = nullptr;
    char** values = nullptr;
    std::uint64_t namesCount = 0;
    std::uint64_t valuesCount = 0;
    if (withValues) {
      SplitFR(text.c_str(), &names, &namesCount, &values, &valuesCount);
    } else {
      SplitFRNames(text.c_str(), &names, &namesCount);
    }
    const OwnedSplit ownedNames(names);
    const OwnedSplit ownedValues(values);
    std::size_t total = 0;
    for (std::uint64_t i = 0; i < namesCount; ++i)
      total += std::strlen(names[i]) + 1;
    for (std::uint64_t i = 0; i < valuesCount; ++i)
      total += std::strlen(values[i]) + 1;
    copy_.clear();
    copy_.reserve(total);
    std::vector<std::size_t> nameStarts;
    std::vector<std::size_t> valueStarts;
    for (std::uint64_t i = 0; i < namesCount; ++i) {
      nameStarts.push_back(copy_.size());
      copy_.append(names[i]).push_back('\0');
    }
    for (std::uint64_t i = 0; i < valuesCount; ++i) {
      valueStarts.push_back(copy_.size());
      copy_.append(values[i]).push_back('\0');
    }
    for (const std::size_t start : nameStarts)
      names_.push_back(copy_.data() + start);
    for (const std::size_t start : valueStarts)
      values_.push_back(copy_.data() + start);
    return;
  }
  if (!knownUTF8 && !utf::validateUTF8(line)) return;
  copy_.assign(line);
  char* const base = copy_.data();
  char* const end = base + line.size();
  // The names come first and are short: one pass cuts them at every
  // unescaped ";" and stops at the first unescaped ":", where the values
  // begin. (A ";" after one cut before counts as unescaped: the byte before
  // it is no backslash either way.)
  names_.push_back(base);
  char* at = base;
  // Two loops rather than one that looks for a quote only where values may
  // be quoted: the three-byte search costs every line a seventh more here.
  if (quotedValues) {
    for (;; ++at) {
      at = platform::findOneOf(at, end, ';', ':', '"');
      if (at == end) return;  // no value: names alone
      if (*at == '"') {
        if (char* close = closingQuote(base, at, end)) at = close;
        continue;
      }
      if (at != base && at[-1] == '\\') continue;
      if (*at == ':') break;
      *at = '\0';
      names_.push_back(at + 1);
    }
  } else {
    for (;; ++at) {
      at = platform::findEither(at, end, ';', ':');
      if (at == end) return;  // no value: names alone
      if (at != base && at[-1] == '\\') continue;
      if (*at == ':') break;
      *at = '\0';
      names_.push_back(at + 1);
    }
  }
  *at = '\0';
  if (withValues) cut(at + 1, end, &values_);
}

std::string_view LineSplit::cutGroup() noexcept {
  if (names_.empty() || names_[0] == nullptr) return {};
  const std::string_view full(names_[0]);
  const std::size_t dot = full.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == full.size()) return {};
  names_[0] += dot + 1;
  return full.substr(0, dot);
}

void LineSplit::trim() noexcept {
  detail::ScratchRelease<std::string> copy(copy_);
  detail::ScratchRelease<std::vector<char*>> names(names_);
  detail::ScratchRelease<std::vector<char*>> values(values_);
}

}  // namespace strutil
