#include "formats/jpeg2000_bitmap.h"

#include "base/errors.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TJpeg2000Bitmap, TBitmap)

void TJpeg2000Bitmap::LoadFromStream(TStream&) { throw EInvalidGraphic("Unknown JPEG 2000 file type"); }

}  // namespace tessane
