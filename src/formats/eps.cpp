#include "formats/eps.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TEPSGraphic, TTIFFGraphic)

void TEPSGraphic::LoadFromStream(TStream&) { FailInvalid("EPS"); }

}  // namespace tessane
