#pragma once

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// Autodesk Animator cels and pictures (cel, pic): 8 bits per pixel with a colour table. Reads
/// the Animator layout (32-byte header with magic 0x9119, 768-byte colour table of 6-bit values,
/// raw pixels) and the Animator Pro layout (a one-frame flic: the first frame's colour and pixel
/// chunks). Bad files fail with "Cannot load image. Invalid or unexpected Autodesk image format.".
class AutodeskGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
  void DecodeCel(ByteStream& stream, const uint8_t* header);
  void DecodeFlic(ByteStream& stream, int64_t start, const uint8_t* header);
};

}  // namespace tessane
