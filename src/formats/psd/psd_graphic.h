#pragma once

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// Photoshop images (psd, pdd; also the large-document variant): the merged image of bitmap,
/// grey, duotone, indexed, RGB, CMYK and Lab files of 1, 8 or 16 bits per sample, stored raw or
/// PackBits-compressed. The result has 1 bit (bitmap), 8 bits with a colour table (grey,
/// indexed) or 24 bits per pixel; 32 bits when the merged transparency is stored. Bad files fail
/// with "Cannot load image. Invalid or unexpected PSD or PDD image format.".
class PsdGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
