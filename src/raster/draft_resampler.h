#pragma once
// Draft scaling: reductions average whole blocks of source pixels; enlargements go bilinear.

#include <cstddef>
#include <cstdint>

#include "raster/linear_resampler.h"

namespace tessane {

/// Per channel, the mean of a columns x rows block starting at `first` (rows `strideBytes`
/// apart) by reciprocal multiply: (S x (2^24 div n)) div 2^24 with S the channel sum and n the
/// pixel count, so three 255s give 254. Blocks of more than 65536 pixels, where that reciprocal
/// keeps too few bits (and reaches 0 beyond 2^24 pixels), divide S by n exactly.
Argb32 AverageBlock(int32_t columns, int32_t rows, const Argb32* first, ptrdiff_t strideBytes);

/// Enlarging in either direction: the kernel resampling with `kernel` for a source rectangle one
/// pixel wide or high, BilinearStretch otherwise. Reducing (or keeping) both sides: each
/// destination pixel averages a block of source pixels, blocks laid from the source rectangle's
/// top-left corner at 16.16 fixed-point boundaries.
void DraftStretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage& src,
                  const Rect& srcRect, const Kernel& kernel);

/// The resampler of StretchFilter 1.
class DraftResampler : public LinearResampler {
 public:
  const char* ClassName() const override { return "TDraftResampler"; }
  void Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage& src,
               const Rect& srcRect) const override;
};

}  // namespace tessane
