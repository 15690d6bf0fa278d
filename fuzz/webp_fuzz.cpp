// Fuzz target: the WebpGraphic reader (libwebp and libwebpdemux), loaded from memory and
// painted. An animation's canvas may be far larger than its first frame, and the reader clears
// all of it: such inputs are skipped, as for the other readers that fill large pictures.
#include <webp/decode.h>

#include "formats/webp/webp_graphic.h"
#include "fuzz/reader_harness.h"

namespace {

int64_t DeclaredPixels(const uint8_t* data, size_t size) {
  int width = 0, height = 0;
  if (!WebPGetInfo(data, size, &width, &height)) return -1;
  return int64_t{width} * height;
}

}  // namespace

TESSANE_CAPPED_READER_FUZZ_TARGET(tessane::WebpGraphic, DeclaredPixels)
