#pragma once
// Bilinear scaling for enlargements and the triangle kernel for everything else.

#include <cstdint>
#include <memory>

#include "raster/kernels.h"
#include "raster/resampler.h"

namespace tessane {

/// Per channel: top = (c11 wx + c12 (256 - wx)) div 256 from the pixel at `pixel` and its right
/// neighbour, bottom likewise from `below` and its right neighbour, result =
/// (top wy + bottom (256 - wy)) div 256. Reads pixel[0..1] and below[0..1].
Argb32 Interpolate2x2(uint32_t weightX, uint32_t weightY, const Argb32* pixel,
                        const Argb32* below);

/// The same values as Interpolate2x2 for every input, computed on all four channels at once
/// (two channels per 32-bit word in 16-bit fields); BilinearStretch uses it.
Argb32 Interpolate2x2Packed(uint32_t weightX, uint32_t weightY, const Argb32* pixel,
                              const Argb32* below);

/// Bilinear sampling with pixel centres mapped onto pixel centres and 8-bit weights. The source
/// bitmap must be at least 2 x 2 pixels (it reads each sample's right and lower neighbour);
/// otherwise nothing is written.
void BilinearStretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                     const ArgbImage& src, const Rect& srcRect);

/// The resampler of the "Triangle" filter: BilinearStretch when enlarging both ways from at least
/// 2 x 2 pixels, otherwise the kernel resampling with its triangle kernel.
class LinearResampler : public Resampler {
 public:
  LinearResampler();
  const char* ClassName() const override { return "TLinearResampler"; }
  void Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage& src,
               const Rect& srcRect) const override;
  const LinearKernel& kernel() const { return kernel_; }

 private:
  LinearKernel kernel_;
};

}  // namespace tessane
