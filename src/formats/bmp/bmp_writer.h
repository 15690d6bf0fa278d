#pragma once
// Writer of Windows bitmap files: 40-byte info header, colour table for paletted bitmaps,
// rows bottom-up.

#include "base/stream.h"

namespace tessane {
class DibImage;

/// Writes `bitmap` as a bitmap file; an empty bitmap writes nothing.
void EncodeBmp(const DibImage& bitmap, ByteStream& stream);

}  // namespace tessane
