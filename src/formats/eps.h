#pragma once

#include "formats/tiff.h"

namespace tessane {

class TEPSGraphic : public TTIFFGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()
  void LoadFromStream(TStream& stream) override;
};

}  // namespace tessane
