#pragma once

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// Paint Shop Pro images (psp) of file version 3 (Paint Shop Pro 5) and later: the full-size
/// composite image when the file carries one, else the visible raster layers flattened in order
/// with their opacity and transparency masks. Channels may be stored plain, run-length encoded
/// or deflated. The result has 32 bits per pixel with alpha. Bad files fail with
/// "Cannot load image. Invalid or unexpected PSP image format.".
class PspGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
