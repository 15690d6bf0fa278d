#pragma once

#include "formats/verdel_graphic.h"

namespace tessane {

class TTargaGraphic : public TVerdelGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()
  void LoadFromStream(TStream& stream) override;
};

}  // namespace tessane
