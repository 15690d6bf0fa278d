#include "raster/kernel_resampler.h"

// The AVX2 passes exist on x86-64 builds with the vector paths on; elsewhere, and on processors
// without AVX2, the portable loops here give the same pixels.
#if TESSANE_X86_SIMD
#include "raster/kernel_passes_avx2.h"
#define TESSANE_KERNEL_AVX2 1
#else
#define TESSANE_KERNEL_AVX2 0
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "base/cancel.h"

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
  int32_t lo = mapX.front().front().source_index, hi = lo;
  for (const Cluster& cluster : mapX)
    for (const ClusterEntry& e : cluster) {
      lo = std::min(lo, e.source_index);
      hi = std::max(hi, e.source_index);
    }
  const size_t span = static_cast<size_t>(hi - lo + 1);
  std::vector<int64_t> sums(span * 4);
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    for (const ClusterEntry& e : mapY[static_cast<size_t>(y - clip.top)]) {
      const uint8_t* p = RowBytes(src, e.source_index) + static_cast<size_t>(lo) * 4;
      for (size_t t = 0; t < span * 4; ++t) sums[t] += int64_t{e.weight} * p[t];
    }
    Argb32* out = dst.Row(y);
    for (int32_t i = clip.left; i < clip.right; ++i) {
      int64_t h[4] = {0, 0, 0, 0};
      for (const ClusterEntry& e : mapX[static_cast<size_t>(i - clip.left)]) {
        const int64_t* v = &sums[static_cast<size_t>(e.source_index - lo) * 4];
        for (int c = 0; c < 4; ++c) h[c] += int64_t{e.weight} * v[c];
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
    lo = table.front().front().source_index;
    hi = lo;
    for (size_t i = 0; i < n; ++i) {
      const Cluster& cluster = table[i];
      int32_t first = cluster.front().source_index, last = first;
      for (const ClusterEntry& e : cluster) {
        first = std::min(first, e.source_index);
        last = std::max(last, e.source_index);
      }
      const size_t base = weights.size();
      weights.resize(base + static_cast<size_t>(last - first + 1), 0);
      int64_t absSum = 0;
      for (const ClusterEntry& e : cluster) {
        weights[base + static_cast<size_t>(e.source_index - first)] += e.weight;
        absSum += std::abs(int64_t{e.weight});
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

#if TESSANE_KERNEL_AVX2
  avx2::Runs<int32_t> Pairs() const {
    return {start.data(), count.data(), offsetPairs8.data(), pairs8.data()};
  }
  avx2::Runs<int16_t> Runs16() const {
    return {start.data(), count.data(), offset16.data(), weights16.data()};
  }
#endif

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

// Source pixels one strip's vertical pass may cover: the rows of a cluster times this many
// columns stay in the second-level cache while consecutive destination rows reuse them.
constexpr size_t kStripBytes = size_t{192} << 10;

void ResampleVerticalFirst(bool useAvx2, ArgbImage& dst, const Rect& clip, const ArgbImage& src,
                           DenseTable& mx, const DenseTable& my) {
  if (useAvx2) mx.SpreadPairs();
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
    // One pixel of zero sums after the span for the AVX2 pass's odd runs.
    sums.assign(span * 4 + 4, 0);
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
      ThrowIfCancelled();
      const size_t r = static_cast<size_t>(y - clip.top);
      Argb32* out = dst.Row(y) + clip.left;
      if (r > 0 && my.SameCluster(r, r - 1)) {
        std::memcpy(out + first, dst.Row(y - 1) + clip.left + first,
                    (last - first) * sizeof(Argb32));
        continue;
      }
      const int32_t* w = my.weights.data() + my.offset[r];
      const int32_t n = my.count[r];
#if TESSANE_KERNEL_AVX2
      if (useAvx2) {
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
        avx2::VerticalPairs(rowsA.data(), rowsB.data(), pairWeights.data(), pairWeights.size(),
                            span, sums.data());
        avx2::HorizontalPairs(mx.Pairs(), sums.data(), lo, first, last, out);
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

void CombinePortable(const int32_t* const* rows, const int32_t* w, int32_t n, size_t columns,
                     Argb32* out) {
  for (size_t i = 0; i < columns; ++i) {
    int32_t h[4] = {0, 0, 0, 0};
    for (int32_t m = 0; m < n; ++m)
      for (int c = 0; c < 4; ++c) h[c] += w[m] * rows[m][4 * i + c];
    out[i] = PackSums(h);
  }
}

bool CpuHasAvx2() {
#if TESSANE_KERNEL_AVX2
  return avx2::CpuHasAvx2();
#else
  return false;
#endif
}

// Bytes the ring of per-row sums may take before the vertical-first order is used instead.
constexpr size_t kMaxRingBytes = size_t{64} << 20;

bool RingFits(const DenseTable& my, size_t columns) {
  return static_cast<size_t>(my.maxCount) * columns * 4 * sizeof(int32_t) <= kMaxRingBytes;
}

// rowAt(k) gives source row k's bytes; rows are first asked for in increasing order, and a
// cluster reaches back at most WindowDepth(my) rows behind the newest row asked for.
template <typename RowAt>
void ResampleHorizontalFirst([[maybe_unused]] bool useAvx2, ArgbImage& dst, const Rect& clip,
                             RowAt rowAt, const DenseTable& mx, const DenseTable& my) {
  const size_t columns = static_cast<size_t>(clip.Width());
  const size_t slots = static_cast<size_t>(my.maxCount);
  const size_t slotSize = columns * 4;
  std::vector<int32_t> ring(slots * slotSize);
  std::vector<int32_t> held(slots, -1);  // source row in each slot
  const size_t span = static_cast<size_t>(mx.hi - mx.lo + 1);
  std::vector<uint8_t> padded(useAvx2 ? (span + 4) * 4 : 0, 0);
  std::vector<const int32_t*> rows(slots);
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    ThrowIfCancelled();
    const size_t r = static_cast<size_t>(y - clip.top);
    Argb32* out = dst.Row(y) + clip.left;
    if (r > 0 && my.SameCluster(r, r - 1)) {
      std::memcpy(out, dst.Row(y - 1) + clip.left, columns * sizeof(Argb32));
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
        if (useAvx2) {
          std::memcpy(padded.data(), rowAt(k) + static_cast<size_t>(mx.lo) * 4, span * 4);
          avx2::RowSums(padded.data(), mx.Runs16(), mx.lo, columns, sums);
        } else {
          RowSumsPortable(rowAt(k), mx, columns, sums);
        }
#else
        RowSumsPortable(rowAt(k), mx, columns, sums);
#endif
        held[slot] = k;
      }
      rows[static_cast<size_t>(m)] = sums;
    }
    const int32_t* w = my.weights.data() + my.offset[r];
#if TESSANE_KERNEL_AVX2
    if (useAvx2) {
      const size_t done = avx2::Combine(rows.data(), w, n, columns, out);
      if (done == columns) continue;
      // The odd last column: CombinePortable counts columns from its rows' starts.
      for (int32_t m = 0; m < n; ++m) rows[static_cast<size_t>(m)] += 4 * done;
      CombinePortable(rows.data(), w, n, columns - done, out + done);
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
      cluster[(cluster.size() - 1) / 2].weight -= count;
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
  Axis& axisX = AxisFor(dstRect.left, dstRect.right, dstClip.left, dstClip.right, srcRect.left,
                         srcRect.right, kernel, nullptr);
  Axis& axisY = AxisFor(dstRect.top, dstRect.bottom, dstClip.top, dstClip.bottom, srcRect.top,
                         srcRect.bottom, kernel, &axisX);
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
  bool useAvx2, horizontalFirst;
  if (path == KernelPath::kAuto) {
    useAvx2 = CpuHasAvx2();
    horizontalFirst = HorizontalFirstIsCheaper(mx, my, columns);
  } else {
    useAvx2 = path == KernelPath::kAvx2VerticalFirst || path == KernelPath::kAvx2HorizontalFirst;
    horizontalFirst =
        path == KernelPath::kPortableHorizontalFirst || path == KernelPath::kAvx2HorizontalFirst;
  }
  useAvx2 = useAvx2 && CpuHasAvx2();
  if (horizontalFirst && RingFits(my, columns)) {
    // The AVX2 row sums multiply 16-bit column weights.
    ResampleHorizontalFirst(
        useAvx2 && mx.maxAbsWeight <= 32767, dst, dstClip,
        [&src](int32_t k) { return RowBytes(src, k); }, mx, my);
  } else {
    // The AVX2 vertical pass multiplies 16-bit row weights.
    ResampleVerticalFirst(useAvx2 && my.maxAbsWeight <= 32767, dst, dstClip, src, mx, my);
  }
}

// How far behind the newest source row the horizontal-first order may reach: a cluster needs
// rows from its start on, and every row up to the end of the clusters before it has been read.
size_t WindowDepth(const DenseTable& my) {
  int32_t newest = -1;
  int32_t depth = 1;
  for (size_t r = 0; r < my.count.size(); ++r) {
    newest = std::max(newest, my.start[r] + my.count[r] - 1);
    depth = std::max(depth, newest - my.start[r] + 1);
  }
  return static_cast<size_t>(depth);
}

// The band of source rows the horizontal-first order still needs, copied out of a RowSource
// into a ring of `depth` rows.
class RowWindow {
 public:
  RowWindow(RowSource& source, size_t depth)
      : source_(source),
        width_(static_cast<size_t>(source.Width())),
        depth_(depth),
        rows_(depth * width_) {}

  const uint8_t* Row(int32_t k) {
    for (; newest_ < k; ++newest_) {
      ThrowIfCancelled();  // the rows come from the decoder: a large picture is read here
      const Argb32* row = source_.NextRow(newest_ + 1);
      std::memcpy(Slot(newest_ + 1), row, width_ * sizeof(Argb32));
    }
    return reinterpret_cast<const uint8_t*>(Slot(k));
  }

 private:
  Argb32* Slot(int32_t k) { return rows_.data() + static_cast<size_t>(k) % depth_ * width_; }

  RowSource& source_;
  const size_t width_;
  const size_t depth_;
  std::vector<Argb32> rows_;
  int32_t newest_ = -1;
};

}  // namespace

bool KernelResampler::StretchRows(ArgbImage& dst, RowSource& src) const {
  if (dst.IsEmpty() || src.Width() <= 0 || src.Height() <= 0) return false;
  const Rect dstRect = dst.Bounds();
  const Rect srcRect{0, 0, src.Width(), src.Height()};
  Axis& axisX = AxisFor(dstRect.left, dstRect.right, dstRect.left, dstRect.right, srcRect.left,
                         srcRect.right, *kernel_, nullptr);
  Axis& axisY = AxisFor(dstRect.top, dstRect.bottom, dstRect.top, dstRect.bottom, srcRect.top,
                         srcRect.bottom, *kernel_, &axisX);
  if (!axisX.dense || !axisY.dense) return false;
  const DenseTable& mx = *axisX.dense;
  const DenseTable& my = *axisY.dense;
  const size_t columns = static_cast<size_t>(dstRect.Width());
  // The same conditions under which Stretch would sum in 32 bits along rows first.
  if (255 * mx.maxAbsSum * my.maxAbsSum >= (int64_t{1} << 31) || !RingFits(my, columns))
    return false;
  RowWindow window(src, WindowDepth(my));
  ResampleHorizontalFirst(
      CpuHasAvx2() && mx.maxAbsWeight <= 32767, dst, dstRect,
      [&window](int32_t k) { return window.Row(k); }, mx, my);
  return true;
}

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
