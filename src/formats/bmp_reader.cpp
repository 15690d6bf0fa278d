#include "formats/bmp_reader.h"

#include "base/errors.h"
#include "formats/bitmap.h"

namespace tessane {

void ReadBmp(TStream& stream, TBitmap& bitmap) {
  if (stream.Remaining() == 0) {
    bitmap.Clear();
    return;
  }
  throw EInvalidGraphic("Bitmap image is not valid");
}

}  // namespace tessane
