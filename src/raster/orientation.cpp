#include "raster/orientation.h"

#include <algorithm>

namespace tessane {

void OrientBitmap(ArgbImage& bitmap, int orientation) {
  if (orientation < 2 || orientation > 8 || bitmap.IsEmpty()) return;
  const int32_t w = bitmap.Width();
  const int32_t h = bitmap.Height();
  const bool swap = OrientationSwapsSides(orientation);
  ArgbImage turned;
  turned.Resize(swap ? h : w, swap ? w : h);
  const int32_t tw = turned.Width();
  const int32_t th = turned.Height();
  for (int32_t y = 0; y < th; ++y) {
    Argb32* out = turned.Row(y);
    for (int32_t x = 0; x < tw; ++x) {
      // (sx, sy): the stored pixel that lands at (x, y) of the upright picture.
      int32_t sx = x, sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x, sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y, sy = x;
          break;
        case 6:
          sx = y, sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y, sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y, sy = x;
          break;
        default:
          break;
      }
      out[x] = bitmap.Row(sy)[sx];
    }
  }
  bitmap.Resize(tw, th);
  for (int32_t y = 0; y < th; ++y) std::copy(turned.Row(y), turned.Row(y) + tw, bitmap.Row(y));
}

}  // namespace tessane
