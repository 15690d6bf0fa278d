#pragma once
// ZSoft PCX reader: 1, 2, 4 and 8 bits in one plane, 16 colours in four 1-bit planes, true
// colour in three (or four, with alpha) 8-bit planes; plain or run-length encoded.

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// A PCX file decoded at load time. A file whose first byte is neither 10 nor 205 loads as an
/// empty picture without error; a short header or short pixel data fails with "Stream read
/// error", an unsupported plane layout with "Invalid color format in PCX file.".
class PcxGraphic : public DecodeOnLoadGraphic {
 private:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
