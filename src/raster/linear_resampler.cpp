#include "raster/linear_resampler.h"

#include <cmath>
#include <vector>

#include "raster/kernel_resampler.h"

namespace tessane {

namespace {

// (a w + b (256 - w)) div 256 for all four channels at once: blue/red and green/alpha each sit
// in 16-bit fields, and 255 x 256 fits a field, so nothing carries between channels.
inline Argb32 Lerp(Argb32 a, Argb32 b, uint32_t w) {
  constexpr uint32_t kMask = 0x00FF00FF;
  const uint32_t rb = (((a & kMask) * w + (b & kMask) * (256 - w)) >> 8) & kMask;
  const uint32_t ga = ((((a >> 8) & kMask) * w + ((b >> 8) & kMask) * (256 - w)) >> 8) & kMask;
  return rb | (ga << 8);
}

struct Tap {
  int32_t pos;
  uint32_t weight;  // of the pixel at pos; pos + 1 gets 256 - weight
};

// Pixel centres onto pixel centres; the clamp uses the whole source bitmap (srcSize), the last
// source index of the rectangle is read as a right-hand neighbour with full weight.
std::vector<Tap> BilinearMap(int32_t dstLo, int32_t dstHi, int32_t clipLo, int32_t clipHi,
                             int32_t srcLo, int32_t srcHi, int32_t srcSize) {
  const double s = static_cast<float>(static_cast<double>(srcHi - srcLo) / (dstHi - dstLo));
  const float maxPos = static_cast<float>(srcSize - 1);
  std::vector<Tap> map(static_cast<size_t>(clipHi - clipLo));
  for (size_t i = 0; i < map.size(); ++i) {
    const double offset = static_cast<double>(static_cast<int64_t>(i) + clipLo - dstLo);
    float f = static_cast<float>((offset + 0.5) * s + (srcLo - 0.5));
    if (f < 0.0f)
      f = 0.0f;
    else if (f > maxPos)
      f = maxPos;
    const float frac = f - std::trunc(f);
    map[i].pos = static_cast<int32_t>(std::floor(f));
    map[i].weight = 256 - static_cast<uint32_t>(std::nearbyint(double{frac} * 256.0));
  }
  for (size_t i = map.size(); i-- > 0 && map[i].pos == srcHi - 1;) {
    map[i].pos -= 1;
    map[i].weight = 0;
  }
  // pos + 1 is always read; keep it inside the bitmap whatever rounding did.
  for (Tap& t : map)
    if (t.pos > srcSize - 2) {
      t.pos = srcSize - 2;
      t.weight = 0;
    }
  return map;
}

}  // namespace

Argb32 Interpolate2x2(uint32_t weightX, uint32_t weightY, const Argb32* pixel,
                        const Argb32* below) {
  Argb32 result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t c11 = (pixel[0] >> shift) & 0xFF, c12 = (pixel[1] >> shift) & 0xFF;
    const uint32_t c21 = (below[0] >> shift) & 0xFF, c22 = (below[1] >> shift) & 0xFF;
    const uint32_t top = (c11 * weightX + c12 * (256 - weightX)) / 256;
    const uint32_t bottom = (c21 * weightX + c22 * (256 - weightX)) / 256;
    result |= ((top * weightY + bottom * (256 - weightY)) / 256) << shift;
  }
  return result;
}

Argb32 Interpolate2x2Packed(uint32_t weightX, uint32_t weightY, const Argb32* pixel,
                              const Argb32* below) {
  return Lerp(Lerp(pixel[0], pixel[1], weightX), Lerp(below[0], below[1], weightX), weightY);
}

void BilinearStretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                     const ArgbImage& src, const Rect& srcRect) {
  const Rect clip = IntersectRect(IntersectRect(dstClip, dst.Bounds()), dstRect);
  if (clip.IsEmpty() || dst.IsEmpty() || src.IsEmpty() || srcRect.IsEmpty()) return;
  if (src.Width() < 2 || src.Height() < 2) return;
  const std::vector<Tap> columns = BilinearMap(dstRect.left, dstRect.right, clip.left, clip.right,
                                               srcRect.left, srcRect.right, src.Width());
  const std::vector<Tap> rows = BilinearMap(dstRect.top, dstRect.bottom, clip.top, clip.bottom,
                                            srcRect.top, srcRect.bottom, src.Height());
  // Interpolate2x2 blends each row pair horizontally first and then vertically, so the
  // horizontal blends of a source row can be kept while consecutive destination rows reuse it.
  const size_t width = columns.size();
  std::vector<Argb32> upper(width), lower(width);
  int32_t upperRow = -1, lowerRow = -1;
  auto blendRow = [&](int32_t y, std::vector<Argb32>& into) {
    const Argb32* in = src.Row(y);
    for (size_t i = 0; i < width; ++i) {
      const int32_t x = columns[i].pos;
      into[i] = Lerp(in[x], in[x + 1], columns[i].weight);
    }
  };
  for (size_t j = 0; j < rows.size(); ++j) {
    const int32_t y = rows[j].pos;
    if (y != upperRow) {
      if (y == lowerRow) {
        std::swap(upper, lower);
      } else {
        blendRow(y, upper);
      }
      upperRow = y;
      blendRow(y + 1, lower);
      lowerRow = y + 1;
    }
    const uint32_t wy = rows[j].weight;
    Argb32* out = dst.Row(clip.top + static_cast<int32_t>(j)) + clip.left;
    for (size_t i = 0; i < width; ++i) out[i] = Lerp(upper[i], lower[i], wy);
  }
}

LinearResampler::LinearResampler() = default;

void LinearResampler::Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                               const ArgbImage& src, const Rect& srcRect) const {
  const float sw = static_cast<float>(srcRect.Width()), sh = static_cast<float>(srcRect.Height());
  const float dw = static_cast<float>(dstRect.Width()), dh = static_cast<float>(dstRect.Height());
  if (dw > sw && dh > sh && sw > 1 && sh > 1)
    BilinearStretch(dst, dstRect, dstClip, src, srcRect);
  else
    KernelResample(dst, dstRect, dstClip, src, srcRect, kernel_);
}

}  // namespace tessane
