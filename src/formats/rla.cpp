#include "formats/rla.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TRLAGraphic, TVerdelGraphic)

void TRLAGraphic::LoadFromStream(TStream&) { FailInvalid("RLA"); }

}  // namespace tessane
