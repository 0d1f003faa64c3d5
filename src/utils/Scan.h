// Byte scans over long texts, sixteen bytes at a step: a report's line
// breaks and field separators. Written here rather than taken from the C
// library because they make the whole export an eighth quicker: with memchr
// in FindByte, FindBytes and FindLineBreak, std::find_if in FindHighByte and
// std::count in CountByte (which the compiler does not vectorise at -O2), the
// export of a report of 1,000,000 deals without squeezes took 0.64 s of CPU
// against 0.57 s (drsprep-batch export, the lowest of five runs each).
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace drs {

// The first `c` in [at, stop), else stop.
inline const char* FindByte(const char* at, const char* stop, char c) {
#ifdef __SSE2__
  const __m128i want = _mm_set1_epi8(c);
  for (; stop - at >= 16; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (const int bits = _mm_movemask_epi8(_mm_cmpeq_epi8(v, want))) return at + __builtin_ctz(bits);
  }
#endif
  while (at < stop && *at != c) ++at;
  return at;
}

// The offsets from `at` of the first `max` bytes `c` in [at, stop), in
// order, into `out`; returns how many were found. One look at each step of
// the text finds every `c` in it: a line's separators in one scan.
inline size_t FindBytes(const char* at, const char* stop, char c, size_t* out, size_t max) {
  size_t count = 0;
  const char* const base = at;
#ifdef __SSE2__
  const __m128i want = _mm_set1_epi8(c);
  for (; stop - at >= 16; at += 16) {
    for (unsigned bits = static_cast<unsigned>(
             _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), want)));
         bits; bits &= bits - 1) {
      if (count == max) return count;
      out[count++] = static_cast<size_t>(at - base) + static_cast<size_t>(__builtin_ctz(bits));
    }
  }
#endif
  for (; at < stop; ++at) {
    if (*at != c) continue;
    if (count == max) return count;
    out[count++] = static_cast<size_t>(at - base);
  }
  return count;
}

// The first LF or CR in [at, stop), else stop.
inline const char* FindLineBreak(const char* at, const char* stop) {
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  for (; stop - at >= 16; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const int bits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    if (bits) return at + __builtin_ctz(bits);
  }
#endif
  while (at < stop && *at != '\n' && *at != '\r') ++at;
  return at;
}

// The first byte from 0x80 in [at, stop), else stop.
inline const char* FindHighByte(const char* at, const char* stop) {
#ifdef __SSE2__
  for (; stop - at >= 16; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (const int bits = _mm_movemask_epi8(v)) return at + __builtin_ctz(bits);
  }
#endif
  while (at < stop && static_cast<unsigned char>(*at) < 0x80) ++at;
  return at;
}

// How many times `c` occurs in [at, stop).
inline size_t CountByte(const char* at, const char* stop, char c) {
  size_t count = 0;
#ifdef __SSE2__
  const __m128i want = _mm_set1_epi8(c);
  for (; stop - at >= 16; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, want))); bits;
         bits &= bits - 1)
      ++count;
  }
#endif
  for (; at < stop; ++at) count += *at == c;
  return count;
}

}  // namespace drs
