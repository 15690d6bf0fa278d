#include "raster/kernel_passes_avx2.h"

#include <immintrin.h>

#include <cstring>

namespace tessane::avx2 {

bool CpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Sums two source rows at a time: bytes of the two rows are interleaved into 16-bit pairs and
// multiplied by the pair of weights with one multiply-add, which is exact for 8-bit channels
// and weights that fit in 16 bits.
void VerticalPairs(const uint8_t* const* rowsA, const uint8_t* const* rowsB,
                   const int32_t* pairWeights, size_t pairs, size_t span, int32_t* sums) {
  const __m256i zero = _mm256_setzero_si256();
  size_t x = 0;
  for (; x + 8 <= span; x += 8) {
    __m256i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
    for (size_t p = 0; p < pairs; ++p) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowsA[p] + 4 * x));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowsB[p] + 4 * x));
      _mm_prefetch(reinterpret_cast<const char*>(rowsA[p] + 4 * x + 256), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(rowsB[p] + 4 * x + 256), _MM_HINT_T0);
      const __m256i wv = _mm256_set1_epi32(pairWeights[p]);
      const __m256i abLo = _mm256_unpacklo_epi8(a, b);  // pixels 0,1 | 4,5
      const __m256i abHi = _mm256_unpackhi_epi8(a, b);  // pixels 2,3 | 6,7
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(_mm256_unpacklo_epi8(abLo, zero), wv));
      acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(_mm256_unpackhi_epi8(abLo, zero), wv));
      acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(_mm256_unpacklo_epi8(abHi, zero), wv));
      acc3 = _mm256_add_epi32(acc3, _mm256_madd_epi16(_mm256_unpackhi_epi8(abHi, zero), wv));
    }
    // acc0..acc3 hold pixels (0|4), (1|5), (2|6), (3|7); store them in order.
    __m256i* out = reinterpret_cast<__m256i*>(sums + 4 * x);
    _mm256_storeu_si256(out + 0, _mm256_permute2x128_si256(acc0, acc1, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(acc2, acc3, 0x20));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(acc0, acc1, 0x31));
    _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(acc2, acc3, 0x31));
  }
  for (; x < span; ++x) {
    int32_t s[4] = {0, 0, 0, 0};
    for (size_t p = 0; p < pairs; ++p) {
      const int32_t wa = static_cast<int16_t>(pairWeights[p] & 0xFFFF);
      const int32_t wb = static_cast<int16_t>(static_cast<uint32_t>(pairWeights[p]) >> 16);
      for (int c = 0; c < 4; ++c) s[c] += wa * rowsA[p][4 * x + c] + wb * rowsB[p][4 * x + c];
    }
    std::memcpy(sums + 4 * x, s, sizeof s);
  }
}

namespace {

inline uint32_t PackOne(__m128i s) {
  s = _mm_srai_epi32(s, 16);
  s = _mm_packs_epi32(s, s);
  s = _mm_packus_epi16(s, s);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(s));
}

}  // namespace

// Two samples per multiply, with the weights spread ahead of time and two sums in flight.
void HorizontalPairs(const Runs<int32_t>& runs, const int32_t* sums, int32_t lo, size_t first,
                     size_t last, uint32_t* out) {
  for (size_t i = first; i < last; ++i) {
    const int32_t* w = runs.weights + runs.offset[i];
    const int32_t* v = sums + static_cast<size_t>(runs.start[i] - lo) * 4;
    const int32_t pairs = (runs.count[i] + 1) / 2;
    __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
    int32_t p = 0;
    for (; p + 2 <= pairs; p += 2) {
      const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + 8 * p));
      const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + 8 * p + 8));
      const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8 * p));
      const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8 * p + 8));
      acc0 = _mm256_add_epi32(acc0, _mm256_mullo_epi32(v0, w0));
      acc1 = _mm256_add_epi32(acc1, _mm256_mullo_epi32(v1, w1));
    }
    if (p < pairs) {
      const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + 8 * p));
      const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8 * p));
      acc0 = _mm256_add_epi32(acc0, _mm256_mullo_epi32(v0, w0));
    }
    const __m256i acc = _mm256_add_epi32(acc0, acc1);
    out[i] = PackOne(_mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1)));
  }
}

// Four samples per step: two per 128-bit lane, their channels spread into 16-bit pairs and
// multiplied by the pair of weights with one multiply-add.
void RowSums(const uint8_t* row, const Runs<int16_t>& runs, int32_t lo, size_t columns,
             int32_t* sums) {
  const __m256i shuffle =
      _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1, 8, -1, 12, -1, 9, -1,
                       13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
  const __m256i spread = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  for (size_t i = 0; i < columns; ++i) {
    const int16_t* w = runs.weights + runs.offset[i];
    const uint8_t* p = row + static_cast<size_t>(runs.start[i] - lo) * 4;
    const int32_t n = runs.count[i];
    __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
    int32_t m = 0;
    for (; m + 8 <= n; m += 8) {
      const __m256i px0 = _mm256_shuffle_epi8(
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * m))),
          shuffle);
      const __m256i px1 = _mm256_shuffle_epi8(
          _mm256_broadcastsi128_si256(
              _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * m + 16))),
          shuffle);
      const __m256i w0 = _mm256_permutevar8x32_epi32(
          _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + m))), spread);
      const __m256i w1 = _mm256_permutevar8x32_epi32(
          _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + m + 4))),
          spread);
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(px0, w0));
      acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(px1, w1));
    }
    for (; m < n; m += 4) {  // the run is padded with zero weights to a multiple of 4
      const __m256i px = _mm256_shuffle_epi8(
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * m))),
          shuffle);
      const __m256i wv = _mm256_permutevar8x32_epi32(
          _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + m))), spread);
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(px, wv));
    }
    const __m256i acc = _mm256_add_epi32(acc0, acc1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4 * i),
                     _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1)));
  }
}

size_t Combine(const int32_t* const* rows, const int32_t* w, int32_t n, size_t columns,
               uint32_t* out) {
  size_t i = 0;
  for (; i + 2 <= columns; i += 2) {
    __m256i acc = _mm256_setzero_si256();
    for (int32_t m = 0; m < n; ++m) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[m] + 4 * i));
      acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(v, _mm256_set1_epi32(w[m])));
    }
    out[i] = PackOne(_mm256_castsi256_si128(acc));
    out[i + 1] = PackOne(_mm256_extracti128_si256(acc, 1));
  }
  return i;
}

}  // namespace tessane::avx2
