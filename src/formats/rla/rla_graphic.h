#pragma once

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// Alias/Wavefront run-length images (rla, rpf). Colour channels of 1 to 16 bits become 24 bits
/// per pixel (one colour channel: 8 bits with a grey ramp); a matte channel makes the picture
/// 32 bits per pixel with the matte as alpha. Bad or damaged files fail with
/// "Cannot load image. Invalid or unexpected RLA image format.".
class RlaGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
