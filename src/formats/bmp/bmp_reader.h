#pragma once
// Reader of Windows bitmap files (core and info headers, 1-32 bits, bit fields, RLE4/RLE8) and of
// the bare device-independent bitmaps that icons and metafile records embed.

#include <cstddef>
#include <cstdint>

#include "base/stream.h"

namespace tessane {
class DibImage;

/// Loads a bitmap file from the stream's position to its end into `bitmap`. A 0-byte stream gives
/// an empty bitmap; anything that is not a valid bitmap throws InvalidImageError "Bitmap image is not
/// valid" and leaves `bitmap` as it was.
void ReadBmp(ByteStream& stream, DibImage& bitmap);

/// What ReadDib found besides the pixels.
struct DibLayout {
  /// Offset (from the start of the data) just past the stored pixel rows; an icon's AND mask
  /// starts here.
  size_t pixel_end = 0;
  /// Bits per pixel as stored.
  int bit_count = 0;
  /// A 32-bit image whose alpha bytes were not all zero (all-zero alpha is read as opaque).
  bool has_alpha = false;
};

/// Decodes a device-independent bitmap without file header: information header, colour masks,
/// colour table and pixels follow each other from data[0]. With `iconImage` the header's height
/// counts the icon's AND mask rows as well, so only half of it is the picture. Throws
/// InvalidImageError "Bitmap image is not valid" and leaves `bitmap` as it was on failure.
DibLayout ReadDib(const uint8_t* data, size_t size, DibImage& bitmap, bool iconImage = false);

}  // namespace tessane
