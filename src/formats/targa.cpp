#include "formats/targa.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TTargaGraphic, TVerdelGraphic)

void TTargaGraphic::LoadFromStream(TStream&) { FailInvalid("Targa"); }

}  // namespace tessane
