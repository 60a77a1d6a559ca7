// Searches for delimiters in the short texts of a card: lines, names,
// parameters and most values are a few dozen bytes, where a call into the C
// library's search costs more than the search itself. Sixteen bytes are
// compared at a time where the processor offers it; the last few bytes one
// by one.
#pragma once

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

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
  for (; p < end; ++p) {
    if (*p == c) return p;
  }
  return end;
#else
  const void* hit =
      std::memchr(p, static_cast<unsigned char>(c), static_cast<std::size_t>(end - p));
  return hit != nullptr ? static_cast<const char*>(hit) : end;
#endif
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
