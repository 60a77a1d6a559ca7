#include "str_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "regex_additions.h"
#include "strutil.h"

using strutil::OwnedCString;

namespace {

// Stands for an escaped delimiter while a token is being cut.
constexpr char16_t kPlaceholder[] = u"___nonsep___";

enum class CutResult { Delimiter, End, Failure };

OwnedCString allocCopy(std::string_view bytes) {
  OwnedCString copy(static_cast<char*>(std::malloc(bytes.size() + 1)));
  if (!copy) return nullptr;
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  copy.get()[bytes.size()] = '\0';
  return copy;
}

// Byte offset of the first delimiter in text not directly preceded by a
// backslash, or npos.
std::size_t findUnescaped(std::string_view text, std::string_view delimiter) {
  if (delimiter.empty()) return std::string_view::npos;
  for (std::size_t at = text.find(delimiter); at != std::string_view::npos;
       at = text.find(delimiter, at + 1)) {
    if (at == 0 || text[at - 1] != '\\') return at;
  }
  return std::string_view::npos;
}

// Decodes the token's span, hides escaped delimiters behind the placeholder so
// that a plain search finds only real ones, and restores them in the token.
// Gives the token as UTF-8 and whether a delimiter followed it.
CutResult cutWithPlaceholder(std::string_view rest, const char* delimiter, std::string* token) {
  // Only the text up to the first unescaped delimiter can change the answer;
  // handing just that span to the pattern keeps a whole split linear.
  const std::size_t cut = findUnescaped(rest, delimiter);
  const std::string_view span =
      cut == std::string_view::npos ? rest : rest.substr(0, cut + std::strlen(delimiter));

  const auto subject = platform::fromUTF8(span);
  const auto delim = platform::fromUTF8(delimiter);
  if (!subject || !delim) return CutResult::Failure;

  const icu::UnicodeString placeholder(kPlaceholder);
  if (subject->indexOf(placeholder) >= 0) {
    // The text holds the placeholder itself; the restoring step would turn it
    // into an escaped delimiter. Take the token by the byte scan instead.
    *token = std::string(rest.substr(0, cut));
    return cut == std::string_view::npos ? CutResult::End : CutResult::Delimiter;
  }

  // Two backslashes and the delimiter: as a pattern it matches a backslash
  // before the delimiter, as a template it writes one back.
  const icu::UnicodeString escape = icu::UnicodeString(u"\\\\") + *delim;
  const auto hidden = rx::stringByReplacingOccurrencesOfRegex(*subject, escape, placeholder);
  if (!hidden) return CutResult::Failure;

  const std::int32_t at = delim->isEmpty() ? -1 : hidden->indexOf(*delim);
  const icu::UnicodeString piece = at < 0 ? *hidden : hidden->tempSubString(0, at);
  const auto restored = rx::stringByReplacingOccurrencesOfRegex(piece, placeholder, escape);
  if (!restored) return CutResult::Failure;
  *token = platform::toUTF8(*restored);
  return at < 0 ? CutResult::End : CutResult::Delimiter;
}

// One cutting step at position: terminates the token in place. On failure the
// text is left untouched.
CutResult cutToken(char* position, const char* delimiter, std::uint64_t* skip) noexcept {
  *skip = 0;
  try {
    const std::string_view rest(position);
    std::string token;
    const CutResult result = cutWithPlaceholder(rest, delimiter, &token);
    if (result == CutResult::Failure) return result;
    // The token is the text before the delimiter, byte for byte; check that
    // before writing so a surprise can never run past the token's span.
    const std::size_t delimiterLength = std::strlen(delimiter);
    if (token.size() > rest.size() || rest.compare(0, token.size(), token) != 0) {
      return CutResult::Failure;
    }
    if (result == CutResult::Delimiter &&
        rest.compare(token.size(), delimiterLength, delimiter) != 0) {
      return CutResult::Failure;
    }
    position[token.size()] = '\0';
    if (result == CutResult::Delimiter) *skip = delimiterLength;
    return result;
  } catch (...) {
    return CutResult::Failure;
  }
}

// Hands out tokens in the split layout: one block, slot 0 the private copy,
// the caller's handle pointing at slot 1.
char** makeSplitBlock(OwnedCString copy, const std::vector<char*>& tokens) {
  auto** block = static_cast<char**>(std::malloc((tokens.size() + 1) * sizeof(char*)));
  if (block == nullptr) return nullptr;
  block[0] = copy.release();
  std::memcpy(block + 1, tokens.data(), tokens.size() * sizeof(char*));
  return block + 1;
}

}  // namespace

char* StrAlloc(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  return allocCopy(text).release();
}

char* StrAdd(char* buffer, const char* text) noexcept {
  if (text == nullptr) return nullptr;
  if (buffer == nullptr) return StrAlloc(text);
  const std::size_t oldLength = std::strlen(buffer);
  const std::size_t addLength = std::strlen(text);
  // Appending a piece of the buffer to itself: realloc may move the piece.
  const std::less_equal<const char*> le;
  if (le(buffer, text) && le(text, buffer + oldLength)) {
    OwnedCString piece = allocCopy(std::string_view(text, addLength));
    if (!piece) return nullptr;
    return StrAdd(buffer, piece.get());
  }
  auto* grown = static_cast<char*>(std::realloc(buffer, oldLength + addLength + 1));
  if (grown == nullptr) return nullptr;
  std::memcpy(grown + oldLength, text, addLength + 1);
  return grown;
}

char* StrCut(char* text, std::uint64_t n) noexcept {
  if (text != nullptr && std::strlen(text) > n) text[n] = '\0';
  return text;
}

std::int64_t StrFind(const char* text, const char* pattern) noexcept {
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return 0;
  const std::size_t patternLength = std::strlen(pattern);
  std::int64_t count = 0;
  for (const char* at = std::strstr(text, pattern); at != nullptr;
       at = std::strstr(at + patternLength, pattern)) {
    ++count;
  }
  return count;
}

char* CrLf2NULL(char* text, std::uint64_t* count) noexcept {
  *count = 0;
  if (text == nullptr) return nullptr;
  char* end = std::strchr(text, '\n');
  if (end == nullptr) return nullptr;
  *end = '\0';
  *count = 1;
  while (end > text && end[-1] == '\r') {
    --end;
    *end = '\0';
    ++*count;
  }
  return end;
}

bool SearchDelimiter(char* position, const char* delimiter, std::uint64_t* skip) noexcept {
  return cutToken(position, delimiter, skip) == CutResult::Delimiter;
}

char** Split(const char* text, const char* delimiter, std::uint64_t* count,
             std::uint64_t maxCuts) noexcept {
  *count = 0;
  if (text == nullptr || delimiter == nullptr) return nullptr;
  try {
    if (!platform::isWellFormedUTF8(text) || !platform::isWellFormedUTF8(delimiter)) {
      return nullptr;
    }
    OwnedCString copy(StrAlloc(text));
    if (!copy) return nullptr;
    std::vector<char*> tokens;
    char* position = copy.get();
    for (;;) {
      if (maxCuts != 0 && tokens.size() == maxCuts) {
        tokens.push_back(position);
        break;
      }
      std::uint64_t skip = 0;
      const CutResult result = cutToken(position, delimiter, &skip);
      if (result == CutResult::Failure) return nullptr;
      tokens.push_back(position);
      if (result == CutResult::End) break;
      position += std::strlen(position) + skip;
    }
    char** handle = makeSplitBlock(std::move(copy), tokens);
    if (handle != nullptr) *count = tokens.size();
    return handle;
  } catch (...) {
    return nullptr;
  }
}

int SplitFR(const char* line, char*** names, std::uint64_t* namesCount, char*** values,
            std::uint64_t* valuesCount) noexcept {
  *names = nullptr;
  *values = nullptr;
  *namesCount = 0;
  *valuesCount = 0;
  std::uint64_t partCount = 0;
  const strutil::OwnedSplit parts(Split(line, ":", &partCount, 1));
  if (!parts) return 0;
  if (partCount >= 1) *names = Split(parts.get()[0], ";", namesCount, 0);
  if (partCount >= 2) *values = Split(parts.get()[1], ";", valuesCount, 0);
  return 0;
}

void SplitFree(char** handle) noexcept {
  if (handle == nullptr) return;
  char** block = handle - 1;
  std::free(block[0]);
  std::free(block);
}

void SplitFree(char** first, char** second) noexcept {
  SplitFree(first);
  SplitFree(second);
}

char* Replace(const char* text, const char* pattern, const char* replacement) noexcept {
  if (text == nullptr || pattern == nullptr || replacement == nullptr) return nullptr;
  const std::size_t patternLength = std::strlen(pattern);
  if (patternLength == 0) return StrAlloc(text);
  const std::size_t textLength = std::strlen(text);
  const std::size_t replacementLength = std::strlen(replacement);
  const auto occurrences = static_cast<std::size_t>(StrFind(text, pattern));
  const std::size_t kept = textLength - occurrences * patternLength;
  if (replacementLength != 0 && occurrences > (SIZE_MAX - 1 - kept) / replacementLength) {
    return nullptr;
  }
  const std::size_t length = kept + occurrences * replacementLength;

  OwnedCString result(static_cast<char*>(std::malloc(length + 1)));
  if (!result) return nullptr;
  char* out = result.get();
  const char* from = text;
  for (const char* at = std::strstr(from, pattern); at != nullptr;
       at = std::strstr(from, pattern)) {
    std::memcpy(out, from, static_cast<std::size_t>(at - from));
    out += at - from;
    std::memcpy(out, replacement, replacementLength);
    out += replacementLength;
    from = at + patternLength;
  }
  std::memcpy(out, from, std::strlen(from) + 1);
  return result.release();
}

char* StrToUpper(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  try {
    const auto decoded = platform::fromUTF8(text);
    if (!decoded) return nullptr;
    return allocCopy(platform::toUTF8(platform::uppercase(*decoded))).release();
  } catch (...) {
    return nullptr;
  }
}
