#include "formats/tiff.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TTIFFGraphic, TVerdelGraphic)

void TTIFFGraphic::LoadFromStream(TStream&) { FailInvalid("TIF/TIFF"); }

}  // namespace tessane
