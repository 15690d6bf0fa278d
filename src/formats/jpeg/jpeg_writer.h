#pragma once
// The JPEG writer: a bitmap encoded as a baseline JFIF file through libjpeg.

#include "base/stream.h"

namespace tessane {

class DibImage;

struct JpegOptions {
  int quality = 75;  // the resize job's
};

/// Writes `bitmap` as a baseline JFIF file (floating-point DCT, 2 x 2 subsampled chroma, the
/// standard tables scaled for the quality); an empty bitmap writes nothing. Encoder errors
/// throw InvalidImageError "JPEG error #<code>[: <the library's words>]".
void EncodeJpeg(const DibImage& bitmap, const JpegOptions& options, ByteStream& out);

}  // namespace tessane
