#include "formats/cut.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TCUTGraphic, TVerdelGraphic)

void TCUTGraphic::LoadFromStream(TStream&) { FailInvalid("CUT"); }

}  // namespace tessane
