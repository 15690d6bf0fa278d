#pragma once
// Turning pictures upright by their EXIF/TIFF orientation value (1 to 8).

#include "pixels/argb_image.h"

namespace tessane {

/// True for the orientations (5 to 8) whose upright picture has width and height swapped.
inline bool OrientationSwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

/// Turns a bitmap stored with this orientation upright: 2 mirrors left-right, 3 turns by a half,
/// 4 mirrors top-bottom, 5 transposes, 6 turns a quarter clockwise, 7 transposes across the other
/// diagonal, 8 turns a quarter counter-clockwise. Other values leave the bitmap as it is.
void OrientBitmap(ArgbImage& bitmap, int orientation);

}  // namespace tessane
