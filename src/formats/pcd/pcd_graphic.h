#pragma once

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// Kodak Photo-CD image packs (pcd): the 768 x 512 base image, converted from PhotoYCC to 24-bit
/// RGB and turned upright by the pack's orientation. Bad files fail with
/// "Cannot load image. Invalid or unexpected PCD image format.".
class PcdGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

/// One PhotoYCC sample (luma, two chroma) as red, green, blue, each clipped to 0..255.
void PhotoYccToRgb(uint8_t luma, uint8_t c1, uint8_t c2, uint8_t& red, uint8_t& green,
                   uint8_t& blue);

}  // namespace tessane
