#pragma once
// The stretch transfer: checks and clips a request, copies equal sizes unchanged and hands
// every other size to a resampler (raster/filters.h makes the one a filter names).

#include <cstdint>
#include <memory>

#include "base/errors.h"
#include "base/geometry.h"
#include "pixels/argb_image.h"
#include "raster/resampler.h"

namespace tessane {

TESSANE_DECLARE_ERROR(BitmapError, Exception)
TESSANE_DECLARE_ERROR(SourceInvalidError, BitmapError)

/// Copies or stretches srcRect of src onto dstRect of dst, writing only inside
/// dstClip and dst's bounds. Nil images throw BitmapError ("Destination bitmap is nil",
/// "Source bitmap is nil"); a non-empty srcRect reaching outside src throws
/// SourceInvalidError "Source rectangle is invalid". Both are raised before any write. An
/// empty source, destination, srcRect or clip writes nothing. Equal rectangle sizes copy the
/// pixels unchanged; other sizes go to resampler.Stretch.
void StretchCopy(ArgbImage* dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage* src,
                 const Rect& srcRect, const Resampler& resampler);

/// StretchCopy of srcRect of src onto dstRect of the whole of dst.
void StretchTo(const ArgbImage& src, ArgbImage& dst, const Rect& dstRect, const Rect& srcRect,
               const Resampler& resampler);

/// Copies the block of dstClip's size whose top-left source pixel is (srcX, srcY) into dstClip.
/// The caller keeps both blocks inside their images.
void BlockCopy(ArgbImage& dst, const Rect& dstClip, const ArgbImage& src, int32_t srcX,
               int32_t srcY);

}  // namespace tessane
