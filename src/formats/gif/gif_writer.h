#pragma once
// The GIF writer: a bitmap as a one-frame GIF file, reduced to an octree palette.

#include <cstdint>

#include "base/stream.h"

namespace tessane {

class DibImage;

struct GifOptions {
  uint8_t color_reduction = 8;  // the resize job's; see GifGraphic::SetColorReduction
};

/// Writes `bitmap` as a one-frame GIF file (a file without image for an empty bitmap).
void EncodeGif(const DibImage& bitmap, const GifOptions& options, ByteStream& out);

}  // namespace tessane
