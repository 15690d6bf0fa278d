#pragma once

#include "formats/graphic.h"

namespace tessane {

class TIcon : public TGraphic {
 public:
  TESSANE_GRAPHIC_CLASS()
  void LoadFromStream(TStream& stream) override;
  int32_t Width() const override { return 0; }
  int32_t Height() const override { return 0; }
  void Draw(const TSurface&, const TRect&) override {}
};

}  // namespace tessane
