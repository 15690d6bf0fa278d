#include "formats/jpeg_image.h"

#include "base/errors.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TJPEGImage, TGraphic)

void TJPEGImage::LoadFromStream(TStream&) { throw EInvalidGraphic("TJPEGImage cannot be read yet"); }

}  // namespace tessane
