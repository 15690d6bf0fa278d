#pragma once
// TGIFGraphic and TPNGGraphic: registered for gif and png among the additional readers, but a
// later registration (TGIFImage, TPNGObject) always wins the lookup. They still load, through
// the main readers, and keep the result as a 32-bit bitmap.

#include "formats/verdel_graphic.h"

namespace tessane {

class TGIFGraphic : public TVerdelGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()

 protected:
  void Decode(TStream& stream) override;
};

class TPNGGraphic : public TVerdelGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()

 protected:
  void Decode(TStream& stream) override;
};

}  // namespace tessane
