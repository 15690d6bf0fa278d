#include "raster/stretch.h"

#include <cstring>

#include "raster/draft_resampler.h"
#include "raster/kernel_resampler.h"
#include "raster/linear_resampler.h"
#include "raster/nearest_resampler.h"

namespace tessane {

void BlockCopy(ArgbImage& dst, const Rect& dstClip, const ArgbImage& src, int32_t srcX,
               int32_t srcY) {
  if (dstClip.IsEmpty()) return;
  const size_t bytes = static_cast<size_t>(dstClip.Width()) * sizeof(Argb32);
  const int32_t rows = dstClip.Height();
  // Within one image the blocks may overlap: walk rows in the direction that reads each row
  // before it is overwritten (memmove handles the overlap inside a row).
  const bool upward = &dst == &src && srcY < dstClip.top;
  for (int32_t n = 0; n < rows; ++n) {
    const int32_t r = upward ? rows - 1 - n : n;
    std::memmove(dst.Row(dstClip.top + r) + dstClip.left, src.Row(srcY + r) + srcX, bytes);
  }
}

void StretchCopy(ArgbImage* dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage* src,
                 const Rect& srcRect, const Resampler& resampler) {
  if (dst == nullptr) throw BitmapError("Destination bitmap is nil");
  if (src == nullptr) throw BitmapError("Source bitmap is nil");
  if (src->IsEmpty() || dst->IsEmpty()) return;
  if (srcRect.IsEmpty()) return;
  if (srcRect.left < 0 || srcRect.right > src->Width() || srcRect.top < 0 ||
      srcRect.bottom > src->Height())
    throw SourceInvalidError("Source rectangle is invalid");
  const Rect clip = IntersectRect(IntersectRect(dstClip, dst->Bounds()), dstRect);
  if (clip.IsEmpty()) return;
  if (srcRect.Width() == dstRect.Width() && srcRect.Height() == dstRect.Height())
    BlockCopy(*dst, clip, *src, srcRect.left + clip.left - dstRect.left,
              srcRect.top + clip.top - dstRect.top);
  else
    resampler.Stretch(*dst, dstRect, clip, *src, srcRect);
}

void StretchTo(const ArgbImage& src, ArgbImage& dst, const Rect& dstRect, const Rect& srcRect,
               const Resampler& resampler) {
  StretchCopy(&dst, dstRect, dst.Bounds(), &src, srcRect, resampler);
}

}  // namespace tessane
