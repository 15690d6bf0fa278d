#pragma once
// The pixels an encoder with an alpha channel writes: any bitmap as rows of 32-bit $AARRGGBB
// words (in memory blue, green, red, alpha), and whether the alpha channel carries anything.

#include <cstdint>
#include <vector>

namespace tessane {

class DibImage;

struct OutputPixels {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;  // width x height, rows top-down without gaps
  bool has_alpha = false;      // some pixel is not fully opaque
};

/// The bitmap's pixels, alpha as ToColor32Row gives it. A 32-bit bitmap whose fourth byte is 0
/// everywhere counts as opaque: that byte is unused in such files, and the picture would
/// otherwise vanish.
OutputPixels PixelsForOutput(const DibImage& bitmap);

}  // namespace tessane
