#pragma once
// Resampler: the base of every resampler. A resampler holds only its settings; the source and
// destination of a scaling are given to each call.

#include <memory>

#include "base/geometry.h"
#include "pixels/argb_image.h"
#include "pixels/row_source.h"

namespace tessane {

/// Scales one image's rectangle onto another's; subclasses hold only their settings.
class Resampler {
 public:
  virtual ~Resampler() = default;
  virtual const char* ClassName() const = 0;
  /// Scales srcRect of src onto dstRect of dst, writing exactly the pixels of dstClip (every
  /// pixel overwritten, alpha included). The caller (StretchCopy) has checked that dstClip lies
  /// inside dst and dstRect, that srcRect is non-empty and inside src, and that the two
  /// rectangles differ in size.
  virtual void Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                       const ArgbImage& src, const Rect& srcRect) const = 0;
  /// Scales the whole of src, read row by row, onto the whole of dst, with exactly the pixels
  /// Stretch gives for the whole bitmap. Returns false, before reading any row, where this
  /// resampler cannot work from rows: the caller then scales the whole bitmap instead. Errors of
  /// the source pass out.
  virtual bool StretchRows(ArgbImage& dst, RowSource& src) const {
    (void)dst;
    (void)src;
    return false;
  }

 protected:
  Resampler() = default;
  Resampler(const Resampler&) = default;
  Resampler& operator=(const Resampler&) = delete;
};

}  // namespace tessane
