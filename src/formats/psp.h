#pragma once

#include "formats/verdel_graphic.h"

namespace tessane {

class TPSPGraphic : public TVerdelGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()
  void LoadFromStream(TStream& stream) override;
};

}  // namespace tessane
