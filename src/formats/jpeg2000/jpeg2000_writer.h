#pragma once
// The JPEG 2000 writer: a bitmap as a JP2 file through OpenJPEG.

#include <cstdint>
#include <vector>

#include "base/stream.h"

namespace tessane {

class DibImage;

/// The resize job's settings by default.
struct Jpeg2000Options {
  bool lossless = false;
  uint8_t quality = 90;  // 0 to 100, for lossy coding
  std::vector<uint8_t> icc;  // the pixels' ICC profile; empty: sRGB
};

/// Writes `bitmap` as a JP2 file (see Jpeg2000Graphic::SaveToStream); an empty bitmap writes
/// nothing, a failure writes nothing and throws Jpeg2000Error.
void EncodeJpeg2000(const DibImage& bitmap, const Jpeg2000Options& options, ByteStream& out);

}  // namespace tessane
