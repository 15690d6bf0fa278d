#pragma once
// Nearest-neighbour scaling: every destination pixel takes the source pixel under its top-left
// corner, unchanged.

#include "raster/stretch.h"

namespace tessane {

/// Scales srcRect of src onto dstRect of dst, writing dstClip ∩ dst's bounds ∩ dstRect. Column i
/// of dstRect takes source column Trunc(srcRect.left + i x SW / DW) with SW / DW rounded to
/// single precision (the middle column when DW is 1); rows alike. Equal sizes copy the block.
/// A source rectangle outside src throws Exception "Invalid SrcRect".
void NearestStretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                    const ArgbImage& src, const Rect& srcRect);

/// The resampler of the "None" filter.
class NearestResampler : public Resampler {
 public:
  const char* ClassName() const override { return "TNearestResampler"; }
  void Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage& src,
               const Rect& srcRect) const override;
};

}  // namespace tessane
