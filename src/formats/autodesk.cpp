#include "formats/autodesk.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TAutodeskGraphic, TVerdelGraphic)

void TAutodeskGraphic::LoadFromStream(TStream&) { FailInvalid("Autodesk"); }

}  // namespace tessane
