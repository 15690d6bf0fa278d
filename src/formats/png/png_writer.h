#pragma once
// The PNG writer: a bitmap as a PNG file of our own chunk layout (see PngGraphic::Assign).

#include <cstdint>

#include "base/stream.h"
#include "formats/png/png_graphic.h"

namespace tessane {

class DibImage;

/// The resize job's settings by default.
struct PngOptions {
  uint8_t filters = PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp;  // kPngFilter* mask
  int compression_level = 8;                                               // zlib's 0 to 9
};

/// Writes `bitmap` as a PNG file (nothing for an empty bitmap).
void EncodePng(const DibImage& bitmap, const PngOptions& options, ByteStream& out);

}  // namespace tessane
