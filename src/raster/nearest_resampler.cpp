#include "raster/nearest_resampler.h"

#include <cstring>
#include <vector>

#include "base/errors.h"

namespace tessane {

namespace {

// Source index of every destination index in [clipLo, clipHi): the left (top) edge of each
// destination pixel, scaled by SW / DW rounded to single precision, product taken in double.
std::vector<int32_t> NearestMap(int32_t dstLo, int32_t dstHi, int32_t clipLo, int32_t clipHi,
                                int32_t srcLo, int32_t srcHi) {
  const int32_t sw = srcHi - srcLo;
  const int32_t dw = dstHi - dstLo;
  std::vector<int32_t> map(static_cast<size_t>(clipHi - clipLo));
  if (dw > 1) {
    const double s = static_cast<float>(static_cast<double>(sw) / dw);
    for (size_t i = 0; i < map.size(); ++i) {
      const double offset = static_cast<double>(static_cast<int64_t>(i) + clipLo - dstLo);
      map[i] = static_cast<int32_t>(srcLo + offset * s);  // Trunc
    }
  } else {
    for (int32_t& v : map) v = (srcLo + srcHi - 1) / 2;
  }
  if (!map.empty() && (map.front() < srcLo || map.back() >= srcHi))
    throw AssertionFailedError("Assertion failure");
  return map;
}

}  // namespace

void NearestStretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                    const ArgbImage& src, const Rect& srcRect) {
  const Rect clip = IntersectRect(IntersectRect(dstClip, dst.Bounds()), dstRect);
  if (clip.IsEmpty() || dst.IsEmpty() || src.IsEmpty() || srcRect.IsEmpty()) return;
  if (srcRect.left < 0 || srcRect.top < 0 || srcRect.right > src.Width() ||
      srcRect.bottom > src.Height())
    throw Exception("Invalid SrcRect");
  if (srcRect.Width() == dstRect.Width() && srcRect.Height() == dstRect.Height()) {
    BlockCopy(dst, clip, src, srcRect.left + clip.left - dstRect.left,
              srcRect.top + clip.top - dstRect.top);
    return;
  }
  const std::vector<int32_t> columns =
      NearestMap(dstRect.left, dstRect.right, clip.left, clip.right, srcRect.left, srcRect.right);
  const std::vector<int32_t> rows =
      NearestMap(dstRect.top, dstRect.bottom, clip.top, clip.bottom, srcRect.top, srcRect.bottom);
  const size_t width = columns.size();
  int32_t previous = -1;
  for (size_t j = 0; j < rows.size(); ++j) {
    const int32_t y = clip.top + static_cast<int32_t>(j);
    Argb32* out = dst.Row(y) + clip.left;
    if (rows[j] == previous) {
      // The same source row again: repeat the row just written.
      std::memcpy(out, dst.Row(y - 1) + clip.left, width * sizeof(Argb32));
      continue;
    }
    previous = rows[j];
    const Argb32* in = src.Row(rows[j]);
    for (size_t i = 0; i < width; ++i) out[i] = in[columns[i]];
  }
}

void NearestResampler::Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                                const ArgbImage& src, const Rect& srcRect) const {
  NearestStretch(dst, dstRect, dstClip, src, srcRect);
}

}  // namespace tessane
