#include "formats/png_image.h"

#include "base/errors.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TPNGObject, TGraphic)

void TPNGObject::LoadFromStream(TStream&) { throw EInvalidGraphic("TPNGObject cannot be read yet"); }

}  // namespace tessane
