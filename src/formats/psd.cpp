#include "formats/psd.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TPSDGraphic, TVerdelGraphic)

void TPSDGraphic::LoadFromStream(TStream&) { FailInvalid("PSD or PDD"); }

}  // namespace tessane
