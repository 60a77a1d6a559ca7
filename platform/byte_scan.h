// Searches for delimiters in the short texts of a card: lines, names,
// parameters and most values are a few dozen bytes, where a call into the C
// library's search costs more than the search itself. Sixteen bytes are
// compared at a time where the processor offers it, else eight in a 64-bit
// word (WebAssembly as browsers run it has no vectors, and its C library
// searches four bytes at a time); the last few bytes one by one.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

// Eight bytes in a 64-bit word, for processors without vectors.
namespace words {

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;

inline std::uint64_t load(const char* p) noexcept {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The high bit of every byte of word that is zero, and of no other: the low
// seven bits are added without a carry leaving their byte, so no byte's
// answer depends on its neighbour's.
inline std::uint64_t zeroBytes(std::uint64_t word) noexcept {
  return ~(((word & kLow7) + kLow7) | word | kLow7);
}

inline std::uint64_t bytesEqual(std::uint64_t word, char c) noexcept {
  return zeroBytes(word ^ (kOnes * static_cast<unsigned char>(c)));
}

// The place in the word of the first byte marked by its high bit.
inline std::size_t firstMarked(std::uint64_t marks) noexcept {
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
  else
    return static_cast<std::size_t>(std::countl_zero(marks)) / 8;
}

}  // namespace words

// The first byte in [p, end) that is a or b, or end.
inline const char* findEither(const char* p, const char* end, char a, char b) noexcept {
#if defined(__SSE2__)
  const __m128i wantA = _mm_set1_epi8(a);
  const __m128i wantB = _mm_set1_epi8(b);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int hits =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB)));
    if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
#else
  for (; end - p >= 8; p += 8) {
    const std::uint64_t word = words::load(p);
    const std::uint64_t hits = words::bytesEqual(word, a) | words::bytesEqual(word, b);
    if (hits != 0) return p + words::firstMarked(hits);
  }
#endif
  for (; p < end; ++p) {
    if (*p == a || *p == b) return p;
  }
  return end;
}

// The first byte in [p, end) that is a, b or c, or end.
inline const char* findOneOf(const char* p, const char* end, char a, char b, char c) noexcept {
#if defined(__SSE2__)
  const __m128i wantA = _mm_set1_epi8(a);
  const __m128i wantB = _mm_set1_epi8(b);
  const __m128i wantC = _mm_set1_epi8(c);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i eitherAB =
        _mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB));
    const int hits = _mm_movemask_epi8(_mm_or_si128(eitherAB, _mm_cmpeq_epi8(bytes, wantC)));
    if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
#else
  for (; end - p >= 8; p += 8) {
    const std::uint64_t word = words::load(p);
    const std::uint64_t hits =
        words::bytesEqual(word, a) | words::bytesEqual(word, b) | words::bytesEqual(word, c);
    if (hits != 0) return p + words::firstMarked(hits);
  }
#endif
  for (; p < end; ++p) {
    if (*p == a || *p == b || *p == c) return p;
  }
  return end;
}

// The first byte c in [p, end), or end.
inline const char* findByte(const char* p, const char* end, char c) noexcept {
#if defined(__SSE2__)
  const __m128i want = _mm_set1_epi8(c);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, want));
    if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
#else
  for (; end - p >= 8; p += 8) {
    const std::uint64_t hits = words::bytesEqual(words::load(p), c);
    if (hits != 0) return p + words::firstMarked(hits);
  }
#endif
  for (; p < end; ++p) {
    if (*p == c) return p;
  }
  return end;
}

// The first byte c in [p, end) of a long text (a piece of the source), or
// end: the C library's search where it has vectors of its own, else eight
// bytes at a time.
inline const char* findByteInLong(const char* p, const char* end, char c) noexcept {
#if defined(__SSE2__)
  const void* hit =
      std::memchr(p, static_cast<unsigned char>(c), static_cast<std::size_t>(end - p));
  return hit != nullptr ? static_cast<const char*>(hit) : end;
#else
  return findByte(p, end, c);
#endif
}

// The first byte in [p, end) of a long text that is a or b, or end, the
// same way.
inline const char* findEitherInLong(const char* p, const char* end, char a, char b) noexcept {
#if defined(__SSE2__)
  // b is looked for only before the first a.
  const char* first = findByteInLong(p, end, a);
  return findByteInLong(p, first, b);
#else
  return findEither(p, end, a, b);
#endif
}

// Whether the long text [p, end) holds the byte c.
inline bool holdsByte(const char* p, const char* end, char c) noexcept {
  return findByteInLong(p, end, c) != end;
}

inline char* findEither(char* p, char* end, char a, char b) noexcept {
  return const_cast<char*>(findEither(static_cast<const char*>(p), end, a, b));
}
inline char* findOneOf(char* p, char* end, char a, char b, char c) noexcept {
  return const_cast<char*>(findOneOf(static_cast<const char*>(p), end, a, b, c));
}
inline char* findByte(char* p, char* end, char c) noexcept {
  return const_cast<char*>(findByte(static_cast<const char*>(p), end, c));
}

}  // namespace platform
