#include "formats/pcx.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TPCXGraphic, TVerdelGraphic)

void TPCXGraphic::LoadFromStream(TStream&) { FailInvalid("PCX"); }

}  // namespace tessane
