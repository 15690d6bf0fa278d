#pragma once
// Truevision Targa reader: colour-mapped, true-colour and grey images, plain or run-length
// encoded, with 8, 15/16, 24 or 32 bits per pixel.

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// A Targa file decoded at load time. 8-bit pixels become an 8-bit bitmap (colour map or grey
/// ramp), 15/16-bit pixels a 15-bit bitmap, 24 and 32 bits the same depth. Short data fails
/// with "Stream read error", other pixel sizes with "Sample count per pixel does not
/// correspond to the given color scheme.", anything else unreadable with the Targa message.
class TgaGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
