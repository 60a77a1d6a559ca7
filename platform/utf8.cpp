#include "utf8.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace utf {
namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

bool validateUTF8(std::string_view bytes) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    // Runs of ASCII, the bulk of a card file, are passed eight bytes at once.
    while (n - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, s + i, sizeof word);
      if ((word & kHighBits) != 0) break;
      i += 8;
    }
    if (i >= n) break;
    unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    // Kana and kanji: a three-byte sequence whose lead puts no extra limit on
    // the second byte, checked in one go.
    if (c >= 0xE1 && c <= 0xEF && c != 0xED && n - i >= 3) {
      if (((s[i + 1] & 0xC0) | (s[i + 2] & 0xC0) << 8) != 0x8080) return false;
      i += 3;
      continue;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k) {
      if (!isContinuation(s[i + k])) return false;
    }
    i += len;
  }
  return true;
}

std::size_t convertUTF16ToUTF8WithReplacement(const char16_t* units, std::size_t count,
                                              char* out) noexcept {
  char* o = out;
  for (std::size_t i = 0; i < count; ++i) {
    // Runs of ASCII, four units at a time.
    while (i + 4 <= count && (units[i] | units[i + 1] | units[i + 2] | units[i + 3]) < 0x80) {
      o[0] = static_cast<char>(units[i]);
      o[1] = static_cast<char>(units[i + 1]);
      o[2] = static_cast<char>(units[i + 2]);
      o[3] = static_cast<char>(units[i + 3]);
      o += 4;
      i += 4;
    }
    if (i >= count) break;
    std::uint32_t c = units[i];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | c >> 6);
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      const bool lead = c <= 0xDBFF;
      if (lead && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
        ++i;
        *o++ = static_cast<char>(0xF0 | c >> 18);
        *o++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *o++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
        continue;
      }
      c = 0xFFFD;
    }
    *o++ = static_cast<char>(0xE0 | c >> 12);
    *o++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return static_cast<std::size_t>(o - out);
}

char* encodeUTF16LE(std::string_view utf8, char* o) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  auto put = [&o](std::uint32_t unit) {
    if constexpr (std::endian::native == std::endian::little) {
      const auto little = static_cast<std::uint16_t>(unit);
      std::memcpy(o, &little, sizeof little);
      o += 2;
    } else {
      *o++ = static_cast<char>(unit & 0xFF);
      *o++ = static_cast<char>(unit >> 8);
    }
  };
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      if constexpr (std::endian::native == std::endian::little) {
        // Runs of ASCII are widened eight bytes at a time: each byte moves
        // to the low half of its own 16-bit unit.
        auto widen = [](std::uint64_t four) {
          four = (four | four << 16) & 0x0000FFFF0000FFFFULL;
          return (four | four << 8) & 0x00FF00FF00FF00FFULL;
        };
        std::uint64_t word;
        while (n - i >= 8 && (std::memcpy(&word, s + i, sizeof word), (word & kHighBits) == 0)) {
          const std::uint64_t low = widen(word & 0xFFFFFFFFULL);
          const std::uint64_t high = widen(word >> 32);
          std::memcpy(o, &low, sizeof low);
          std::memcpy(o + 8, &high, sizeof high);
          o += 16;
          i += 8;
        }
      }
      while (i < n && s[i] < 0x80)
        put(s[i++]);
      continue;
    }
    if ((c & 0xF0) == 0xE0) {
      // Japanese text is a run of three-byte characters, taken in a loop of
      // its own. E0 below A0 (overlong) and ED above 9F (surrogates) are
      // exactly the units below U+0800 and in U+D800-U+DFFF.
      do {
        if (n - i < 3) return nullptr;
        // Continuation bytes are 80-BF: both below 40 once 80 is taken off.
        const std::uint32_t second = s[i + 1] ^ 0x80u;
        const std::uint32_t third = s[i + 2] ^ 0x80u;
        if ((second | third) > 0x3F) return nullptr;
        const std::uint32_t unit = (s[i] & 0x0Fu) << 12 | second << 6 | third;
        if (unit < 0x800 || unit - 0xD800u < 0x800u) return nullptr;
        put(unit);
        i += 3;
      } while (i < n && (s[i] & 0xF0) == 0xE0);
      continue;
    }
    const std::size_t left = n - i;
    if (c >= 0xC2 && c <= 0xDF && left >= 2 && isContinuation(s[i + 1])) {
      put((c & 0x1Fu) << 6 | (s[i + 1] & 0x3Fu));
      i += 2;
    } else if (c >= 0xF0 && c <= 0xF4 && left >= 4 && isContinuation(s[i + 1]) &&
               isContinuation(s[i + 2]) && isContinuation(s[i + 3]) &&
               (c != 0xF0 || s[i + 1] >= 0x90) && (c != 0xF4 || s[i + 1] <= 0x8F)) {
      const std::uint32_t cp = (c & 0x07u) << 18 | (s[i + 1] & 0x3Fu) << 12 |
                               (s[i + 2] & 0x3Fu) << 6 | (s[i + 3] & 0x3Fu);
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
      i += 4;
    } else {
      return nullptr;
    }
  }
  return o;
}

bool convertUTF8ToUTF16LE(std::string_view utf8, std::string* out) {
  // Checked while encoding; a failure takes back what was written.
  const std::size_t start = out->size();
  out->resize(start + 2 * utf8.size());  // never more units than bytes
  const char* end = encodeUTF16LE(utf8, out->data() + start);
  out->resize(end != nullptr ? static_cast<std::size_t>(end - out->data()) : start);
  return end != nullptr;
}

bool isASCIIOrUncasedJapanese(std::string_view utf8) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    // Every such character takes three bytes; leads E3-E9 put no limit on
    // the second byte, so two continuation bytes make the sequence whole.
    if (n - i < 3 || !isContinuation(s[i + 1]) || !isContinuation(s[i + 2])) return false;
    const bool cjk = c >= 0xE3 && c <= 0xE9;
    // U+FF61-U+FF9F is EF BD A1-BF or EF BE 80-9F.
    const bool halfwidthKana = c == 0xEF && ((s[i + 1] == 0xBD && s[i + 2] >= 0xA1) ||
                                             (s[i + 1] == 0xBE && s[i + 2] <= 0x9F));
    if (!cjk && !halfwidthKana) return false;
    i += 3;
  }
  return true;
}

bool containsCJKLeadByte(std::string_view bytes) noexcept {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0xE3 && byte <= 0xE9) return true;
  }
  return false;
}

std::size_t multiByteSequenceLength(std::string_view bytes) noexcept {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto tail = [&](std::size_t i) { return i < bytes.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned char lead = b(0);
  if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!tail(1) || !tail(2)) return 0;
    if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) > 0x9F)) return 0;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!tail(1) || !tail(2) || !tail(3)) return 0;
    if ((lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) > 0x8F)) return 0;
    return 4;
  }
  return 0;
}

}  // namespace utf
