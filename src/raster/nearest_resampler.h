#pragma once
// Nearest-neighbour scaling: every destination pixel takes the source pixel under its top-left
// corner, unchanged.

#include "raster/resampler.h"

namespace tessane {

/// Scales srcRect of src onto dstRect of dst, writing dstClip ∩ dst's bounds ∩ dstRect. Column i
/// of dstRect takes source column Trunc(srcRect.Left + i x SW / DW) with SW / DW rounded to
/// single precision (the middle column when DW is 1); rows alike. Equal sizes copy the block.
/// A source rectangle outside src throws Exception "Invalid SrcRect".
void NearestStretch(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip,
                    const TBitmap32& src, const TRect& srcRect, TDrawMode drawMode);

/// The resampler of StretchFilter 0.
class TNearestResampler : public TCustomResampler {
 public:
  const char* ClassName() const override { return "TNearestResampler"; }
  std::unique_ptr<TCustomResampler> Clone() const override;
  void Stretch(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
               const TRect& srcRect, TDrawMode drawMode) const override;
};

}  // namespace tessane
