#include "formats/png/png_unfilter_sse2.h"

#include <emmintrin.h>

#include <cstring>

namespace tessane::sse2 {
namespace {

// One pixel at a time in 16-bit lanes: the same sums as the reader's byte loops, with the bytes
// of a pixel done side by side. Reads of 4 bytes may pass the end of a 3-byte row by one byte
// (the row buffers have slack); stores write only the pixel's own bytes.
template <size_t Bpp>
inline __m128i LoadPixel(const uint8_t* p) {
  int32_t v = 0;
  std::memcpy(&v, p, 4);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

template <size_t Bpp>
inline void StorePixel(uint8_t* p, __m128i v) {
  const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(v, v));
  std::memcpy(p, &bytes, Bpp);
}

template <size_t Bpp>
void UnfilterSubPixels(uint8_t* row, size_t length) {
  __m128i left = _mm_setzero_si128();
  const __m128i mask = _mm_set1_epi16(0xFF);
  for (size_t i = 0; i + Bpp <= length; i += Bpp) {
    left = _mm_and_si128(_mm_add_epi16(LoadPixel<Bpp>(row + i), left), mask);
    StorePixel<Bpp>(row + i, left);
  }
}

template <size_t Bpp>
void UnfilterAveragePixels(uint8_t* row, const uint8_t* prior, size_t length) {
  __m128i left = _mm_setzero_si128();
  const __m128i mask = _mm_set1_epi16(0xFF);
  for (size_t i = 0; i + Bpp <= length; i += Bpp) {
    const __m128i up = LoadPixel<Bpp>(prior + i);
    const __m128i predicted = _mm_srli_epi16(_mm_add_epi16(left, up), 1);
    left = _mm_and_si128(_mm_add_epi16(LoadPixel<Bpp>(row + i), predicted), mask);
    StorePixel<Bpp>(row + i, left);
  }
}

inline __m128i Abs16(__m128i v) {
  return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

template <size_t Bpp>
void UnfilterPaethPixels(uint8_t* row, const uint8_t* prior, size_t length) {
  __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
  const __m128i mask = _mm_set1_epi16(0xFF);
  for (size_t i = 0; i + Bpp <= length; i += Bpp) {
    const __m128i b = LoadPixel<Bpp>(prior + i);
    // p = a + b - c; pa = |p - a| = |b - c|, pb = |a - c|, pc = |a + b - 2c|.
    const __m128i pa = Abs16(_mm_sub_epi16(b, c));
    const __m128i pb = Abs16(_mm_sub_epi16(a, c));
    const __m128i pc = Abs16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
    // a when pa <= pb and pa <= pc, else b when pb <= pc, else c.
    const __m128i takeA = _mm_andnot_si128(
        _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)), _mm_set1_epi16(-1));
    const __m128i takeB = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
    const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, c));
    const __m128i predicted = _mm_or_si128(_mm_and_si128(takeA, a), _mm_andnot_si128(takeA, bOrC));
    const __m128i x = _mm_and_si128(_mm_add_epi16(LoadPixel<Bpp>(row + i), predicted), mask);
    StorePixel<Bpp>(row + i, x);
    a = x;
    c = b;
  }
}

}  // namespace

bool UnfilterPixels(uint8_t type, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp) {
  if ((bpp != 3 && bpp != 4) || length % bpp != 0) return false;
  switch (type) {
    case 1:
      bpp == 3 ? UnfilterSubPixels<3>(row, length) : UnfilterSubPixels<4>(row, length);
      return true;
    case 3:
      bpp == 3 ? UnfilterAveragePixels<3>(row, prior, length)
               : UnfilterAveragePixels<4>(row, prior, length);
      return true;
    case 4:
      bpp == 3 ? UnfilterPaethPixels<3>(row, prior, length)
               : UnfilterPaethPixels<4>(row, prior, length);
      return true;
    default:
      return false;
  }
}

}  // namespace tessane::sse2
