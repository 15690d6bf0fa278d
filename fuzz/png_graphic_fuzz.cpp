// Fuzz target: the LegacyPngGraphic reader, loaded from memory and painted (CRCs fixed first). It
// paints the whole picture while loading, so headers beyond the painting cap are skipped.
#include "formats/legacy_graphics.h"
#include "fuzz/png_crc.h"
#include "fuzz/reader_harness.h"

namespace {
int64_t HeaderPixels(const uint8_t* data, size_t size) {
  if (size < 24) return -1;
  auto be32 = [&](size_t at) {
    return (int64_t{data[at]} << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) | data[at + 3];
  };
  const int64_t w = be32(16), h = be32(20);
  // Sides the reader refuses anyway are left to it.
  return w > 65535 || h > 65535 ? -1 : w * h;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> png = tessane::fuzz::WithPngCrcsFixed(data, size);
  tessane::fuzz::LoadAndPaint(tessane::LegacyPngGraphic::Class, png.data(), png.size(), HeaderPixels);
  return 0;
}
