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

void LineSplit::split(std::string_view line, bool withValues, bool knownUTF8) {
  m_names.clear();
  m_values.clear();
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
    m_copy.clear();
    m_copy.reserve(total);
    std::vector<std::size_t> nameStarts;
    std::vector<std::size_t> valueStarts;
    for (std::uint64_t i = 0; i < namesCount; ++i) {
      nameStarts.push_back(m_copy.size());
      m_copy.append(names[i]).push_back('\0');
    }
    for (std::uint64_t i = 0; i < valuesCount; ++i) {
      valueStarts.push_back(m_copy.size());
      m_copy.append(values[i]).push_back('\0');
    }
    for (const std::size_t start : nameStarts)
      m_names.push_back(m_copy.data() + start);
    for (const std::size_t start : valueStarts)
      m_values.push_back(m_copy.data() + start);
    return;
  }
  if (!knownUTF8 && !utf::validateUTF8(line)) return;
  m_copy.assign(line);
  char* const base = m_copy.data();
  char* const end = base + line.size();
  // The names come first and are short: one pass cuts them at every
  // unescaped ";" and stops at the first unescaped ":", where the values
  // begin. (A ";" after one cut before counts as unescaped: the byte before
  // it is no backslash either way.)
  m_names.push_back(base);
  char* at = base;
  for (;; ++at) {
    at = platform::findEither(at, end, ';', ':');
    if (at == end) return;  // no value: names alone
    if (at != base && at[-1] == '\\') continue;
    if (*at == ':') break;
    *at = '\0';
    m_names.push_back(at + 1);
  }
  *at = '\0';
  if (withValues) cut(at + 1, end, &m_values);
}

void LineSplit::trim() noexcept {
  detail::ScratchRelease<std::string> copy(m_copy);
  detail::ScratchRelease<std::vector<char*>> names(m_names);
  detail::ScratchRelease<std::vector<char*>> values(m_values);
}

}  // namespace strutil
