#pragma once
// Reader of Windows bitmap files (core and info headers, 1-32 bits, bit fields, RLE4/RLE8).

#include "base/stream.h"

namespace tessane {
class TBitmap;

/// Loads a bitmap file into `bitmap`. A 0-byte stream gives an empty bitmap; anything that is not
/// a valid bitmap throws EInvalidGraphic "Bitmap image is not valid".
void ReadBmp(TStream& stream, TBitmap& bitmap);

}  // namespace tessane
