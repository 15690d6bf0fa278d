#pragma once
// LegacyGifGraphic and LegacyPngGraphic: registered for gif and png among the additional readers, but a
// later registration (GifGraphic, PngGraphic) always wins the lookup. They still load, through
// the main readers, and keep the result as a 32-bit bitmap.

#include "formats/decode_on_load_graphic.h"

namespace tessane {

class LegacyGifGraphic : public DecodeOnLoadGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()

 protected:
  void Decode(ByteStream& stream) override;
};

class LegacyPngGraphic : public DecodeOnLoadGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()

 protected:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
