#pragma once

#include "formats/bitmap.h"

namespace tessane {

class TJpeg2000Bitmap : public TBitmap {
 public:
  TESSANE_GRAPHIC_CLASS()
  void LoadFromStream(TStream& stream) override;
};

}  // namespace tessane
