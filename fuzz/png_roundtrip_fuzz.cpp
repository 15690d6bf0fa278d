// Fuzz target: random bitmap -> our PNG writer (random filter set and level) -> our PNG reader.
// Paletted bitmaps and truecolour ones (a fourth byte dropped) must come back unchanged.
#include "base/stream.h"
#include "formats/png/png_graphic.h"
#include "fuzz/roundtrip_harness.h"

using namespace tessane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  PngGraphic writer;
  writer.SetFilters(in.ConsumeIntegral<uint8_t>() & 0x1F);
  writer.SetCompressionLevel(in.ConsumeIntegralInRange<int>(0, 9));
  DibImage source;
  fuzz::MakeRandomBitmap(in, fuzz::kEveryPixelFormat, 64, 1 << 16, source);
  writer.Assign(source);
  MemoryStream file;
  writer.SaveToStream(file);
  file.SetPosition(0);
  PngGraphic reader;
  reader.LoadFromStream(file);
  if (reader.Transparency() != PngTransparency::kNone) fuzz::RoundTripFailed("became transparent");
  const std::vector<uint32_t>& got = reader.Pixels();
  for (uint32_t pixel : got)
    if ((pixel >> 24) != 0xFF) fuzz::RoundTripFailed("alpha not opaque");
  fuzz::ExpectSamePixels(source.Width(), source.Height(), fuzz::BitmapPixels(source),
                         reader.Width(), reader.Height(), got, 0x00FFFFFFu);
  return 0;
}
