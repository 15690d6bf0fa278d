#pragma once
// Netpbm reader: bitmaps, grey maps and pixel maps in their text (P1-P3) and binary (P4-P6)
// forms, and the arbitrary-map form P7 with 1 to 4 channels.

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// A Netpbm file decoded at load time (its first image). Bitmaps become a 1-bit bitmap (0 white,
/// 1 black), grey maps an 8-bit grey bitmap, pixel maps 24 bits, maps with alpha 32 bits.
/// Samples are scaled to 8 bits as (v * 255 + maxval / 2) / maxval. Short data fails with
/// "Stream read error", anything else unreadable with the "PBM, PGM or PPM" message.
class PpmGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
