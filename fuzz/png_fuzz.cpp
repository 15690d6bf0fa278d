// Fuzz target: the PngGraphic reader, loaded from memory and painted (CRCs fixed first).
#include "formats/png/png_graphic.h"
#include "fuzz/png_crc.h"
#include "fuzz/reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> png = tessane::fuzz::WithPngCrcsFixed(data, size);
  tessane::fuzz::LoadAndPaint(tessane::MakeGraphic<tessane::PngGraphic>, png.data(), png.size());
  return 0;
}
