#include "formats/icon.h"

#include "base/errors.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TIcon, TGraphic)

void TIcon::LoadFromStream(TStream&) { throw EInvalidGraphic("TIcon cannot be read yet"); }

}  // namespace tessane
