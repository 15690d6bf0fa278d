#include "raster/draft_resampler.h"

#include <vector>

#include "raster/kernel_resampler.h"

#include "base/errors.h"

namespace tessane {

namespace {

// The reciprocal mean of one channel; see AverageBlock.
inline uint32_t BlockMean(uint64_t sum, uint64_t pixels) {
  if (pixels > 65536) return static_cast<uint32_t>(sum / pixels);
  const uint64_t d = (uint64_t{1} << 24) / pixels;
  return static_cast<uint32_t>(((sum * d) & 0xFFFFFFFFu) >> 24);
}

inline Argb32 PackMeans(const uint64_t sums[4], uint64_t pixels) {
  return (BlockMean(sums[3], pixels) << 24) | (BlockMean(sums[2], pixels) << 16) |
         (BlockMean(sums[1], pixels) << 8) | BlockMean(sums[0], pixels);
}

// 16.16 block boundary k: Trunc(k x step / 65536).
inline int64_t Boundary(int64_t k, int64_t step) {
  return (k * step) >> 16;
}

}  // namespace

Argb32 AverageBlock(int32_t columns, int32_t rows, const Argb32* first, ptrdiff_t strideBytes) {
  uint64_t sums[4] = {0, 0, 0, 0};
  const auto* row = reinterpret_cast<const uint8_t*>(first);
  for (int32_t y = 0; y < rows; ++y, row += strideBytes)
    for (int32_t x = 0; x < columns; ++x)
      for (int c = 0; c < 4; ++c) sums[c] += row[4 * x + c];
  return PackMeans(sums, static_cast<uint64_t>(columns) * static_cast<uint64_t>(rows));
}

void DraftStretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage& src,
                  const Rect& srcRect, const Kernel& kernel) {
  const Rect clip = IntersectRect(IntersectRect(dstClip, dst.Bounds()), dstRect);
  if (clip.IsEmpty() || dst.IsEmpty() || src.IsEmpty() || srcRect.IsEmpty()) return;
  const int32_t sw = srcRect.Width(), sh = srcRect.Height();
  const int32_t dw = dstRect.Width(), dh = dstRect.Height();
  if (dw > sw || dh > sh) {
    if (sw < 2 || sh < 2)
      KernelResample(dst, dstRect, clip, src, srcRect, kernel);
    else
      BilinearStretch(dst, dstRect, clip, src, srcRect);
    return;
  }
  const double fx = static_cast<float>(static_cast<double>(sw) / dw);
  const double fy = static_cast<float>(static_cast<double>(sh) / dh);
  const int64_t x0 = srcRect.left + static_cast<int64_t>((clip.left - dstRect.left) * fx);
  const int64_t y0 = srcRect.top + static_cast<int64_t>((clip.top - dstRect.top) * fy);
  const int64_t sx = static_cast<int64_t>(65536.0 * fx);
  const int64_t sy = static_cast<int64_t>(65536.0 * fy);
  const int32_t cw = clip.Width(), ch = clip.Height();
  // Rounding could only push the last block past the rectangle for sides beyond the limits;
  // refuse rather than read outside.
  if (x0 + Boundary(cw, sx) > srcRect.right || y0 + Boundary(ch, sy) > srcRect.bottom)
    throw AssertionFailedError("Assertion failure");

  // Per destination row, sum the block's rows per source column first, then each block's
  // columns: the same integer sums AverageBlock forms, with every pixel read once.
  const int64_t span = Boundary(cw, sx);
  std::vector<uint32_t> columnSums(static_cast<size_t>(span) * 4);
  for (int32_t m = 0; m < ch; ++m) {
    const int64_t top = y0 + Boundary(m, sy), bottom = y0 + Boundary(m + 1, sy);
    std::fill(columnSums.begin(), columnSums.end(), 0u);
    for (int64_t y = top; y < bottom; ++y) {
      const auto* p = reinterpret_cast<const uint8_t*>(src.Row(static_cast<int32_t>(y)) + x0);
      for (size_t t = 0; t < columnSums.size(); ++t) columnSums[t] += p[t];
    }
    Argb32* out = dst.Row(clip.top + m) + clip.left;
    const uint64_t blockRows = static_cast<uint64_t>(bottom - top);
    for (int32_t k = 0; k < cw; ++k) {
      const int64_t left = Boundary(k, sx), right = Boundary(k + 1, sx);
      uint64_t sums[4] = {0, 0, 0, 0};
      for (int64_t x = left; x < right; ++x)
        for (int c = 0; c < 4; ++c) sums[c] += columnSums[static_cast<size_t>(4 * x + c)];
      out[k] = PackMeans(sums, static_cast<uint64_t>(right - left) * blockRows);
    }
  }
}

void DraftResampler::Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                              const ArgbImage& src, const Rect& srcRect) const {
  DraftStretch(dst, dstRect, dstClip, src, srcRect, kernel());
}

}  // namespace tessane
