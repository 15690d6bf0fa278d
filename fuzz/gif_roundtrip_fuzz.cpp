// Fuzz target: random bitmap -> our GIF writer -> our GIF reader. Paletted bitmaps keep their
// colour table; other formats go through the writer's colour reduction, which keeps every colour
// of a picture that has no more than the 236 free palette entries (the other 20 are reserved).
// Either way the colours must come back exactly.
#include <vector>

#include "base/stream.h"
#include "formats/gif/gif_graphic.h"
#include "fuzz/roundtrip_harness.h"

using namespace tessane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  DibImage source;
  fuzz::MakeRandomBitmap(in, fuzz::kEveryPixelFormat, 64, 236, source);
  GifGraphic writer;
  writer.SetColorReduction(8);
  writer.Assign(source);
  MemoryStream file;
  writer.SaveToStream(file);
  file.SetPosition(0);
  GifGraphic reader;
  reader.LoadFromStream(file);
  std::vector<uint32_t> got(static_cast<size_t>(reader.Width()) * reader.Height(), 0);
  if (!got.empty())
    reader.Draw(ArgbView{got.data(), reader.Width(), reader.Height(), reader.Width()},
                Rect{0, 0, reader.Width(), reader.Height()});
  fuzz::ExpectSamePixels(source.Width(), source.Height(), fuzz::BitmapPixels(source),
                         reader.Width(), reader.Height(), got, 0x00FFFFFFu);
  return 0;
}
