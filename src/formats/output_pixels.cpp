#include "formats/output_pixels.h"

#include "formats/bmp/dib_image.h"

namespace tessane {

OutputPixels PixelsForOutput(const DibImage& bitmap) {
  OutputPixels out;
  out.width = bitmap.Width();
  out.height = bitmap.Height();
  if (out.width <= 0 || out.height <= 0) return out;
  const size_t width = static_cast<size_t>(out.width);
  out.argb.resize(width * static_cast<size_t>(out.height));
  for (int32_t y = 0; y < out.height; ++y) bitmap.ToColor32Row(y, out.argb.data() + y * width);
  bool all_clear = true;
  for (const uint32_t pixel : out.argb) {
    const uint32_t alpha = pixel >> 24;
    if (alpha != 0) all_clear = false;
    if (alpha != 255) out.has_alpha = true;
  }
  if (all_clear) {
    for (uint32_t& pixel : out.argb) pixel |= 0xFF000000u;
    out.has_alpha = false;
  }
  return out;
}

}  // namespace tessane
