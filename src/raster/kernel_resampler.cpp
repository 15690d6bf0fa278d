#include "raster/kernel_resampler.h"

// The portable build (TESSANE_NO_SIMD) and other processors keep to the scalar loops, which give
// the same pixels.
#if defined(__x86_64__) && !defined(TESSANE_NO_SIMD)
#define TESSANE_KERNEL_AVX2 1
#include <immintrin.h>
#else
#define TESSANE_KERNEL_AVX2 0
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace tessane {

namespace {

inline float F32(double v) {
  return static_cast<float>(v);
}

// Round to nearest, halves to the even neighbour (the default rounding mode).
inline int32_t RoundEven(double v) {
  return static_cast<int32_t>(std::nearbyint(v));
}

inline int32_t Clamp(int64_t j, int32_t lo, int32_t hi) {
  return static_cast<int32_t>(j < lo ? lo : (j > hi ? hi : j));
}

// Channel value of a weighted sum in 1/65536 units, saturated to 0..255. For the clamping
// kernels this is their clamp; for the others a sum outside 0..255 x 65536 (possible
// only where the weight correction left a negative weight) saturates instead of wrapping.
inline uint8_t Saturate(int64_t h) {
  const int64_t v = h >> 16;
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

const uint8_t* RowBytes(const ArgbImage& bitmap, int32_t y) {
  return reinterpret_cast<const uint8_t*>(bitmap.Row(y));
}

// The literal two passes over the mapping tables, one entry at a time. The sums are kept in 64
// bits: they never leave the 32-bit range for the kernels here, and if they ever did this stays
// defined.
void ResampleReference(ArgbImage& dst, const Rect& clip, const ArgbImage& src,
                       const MappingTable& mapX, const MappingTable& mapY) {
  int32_t lo = mapX.front().front().SourceIndex, hi = lo;
  for (const Cluster& cluster : mapX)
    for (const ClusterEntry& e : cluster) {
      lo = std::min(lo, e.SourceIndex);
      hi = std::max(hi, e.SourceIndex);
    }
  const size_t span = static_cast<size_t>(hi - lo + 1);
  std::vector<int64_t> sums(span * 4);
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    for (const ClusterEntry& e : mapY[static_cast<size_t>(y - clip.Top)]) {
      const uint8_t* p = RowBytes(src, e.SourceIndex) + static_cast<size_t>(lo) * 4;
      for (size_t t = 0; t < span * 4; ++t) sums[t] += int64_t{e.Weight} * p[t];
    }
    Argb32* out = dst.Row(y);
    for (int32_t i = clip.Left; i < clip.Right; ++i) {
      int64_t h[4] = {0, 0, 0, 0};
      for (const ClusterEntry& e : mapX[static_cast<size_t>(i - clip.Left)]) {
        const int64_t* v = &sums[static_cast<size_t>(e.SourceIndex - lo) * 4];
        for (int c = 0; c < 4; ++c) h[c] += int64_t{e.Weight} * v[c];
      }
      out[i] = (Argb32{Saturate(h[3])} << 24) | (Argb32{Saturate(h[2])} << 16) |
               (Argb32{Saturate(h[1])} << 8) | Saturate(h[0]);
    }
  }
}

// A mapping table with each cluster turned into a run of consecutive source indices: repeated
// indices (clamped edge samples) have their weights added, gaps get weight 0. The weighted sums
// are the same integers, with fewer and regular memory accesses. weights16 holds the same runs
// as 16-bit values, each padded with zeros to a multiple of 4 entries.
struct DenseTable {
  std::vector<int32_t> start, count, offset, offset16;
  std::vector<int32_t> weights;
  std::vector<int16_t> weights16;
  int32_t lo = 0, hi = 0;  // smallest and largest source index used
  int32_t maxCount = 0;
  int64_t maxAbsSum = 0;  // largest sum of |weight| over one cluster
  int32_t maxAbsWeight = 0;

  explicit DenseTable(const MappingTable& table) {
    const size_t n = table.size();
    start.resize(n);
    count.resize(n);
    offset.resize(n);
    offset16.resize(n);
    lo = table.front().front().SourceIndex;
    hi = lo;
    for (size_t i = 0; i < n; ++i) {
      const Cluster& cluster = table[i];
      int32_t first = cluster.front().SourceIndex, last = first;
      for (const ClusterEntry& e : cluster) {
        first = std::min(first, e.SourceIndex);
        last = std::max(last, e.SourceIndex);
      }
      const size_t base = weights.size();
      weights.resize(base + static_cast<size_t>(last - first + 1), 0);
      int64_t absSum = 0;
      for (const ClusterEntry& e : cluster) {
        weights[base + static_cast<size_t>(e.SourceIndex - first)] += e.Weight;
        absSum += std::abs(int64_t{e.Weight});
      }
      // Merged weights can cancel to 0 at the ends; trim them.
      size_t b = base, t = weights.size();
      while (t - b > 1 && weights[b] == 0) ++b, ++first;
      while (t - b > 1 && weights[t - 1] == 0) --t;
      if (b != base) std::copy(weights.begin() + b, weights.begin() + t, weights.begin() + base);
      weights.resize(base + (t - b));
      start[i] = first;
      count[i] = static_cast<int32_t>(t - b);
      offset[i] = static_cast<int32_t>(base);
      lo = std::min(lo, first);
      hi = std::max(hi, first + count[i] - 1);
      maxCount = std::max(maxCount, count[i]);
      maxAbsSum = std::max(maxAbsSum, absSum);
    }
    for (int32_t w : weights) maxAbsWeight = std::max(maxAbsWeight, std::abs(w));
    if (maxAbsWeight > 32767) return;  // no 16-bit form; the AVX2 passes are not used
    for (size_t i = 0; i < n; ++i) {
      offset16[i] = static_cast<int32_t>(weights16.size());
      for (int32_t m = 0; m < count[i]; ++m)
        weights16.push_back(static_cast<int16_t>(weights[static_cast<size_t>(offset[i] + m)]));
      while ((weights16.size() - static_cast<size_t>(offset16[i])) % 4 != 0) weights16.push_back(0);
    }
  }

  // Each run's weights in pairs, a pair spread over 8 lanes (the first weight 4 times, then the
  // second; an odd run ends with a 0) for the AVX2 pass along rows of 32-bit sums.
  std::vector<int32_t> pairs8;
  std::vector<int32_t> offsetPairs8;

  void SpreadPairs() {
    if (!pairs8.empty()) return;
    offsetPairs8.resize(count.size());
    for (size_t i = 0; i < count.size(); ++i) {
      offsetPairs8[i] = static_cast<int32_t>(pairs8.size());
      for (int32_t m = 0; m < count[i]; m += 2) {
        const int32_t a = weights[static_cast<size_t>(offset[i] + m)];
        const int32_t b = m + 1 < count[i] ? weights[static_cast<size_t>(offset[i] + m + 1)] : 0;
        pairs8.insert(pairs8.end(), {a, a, a, a, b, b, b, b});
      }
    }
  }

  bool SameCluster(size_t a, size_t b) const {
    return start[a] == start[b] && count[a] == count[b] &&
           std::equal(weights.begin() + offset[a], weights.begin() + offset[a] + count[a],
                      weights.begin() + offset[b]);
  }
};

inline Argb32 PackSums(const int32_t h[4]) {
  return (Argb32{Saturate(h[3])} << 24) | (Argb32{Saturate(h[2])} << 16) |
         (Argb32{Saturate(h[1])} << 8) | Saturate(h[0]);
}

// ---- Vertical pass first (the reference order) -----------------------------------------------
// For each destination row, source rows are combined into per-column sums over lo..hi, then the
// sums along each column cluster.

void VerticalPortable(const ArgbImage& src, int32_t lo, size_t span, int32_t start,
                      const int32_t* w, int32_t count, int32_t* sums) {
  std::fill(sums, sums + span * 4, 0);
  for (int32_t m = 0; m < count; ++m) {
    const int32_t weight = w[m];
    if (weight == 0) continue;
    const uint8_t* p = RowBytes(src, start + m) + static_cast<size_t>(lo) * 4;
    for (size_t t = 0; t < span * 4; ++t) sums[t] += weight * p[t];
  }
}

// Column clusters first..last-1 over sums that start at source column lo.
void HorizontalPortable(const DenseTable& mx, const int32_t* sums, int32_t lo, size_t first,
                        size_t last, Argb32* out) {
  for (size_t i = first; i < last; ++i) {
    const int32_t* w = mx.weights.data() + mx.offset[i];
    const int32_t* v = sums + static_cast<size_t>(mx.start[i] - lo) * 4;
    int32_t h[4] = {0, 0, 0, 0};
    for (int32_t m = 0; m < mx.count[i]; ++m)
      for (int c = 0; c < 4; ++c) h[c] += w[m] * v[4 * m + c];
    out[i] = PackSums(h);
  }
}

#if TESSANE_KERNEL_AVX2
// Sums two source rows at a time: bytes of the two rows are interleaved into 16-bit pairs and
// multiplied by the pair of weights with one multiply-add, which is exact for 8-bit channels
// and weights that fit in 16 bits.
__attribute__((target("avx2"))) void VerticalAvx2(const uint8_t* const* rowsA,
                                                  const uint8_t* const* rowsB,
                                                  const int32_t* pairWeights, size_t pairs,
                                                  size_t span, int32_t* sums) {
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

__attribute__((target("avx2"))) inline Argb32 PackOne(__m128i s) {
  s = _mm_srai_epi32(s, 16);
  s = _mm_packs_epi32(s, s);
  s = _mm_packus_epi16(s, s);
  return static_cast<Argb32>(_mm_cvtsi128_si32(s));
}

// Two samples per multiply, with the weights spread ahead of time (DenseTable::SpreadPairs) and
// two sums in flight. An odd run's last pair reads one pixel of sums past the run, which the
// caller provides; its weight is 0.
__attribute__((target("avx2"))) void HorizontalAvx2(const DenseTable& mx, const int32_t* sums,
                                                    int32_t lo, size_t first, size_t last,
                                                    Argb32* out) {
  for (size_t i = first; i < last; ++i) {
    const int32_t* w = mx.pairs8.data() + mx.offsetPairs8[i];
    const int32_t* v = sums + static_cast<size_t>(mx.start[i] - lo) * 4;
    const int32_t pairs = (mx.count[i] + 1) / 2;
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
#endif  // TESSANE_KERNEL_AVX2

// Source pixels one strip's vertical pass may cover: the rows of a cluster times this many
// columns stay in the second-level cache while consecutive destination rows reuse them.
constexpr size_t kStripBytes = size_t{192} << 10;

void ResampleVerticalFirst(bool avx2, ArgbImage& dst, const Rect& clip, const ArgbImage& src,
                           DenseTable& mx, const DenseTable& my) {
  if (avx2) mx.SpreadPairs();
  const size_t columns = static_cast<size_t>(clip.Width());
  // Cut the destination columns into strips whose source columns fit the budget (a strip holds
  // at least one column); neighbouring strips recompute the few source columns they share.
  const size_t budget = std::max<size_t>(
      64, kStripBytes / (sizeof(Argb32) * static_cast<size_t>(std::max(my.maxCount, 1))));
  std::vector<int32_t> sums;
  std::vector<const uint8_t*> rowsA, rowsB;
  std::vector<int32_t> pairWeights;
  for (size_t first = 0; first < columns;) {
    int32_t lo = mx.start[first], hi = mx.start[first] + mx.count[first] - 1;
    size_t last = first + 1;
    for (; last < columns; ++last) {
      const int32_t l = std::min(lo, mx.start[last]);
      const int32_t h = std::max(hi, mx.start[last] + mx.count[last] - 1);
      if (static_cast<size_t>(h - l + 1) > budget) break;
      lo = l;
      hi = h;
    }
    const size_t span = static_cast<size_t>(hi - lo + 1);
    // One pixel of zero sums after the span for HorizontalAvx2's odd runs.
    sums.assign(span * 4 + 4, 0);
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
      const size_t r = static_cast<size_t>(y - clip.Top);
      Argb32* out = dst.Row(y) + clip.Left;
      if (r > 0 && my.SameCluster(r, r - 1)) {
        std::memcpy(out + first, dst.Row(y - 1) + clip.Left + first,
                    (last - first) * sizeof(Argb32));
        continue;
      }
      const int32_t* w = my.weights.data() + my.offset[r];
      const int32_t n = my.count[r];
#if TESSANE_KERNEL_AVX2
      if (avx2) {
        rowsA.clear();
        rowsB.clear();
        pairWeights.clear();
        for (int32_t m = 0; m < n; m += 2) {
          const int32_t mb = m + 1 < n ? m + 1 : m;  // an odd last row pairs with itself at 0
          const int32_t wb = m + 1 < n ? w[m + 1] : 0;
          rowsA.push_back(RowBytes(src, my.start[r] + m) + static_cast<size_t>(lo) * 4);
          rowsB.push_back(RowBytes(src, my.start[r] + mb) + static_cast<size_t>(lo) * 4);
          pairWeights.push_back(static_cast<int32_t>((static_cast<uint32_t>(wb) << 16) |
                                                     (static_cast<uint32_t>(w[m]) & 0xFFFFu)));
        }
        VerticalAvx2(rowsA.data(), rowsB.data(), pairWeights.data(), pairWeights.size(), span,
                     sums.data());
        HorizontalAvx2(mx, sums.data(), lo, first, last, out);
        continue;
      }
#endif
      VerticalPortable(src, lo, span, my.start[r], w, n, sums.data());
      HorizontalPortable(mx, sums.data(), lo, first, last, out);
    }
    first = last;
  }
}

// ---- Horizontal pass first -------------------------------------------------------------------
// Each source row a row cluster names is reduced along the column clusters once, into per-column
// sums kept in a small ring; each destination row then combines the rows of its cluster. The
// sums are the same integers as in the reference order (a product of two finite sums, with no
// rounding in between), but every source row is read once, sequentially.

void RowSumsPortable(const uint8_t* row, const DenseTable& mx, size_t columns, int32_t* sums) {
  for (size_t i = 0; i < columns; ++i) {
    const int32_t* w = mx.weights.data() + mx.offset[i];
    const uint8_t* p = row + static_cast<size_t>(mx.start[i]) * 4;
    int32_t h[4] = {0, 0, 0, 0};
    for (int32_t m = 0; m < mx.count[i]; ++m)
      for (int c = 0; c < 4; ++c) h[c] += w[m] * p[4 * m + c];
    std::memcpy(sums + 4 * i, h, sizeof h);
  }
}

#if TESSANE_KERNEL_AVX2
// `row` holds source columns lo..hi followed by at least 3 zero pixels, so that runs padded to 4
// entries never read past it. Four samples per step: two per 128-bit lane, their channels
// spread into 16-bit pairs and multiplied by the pair of weights with one multiply-add.
__attribute__((target("avx2"))) void RowSumsAvx2(const uint8_t* row, const DenseTable& mx,
                                                 size_t columns, int32_t* sums) {
  const __m256i shuffle =
      _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1, 8, -1, 12, -1, 9, -1,
                       13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
  const __m256i spread = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  for (size_t i = 0; i < columns; ++i) {
    const int16_t* w = mx.weights16.data() + mx.offset16[i];
    const uint8_t* p = row + static_cast<size_t>(mx.start[i] - mx.lo) * 4;
    const int32_t n = mx.count[i];
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
#endif  // TESSANE_KERNEL_AVX2

void CombinePortable(const int32_t* const* rows, const int32_t* w, int32_t n, size_t columns,
                     Argb32* out) {
  for (size_t i = 0; i < columns; ++i) {
    int32_t h[4] = {0, 0, 0, 0};
    for (int32_t m = 0; m < n; ++m)
      for (int c = 0; c < 4; ++c) h[c] += w[m] * rows[m][4 * i + c];
    out[i] = PackSums(h);
  }
}

#if TESSANE_KERNEL_AVX2
__attribute__((target("avx2"))) void CombineAvx2(const int32_t* const* rows, const int32_t* w,
                                                 int32_t n, size_t columns, Argb32* out) {
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
  if (i < columns) {
    // The odd last column: CombinePortable counts columns from its rows' starts.
    std::vector<const int32_t*> shifted(rows, rows + n);
    for (auto& r : shifted) r += 4 * i;
    CombinePortable(shifted.data(), w, n, 1, out + i);
  }
}
#endif  // TESSANE_KERNEL_AVX2

bool CpuHasAvx2() {
#if TESSANE_KERNEL_AVX2
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

// Bytes the ring of per-row sums may take before the vertical-first order is used instead.
constexpr size_t kMaxRingBytes = size_t{64} << 20;

bool RingFits(const DenseTable& my, size_t columns) {
  return static_cast<size_t>(my.maxCount) * columns * 4 * sizeof(int32_t) <= kMaxRingBytes;
}

void ResampleHorizontalFirst([[maybe_unused]] bool avx2, ArgbImage& dst, const Rect& clip,
                             const ArgbImage& src, const DenseTable& mx, const DenseTable& my) {
  const size_t columns = static_cast<size_t>(clip.Width());
  const size_t slots = static_cast<size_t>(my.maxCount);
  const size_t slotSize = columns * 4;
  std::vector<int32_t> ring(slots * slotSize);
  std::vector<int32_t> held(slots, -1);  // source row in each slot
  const size_t span = static_cast<size_t>(mx.hi - mx.lo + 1);
  std::vector<uint8_t> padded(avx2 ? (span + 4) * 4 : 0, 0);
  std::vector<const int32_t*> rows(slots);
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    const size_t r = static_cast<size_t>(y - clip.Top);
    Argb32* out = dst.Row(y) + clip.Left;
    if (r > 0 && my.SameCluster(r, r - 1)) {
      std::memcpy(out, dst.Row(y - 1) + clip.Left, columns * sizeof(Argb32));
      continue;
    }
    const int32_t n = my.count[r];
    for (int32_t m = 0; m < n; ++m) {
      // A cluster spans at most `slots` consecutive rows, so its rows never share a slot.
      const int32_t k = my.start[r] + m;
      const size_t slot = static_cast<size_t>(k) % slots;
      int32_t* sums = ring.data() + slot * slotSize;
      if (held[slot] != k) {
#if TESSANE_KERNEL_AVX2
        if (avx2) {
          std::memcpy(padded.data(), RowBytes(src, k) + static_cast<size_t>(mx.lo) * 4, span * 4);
          RowSumsAvx2(padded.data(), mx, columns, sums);
        } else {
          RowSumsPortable(RowBytes(src, k), mx, columns, sums);
        }
#else
        RowSumsPortable(RowBytes(src, k), mx, columns, sums);
#endif
        held[slot] = k;
      }
      rows[static_cast<size_t>(m)] = sums;
    }
    const int32_t* w = my.weights.data() + my.offset[r];
#if TESSANE_KERNEL_AVX2
    if (avx2) {
      CombineAvx2(rows.data(), w, n, columns, out);
      continue;
    }
#endif
    CombinePortable(rows.data(), w, n, columns, out);
  }
}

}  // namespace

MappingTable BuildMapping(int32_t dstLo, int32_t dstHi, int32_t clipLo, int32_t clipHi,
                           int32_t srcLo, int32_t srcHi, const Kernel& kernel) {
  const int64_t sw = int64_t{srcHi} - srcLo;
  const int64_t dw = int64_t{dstHi} - dstLo;
  const int64_t cw = int64_t{clipHi} - clipLo;
  MappingTable table;
  if (sw <= 0 || dw <= 0 || cw <= 0) return table;
  table.resize(static_cast<size_t>(cw));
  if (sw == 1) {
    for (Cluster& cluster : table) cluster.push_back({srcLo, 256});
    return table;
  }
  const float scale = F32(static_cast<double>(dw) / static_cast<double>(sw));
  float radius = kernel.Radius();
  const bool reduce = scale < 1.0f;
  const float step = F32(1.0 / scale);
  if (reduce) radius = F32(double{radius} * step);  // the kernel widens with the reduction
  const int32_t last = srcHi - 1;
  for (int64_t i = 0; i < cw; ++i) {
    Cluster& cluster = table[static_cast<size_t>(i)];
    const float c = F32((static_cast<double>(i) - dstLo + clipLo + 0.5) * step +
                        (static_cast<double>(srcLo) - 0.5));
    const int64_t left = static_cast<int64_t>(std::floor(double{c} - radius));
    const int64_t right = static_cast<int64_t>(std::ceil(double{c} + radius));
    int32_t count = -256;
    for (int64_t j = left; j <= right; ++j) {
      const double d = double{c} - static_cast<double>(j);
      const int32_t w = reduce ? RoundEven(double{kernel.Evaluate(F32(d * scale))} * 256.0 * scale)
                               : RoundEven(double{kernel.Evaluate(F32(d))} * 256.0);
      if (w == 0) continue;
      count += w;
      cluster.push_back({Clamp(j, srcLo, last), w});
    }
    if (cluster.empty()) {
      // Every sample rounded to 0 (extreme reductions): take the pixel under the centre.
      cluster.push_back({Clamp(static_cast<int64_t>(std::floor(c)), srcLo, last), 256});
    } else if (count != 0) {
      cluster[(cluster.size() - 1) / 2].Weight -= count;
    }
  }
  return table;
}

bool KernelResampleUsesAvx2() {
  return CpuHasAvx2();
}

namespace {

// Rough instruction counts of the two orders, from their inner loops: the vertical-first order
// re-reads every source row of a cluster for each destination row, the horizontal-first order
// reads each source row once but spends more per sample. Reductions favour the first,
// enlargements the second.
bool HorizontalFirstIsCheaper(const DenseTable& mx, const DenseTable& my, size_t columns) {
  double rowTaps = 0, distinctRows = 0;
  for (size_t r = 0; r < my.count.size(); ++r)
    if (r == 0 || !my.SameCluster(r, r - 1)) {
      rowTaps += my.count[r];
      distinctRows += 1;
    }
  double columnTaps = 0, paddedColumnTaps = 0;
  for (size_t i = 0; i < columns; ++i) {
    columnTaps += mx.count[i];
    paddedColumnTaps += (mx.count[i] + 3) / 4 * 4;
  }
  const double span = mx.hi - mx.lo + 1;
  const double sourceRows = my.hi - my.lo + 1;
  const double verticalFirst = rowTaps * span * 1.0 + distinctRows * columnTaps * 2.5;
  const double horizontalFirst = sourceRows * paddedColumnTaps * 1.5 + rowTaps * columns * 1.5;
  return horizontalFirst < verticalFirst;
}

// One axis of a resampling: its mapping table and the dense form of it.
struct Axis {
  std::array<int32_t, 6> bounds{};  // destination, clip and source ends
  std::string kernel;               // the kernel's class, and its radius: all of its settings
  float radius = 0;
  MappingTable map;
  std::unique_ptr<DenseTable> dense;  // null for an empty table
};

// The axes this thread resampled last: a batch meets the same sizes again and again, and each
// table costs some thousand evaluations of the kernel. A new axis never takes the place of
// `keep`, the other axis of the same resampling.
Axis& AxisFor(int32_t dstLo, int32_t dstHi, int32_t clipLo, int32_t clipHi, int32_t srcLo,
               int32_t srcHi, const Kernel& kernel, const Axis* keep) {
  thread_local std::array<Axis, 4> cache;
  thread_local size_t next = 0;
  const std::array<int32_t, 6> bounds = {dstLo, dstHi, clipLo, clipHi, srcLo, srcHi};
  for (Axis& axis : cache)
    if (axis.dense && axis.bounds == bounds && axis.radius == kernel.Radius() &&
        axis.kernel == kernel.ClassName())
      return axis;
  if (&cache[next] == keep) next = (next + 1) % cache.size();
  Axis& axis = cache[next];
  next = (next + 1) % cache.size();
  axis.dense.reset();
  axis.map = BuildMapping(dstLo, dstHi, clipLo, clipHi, srcLo, srcHi, kernel);
  axis.bounds = bounds;
  axis.kernel = kernel.ClassName();
  axis.radius = kernel.Radius();
  if (!axis.map.empty()) axis.dense = std::make_unique<DenseTable>(axis.map);
  return axis;
}

void ResampleFast(KernelPath path, ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                  const ArgbImage& src, const Rect& srcRect, const Kernel& kernel) {
  Axis& axisX = AxisFor(dstRect.Left, dstRect.Right, dstClip.Left, dstClip.Right, srcRect.Left,
                         srcRect.Right, kernel, nullptr);
  Axis& axisY = AxisFor(dstRect.Top, dstRect.Bottom, dstClip.Top, dstClip.Bottom, srcRect.Top,
                         srcRect.Bottom, kernel, &axisX);
  if (!axisX.dense || !axisY.dense) return;
  const MappingTable& mapX = axisX.map;
  const MappingTable& mapY = axisY.map;
  DenseTable& mx = *axisX.dense;
  const DenseTable& my = *axisY.dense;
  // The fast passes sum in 32 bits; tables whose sums could leave that range (none of the
  // kernels here builds one) take the reference loops, which sum in 64 bits.
  if (path == KernelPath::kReference || 255 * mx.maxAbsSum * my.maxAbsSum >= (int64_t{1} << 31)) {
    ResampleReference(dst, dstClip, src, mapX, mapY);
    return;
  }
  const size_t columns = static_cast<size_t>(dstClip.Width());
  bool avx2, horizontalFirst;
  if (path == KernelPath::kAuto) {
    avx2 = CpuHasAvx2();
    horizontalFirst = HorizontalFirstIsCheaper(mx, my, columns);
  } else {
    avx2 = path == KernelPath::kAvx2VerticalFirst || path == KernelPath::kAvx2HorizontalFirst;
    horizontalFirst =
        path == KernelPath::kPortableHorizontalFirst || path == KernelPath::kAvx2HorizontalFirst;
  }
  avx2 = avx2 && CpuHasAvx2();
  if (horizontalFirst && RingFits(my, columns)) {
    // The AVX2 row sums multiply 16-bit column weights.
    ResampleHorizontalFirst(avx2 && mx.maxAbsWeight <= 32767, dst, dstClip, src, mx, my);
  } else {
    // The AVX2 vertical pass multiplies 16-bit row weights.
    ResampleVerticalFirst(avx2 && my.maxAbsWeight <= 32767, dst, dstClip, src, mx, my);
  }
}

}  // namespace

void KernelResampleVia(KernelPath path, ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                       const ArgbImage& src, const Rect& srcRect, const Kernel& kernel) {
  ResampleFast(path, dst, dstRect, dstClip, src, srcRect, kernel);
}

void KernelResample(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                    const ArgbImage& src, const Rect& srcRect, const Kernel& kernel) {
  ResampleFast(KernelPath::kAuto, dst, dstRect, dstClip, src, srcRect, kernel);
}

KernelResampler::KernelResampler() : kernel_(std::make_unique<BoxKernel>()) {}

void KernelResampler::Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                               const ArgbImage& src, const Rect& srcRect) const {
  KernelResample(dst, dstRect, dstClip, src, srcRect, *kernel_);
}

void KernelResampler::SetKernel(std::unique_ptr<Kernel> kernel) {
  if (!kernel || kernel.get() == kernel_.get()) {
    (void)kernel.release();  // the current kernel stays owned once
    return;
  }
  kernel_ = std::move(kernel);
}

}  // namespace tessane
