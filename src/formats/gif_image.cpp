#include "formats/gif_image.h"

#include "base/errors.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TGIFImage, TGraphic)

void TGIFImage::LoadFromStream(TStream&) { throw EInvalidGraphic("TGIFImage cannot be read yet"); }

}  // namespace tessane
