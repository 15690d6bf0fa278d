#include "formats/bmp_writer.h"

#include "formats/bitmap.h"

namespace tessane {

void WriteBmp(const TBitmap&, TStream&) {}

}  // namespace tessane
