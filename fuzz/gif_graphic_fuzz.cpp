// Fuzz target: the LegacyGifGraphic reader, loaded from memory and painted. It paints the whole
// logical screen while loading, so screens beyond the painting cap are skipped.
#include <algorithm>

#include "formats/legacy_graphics.h"
#include "fuzz/reader_harness.h"

namespace {
// The logical screen size, for the signature at the start or four bytes on.
int64_t ScreenPixels(const uint8_t* data, size_t size) {
  int64_t most = -1;
  for (size_t at : {size_t{0}, size_t{4}}) {
    if (size < at + 10) break;
    const int64_t w = data[at + 6] | (data[at + 7] << 8), h = data[at + 8] | (data[at + 9] << 8);
    most = std::max(most, w * h);
  }
  return most;
}
}  // namespace

TESSANE_CAPPED_READER_FUZZ_TARGET(tessane::LegacyGifGraphic, ScreenPixels)
