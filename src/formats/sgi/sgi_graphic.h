#pragma once
// SGI image reader: plain or run-length encoded, 8 or 16 bits per channel, 1 to 4 channels.

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// An SGI file decoded at load time. One channel becomes an 8-bit grey bitmap, three a 24-bit
/// bitmap, two (grey and alpha) and four a 32-bit bitmap with alpha; 16-bit channels are
/// scaled to 8 bits. Short data fails with "Stream read error", anything else unreadable with
/// "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.".
class SgiGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
