#include "formats/psp.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TPSPGraphic, TVerdelGraphic)

void TPSPGraphic::LoadFromStream(TStream&) { FailInvalid("PSP"); }

}  // namespace tessane
