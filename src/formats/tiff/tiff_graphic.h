#pragma once
// TIFF reader (through libtiff): the first image of the file, in every layout libtiff reads.

#include <cstddef>
#include <cstdint>

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// A TIFF file decoded at load time. Bilevel, grey and palette images keep their indices (1, 4
/// or 8 bits with a colour table, deeper grey scaled to 8 bits); everything else becomes 24
/// bits, or 32 bits with its alpha (unassociated) when the file has one. Rows keep their stored
/// order: the Orientation tag is not applied (tessane-cli's --auto-orient does that). Any
/// failure: "Cannot load image. Invalid or unexpected TIF/TIFF image format.".
class TiffGraphic : public DecodeOnLoadGraphic {
 protected:
  void Decode(ByteStream& stream) override;
  /// Decodes the TIFF held in data[0, size) into this bitmap; failures name `label`.
  void DecodeTiff(const uint8_t* data, size_t size, const char* label);
};

}  // namespace tessane
