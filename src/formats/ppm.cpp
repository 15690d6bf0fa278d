#include "formats/ppm.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TPPMGraphic, TVerdelGraphic)

void TPPMGraphic::LoadFromStream(TStream&) { FailInvalid("PBM, PGM or PPM"); }

}  // namespace tessane
