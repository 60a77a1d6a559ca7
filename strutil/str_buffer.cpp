#include "str_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "regex_additions.h"
#include "str_fast_p.h"
#include "str_scratch_p.h"
#include "strutil.h"

using platform::OwnedCString;

namespace {

// Stands for an escaped delimiter while a token is being cut.
constexpr char16_t kPlaceholder[] = u"___nonsep___";

enum class CutResult { Delimiter, End, Failure };

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

// One cutting step at position, whose text runs for rest bytes up to its NUL:
// terminates the token in place. On failure the text is left untouched.
CutResult cutToken(char* position, std::size_t restLength, const char* delimiter,
                   std::uint64_t* skip) noexcept {
  *skip = 0;
  try {
    const std::string_view rest(position, restLength);
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

// One ASCII character that reads literally both as a pattern after an escaped
// backslash and as a replacement template, and that the placeholder does not
// contain. For these the pattern pair above provably gives back the bytes
// before the first unescaped delimiter, so a plain byte scan gives the same
// token without any conversion.
bool isPlainDelimiter(const char* delimiter) {
  if (delimiter[0] == '\0' || delimiter[1] != '\0') return false;
  switch (delimiter[0]) {
    case ';':
    case ':':
    case ',':
    case '=':
    case ' ':
    case '\t':
    case '&':
    case '!':
    case '@':
    case '#':
    case '%':
    case '~':
    case '<':
    case '>':
    case '/':
    case '\'':
    case '"':
      return true;
    default:
      return false;
  }
}

// The pattern step works on the span up to and including the delimiter as a
// UTF-16 text, and a text of more than INT32_MAX bytes cannot be converted.
bool spanFitsText(std::size_t spanLength) {
  return spanLength <= static_cast<std::size_t>(INT32_MAX);
}

// The byte-scan form of cutToken for a plain delimiter; the text between
// position and position + restLength must already be known to be UTF-8.
CutResult cutPlain(char* position, std::size_t restLength, char delimiter, std::uint64_t* skip) {
  *skip = 0;
  const char* end = position + restLength;
  for (char* at = position;; ++at) {
    at = static_cast<char*>(std::memchr(at, delimiter, static_cast<std::size_t>(end - at)));
    if (at == nullptr) return spanFitsText(restLength) ? CutResult::End : CutResult::Failure;
    if (at == position || at[-1] != '\\') {
      if (!spanFitsText(static_cast<std::size_t>(at - position) + 1)) return CutResult::Failure;
      *at = '\0';
      *skip = 1;
      return CutResult::Delimiter;
    }
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

// The split loop over a private copy of length bytes; cut is one of the two
// cutting steps.
template <typename Cut>
char** splitCopy(OwnedCString copy, std::size_t length, std::uint64_t maxCuts, std::uint64_t* count,
                 Cut cut) {
  std::vector<char*> tokens;
  char* position = copy.get();
  const char* end = position + length;
  for (;;) {
    if (maxCuts != 0 && tokens.size() == maxCuts) {
      tokens.push_back(position);
      break;
    }
    std::uint64_t skip = 0;
    const std::size_t rest = static_cast<std::size_t>(end - position);
    const CutResult result = cut(position, rest, &skip);
    if (result == CutResult::Failure) return nullptr;
    tokens.push_back(position);
    if (result == CutResult::End) break;
    position += std::strlen(position) + skip;
  }
  char** handle = makeSplitBlock(std::move(copy), tokens);
  if (handle != nullptr) *count = tokens.size();
  return handle;
}

// The first c among size bytes at text, or null. Tokens are mostly short, so
// the first bytes are looked at directly before the library search takes over.
const char* findByte(const char* text, std::size_t size, char c) {
  const std::size_t head = size < 32 ? size : 32;
  for (std::size_t i = 0; i < head; ++i) {
    if (text[i] == c) return text + i;
  }
  if (head == size) return nullptr;
  return static_cast<const char*>(std::memchr(text + head, c, size - head));
}

// The split loop for a plain delimiter over text, which must already be known
// to be UTF-8 and no longer than INT32_MAX bytes: the same tokens as
// splitCopy with cutPlain. The token starts are collected first, so the copy
// and the handle are the only allocations.
char** splitPlain(std::string_view text, char delimiter, std::uint64_t maxCuts,
                  std::uint64_t* count) {
  OwnedCString copy = platform::copyToCString(text);
  if (!copy) return nullptr;
  char* const base = copy.get();
  const std::size_t length = text.size();
  thread_local std::vector<std::size_t> starts;
  const strutil::detail::ScratchRelease release(starts);
  starts.clear();
  starts.push_back(0);
  for (std::size_t i = 0; i < length && (maxCuts == 0 || starts.size() <= maxCuts);) {
    const char* at = findByte(base + i, length - i, delimiter);
    if (at == nullptr) break;
    const auto offset = static_cast<std::size_t>(at - base);
    // A cut delimiter is NUL by now, so the one after it counts as unescaped.
    if (offset == 0 || base[offset - 1] != '\\') {
      base[offset] = '\0';
      starts.push_back(offset + 1);
    }
    i = offset + 1;
  }
  auto** block = static_cast<char**>(std::malloc((starts.size() + 1) * sizeof(char*)));
  if (block == nullptr) return nullptr;
  for (std::size_t t = 0; t < starts.size(); ++t)
    block[t + 1] = base + starts[t];
  block[0] = copy.release();
  *count = starts.size();
  return block + 1;
}

// Where the first plain delimiter not preceded by a backslash is, or null.
const char* findPlain(std::string_view text, char delimiter) {
  for (std::size_t i = 0; i < text.size();) {
    const char* at = findByte(text.data() + i, text.size() - i, delimiter);
    if (at == nullptr) return nullptr;
    if (at == text.data() || at[-1] != '\\') return at;
    i = static_cast<std::size_t>(at - text.data()) + 1;
  }
  return nullptr;
}

// Split's checks and copy; withPattern forces the pattern step for every
// delimiter.
char** splitText(const char* text, const char* delimiter, std::uint64_t* count,
                 std::uint64_t maxCuts, bool withPattern) noexcept {
  *count = 0;
  if (text == nullptr || delimiter == nullptr) return nullptr;
  try {
    const std::size_t length = std::strlen(text);
    if (!utf::validateUTF8(std::string_view(text, length)) || !utf::validateUTF8(delimiter)) {
      return nullptr;
    }
    if (!withPattern && isPlainDelimiter(delimiter) &&
        length <= static_cast<std::size_t>(INT32_MAX)) {
      return splitPlain(std::string_view(text, length), delimiter[0], maxCuts, count);
    }
    OwnedCString copy = platform::copyToCString(std::string_view(text, length));
    if (!copy) return nullptr;
    if (!withPattern && isPlainDelimiter(delimiter)) {
      // Some span may be too long for the pattern step; the general loop
      // finds out which way it fails or succeeds.
      const char plain = delimiter[0];
      return splitCopy(std::move(copy), length, maxCuts, count,
                       [plain](char* position, std::size_t rest, std::uint64_t* skip) {
                         return cutPlain(position, rest, plain, skip);
                       });
    }
    return splitCopy(std::move(copy), length, maxCuts, count,
                     [delimiter](char* position, std::size_t rest, std::uint64_t* skip) {
                       return cutToken(position, rest, delimiter, skip);
                     });
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

char* StrAlloc(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  return platform::copyToCString(text).release();
}

char* StrAdd(char* buffer, const char* text) noexcept {
  if (text == nullptr) return nullptr;
  if (buffer == nullptr) return StrAlloc(text);
  const std::size_t oldLength = std::strlen(buffer);
  const std::size_t addLength = std::strlen(text);
  // Appending a piece of the buffer to itself: realloc may move the piece.
  const std::less_equal<const char*> le;
  if (le(buffer, text) && le(text, buffer + oldLength)) {
    OwnedCString piece = platform::copyToCString(std::string_view(text, addLength));
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
  const std::size_t length = std::strlen(position);
  if (isPlainDelimiter(delimiter)) {
    // Only the token and its delimiter are looked at, as the pattern step
    // does; that span must be UTF-8.
    const char* at = position;
    while ((at = std::strchr(at, delimiter[0])) != nullptr && at != position && at[-1] == '\\')
      ++at;
    const std::size_t span = at == nullptr ? length : static_cast<std::size_t>(at - position) + 1;
    if (!utf::validateUTF8(std::string_view(position, span))) {
      *skip = 0;
      return false;
    }
    return cutPlain(position, length, delimiter[0], skip) == CutResult::Delimiter;
  }
  return cutToken(position, length, delimiter, skip) == CutResult::Delimiter;
}

char** Split(const char* text, const char* delimiter, std::uint64_t* count,
             std::uint64_t maxCuts) noexcept {
  return splitText(text, delimiter, count, maxCuts, false);
}

namespace {

// SplitFR; with values null only the name-and-parameters list is made.
void splitLine(const char* line, char*** names, std::uint64_t* namesCount, char*** values,
               std::uint64_t* valuesCount) noexcept {
  *names = nullptr;
  *namesCount = 0;
  if (values != nullptr) {
    *values = nullptr;
    *valuesCount = 0;
  }
  if (line == nullptr) return;
  try {
    const std::string_view text(line);
    if (text.size() <= static_cast<std::size_t>(INT32_MAX)) {
      // Split(line, ":", 1) and then each part cut at ";", without the copy
      // of the parts: the same tokens, as both delimiters are plain.
      if (!utf::validateUTF8(text)) return;
      const char* colon = findPlain(text, ':');
      const std::string_view head =
          colon == nullptr ? text : text.substr(0, static_cast<std::size_t>(colon - line));
      *names = splitPlain(head, ';', 0, namesCount);
      if (*names == nullptr) *namesCount = 0;
      if (values != nullptr && colon != nullptr) {
        *values = splitPlain(text.substr(head.size() + 1), ';', 0, valuesCount);
        if (*values == nullptr) *valuesCount = 0;
      }
      return;
    }
  } catch (...) {
    SplitFree(*names);
    *names = nullptr;
    *namesCount = 0;
    if (values != nullptr) {
      SplitFree(*values);
      *values = nullptr;
      *valuesCount = 0;
    }
    return;
  }
  std::uint64_t partCount = 0;
  const strutil::OwnedSplit parts(Split(line, ":", &partCount, 1));
  if (!parts) return;
  if (partCount >= 1) *names = Split(parts.get()[0], ";", namesCount, 0);
  if (values != nullptr && partCount >= 2) *values = Split(parts.get()[1], ";", valuesCount, 0);
}

}  // namespace

int SplitFR(const char* line, char*** names, std::uint64_t* namesCount, char*** values,
            std::uint64_t* valuesCount) noexcept {
  splitLine(line, names, namesCount, values, valuesCount);
  return 0;
}

int SplitFRNames(const char* line, char*** names, std::uint64_t* namesCount) noexcept {
  splitLine(line, names, namesCount, nullptr, nullptr);
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

namespace {

// Full upper-casing through the platform; nothing when text is not UTF-8.
std::optional<std::string> upperCasedByLocale(std::string_view text) {
  const auto decoded = platform::fromUTF8(text);
  if (!decoded) return std::nullopt;
  return platform::toUTF8(platform::uppercase(*decoded));
}

}  // namespace

std::optional<std::string> strutil::upperCased(std::string_view text) {
  // Full upper-casing maps ASCII only onto itself, a-z to A-Z, and leaves the
  // kana, ideographs and symbols of Japanese text alone: then only ASCII
  // letters change.
  if (utf::isASCII(text) || utf::isASCIIOrUncasedJapanese(text)) {
    std::string copy(text);
    for (char& c : copy) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return copy;
  }
  return upperCasedByLocale(text);
}

char* StrToUpper(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  const std::string_view view(text);
  // Text whose only cased letters are ASCII is cased in its own exact-fit
  // block, with no string in between.
  if (utf::isASCII(view) || utf::isASCIIOrUncasedJapanese(view)) {
    OwnedCString copy = platform::copyToCString(view);
    if (!copy) return nullptr;
    for (char* c = copy.get(); *c != '\0'; ++c) {
      if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    }
    return copy.release();
  }
  return strutil::detail::StrToUpperByLocale(text);
}

namespace strutil::detail {

char** SplitByPattern(const char* text, const char* delimiter, std::uint64_t* count,
                      std::uint64_t maxCuts) noexcept {
  return splitText(text, delimiter, count, maxCuts, true);
}

char* StrToUpperByLocale(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  try {
    const std::optional<std::string> upper = upperCasedByLocale(text);
    return upper ? platform::copyToCString(*upper).release() : nullptr;
  } catch (...) {
    // StrToUpper's contract at the C edge: null when memory is exhausted.
    return nullptr;
  }
}

}  // namespace strutil::detail
