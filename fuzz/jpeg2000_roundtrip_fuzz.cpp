// Fuzz target: random bitmap -> our lossless JPEG 2000 writer -> our JPEG 2000 reader. 32-bit
// pictures keep their alpha; the other formats are written as 24 bits and must keep their colours.
#include "base/stream.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "fuzz/roundtrip_harness.h"

using namespace tessane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Jpeg2000Graphic writer;
  writer.SetLossless(true);
  fuzz::MakeRandomBitmap(in, fuzz::kEveryPixelFormat, 40, 1 << 16, writer);
  MemoryStream file;
  writer.SaveToStream(file);
  file.SetPosition(0);
  Jpeg2000Graphic reader;
  reader.LoadFromStream(file);
  const uint32_t mask = writer.PixelFormat() == DibFormat::k32Bit ? 0xFFFFFFFFu : 0x00FFFFFFu;
  fuzz::ExpectSamePixels(writer.Width(), writer.Height(), fuzz::BitmapPixels(writer),
                         reader.Width(), reader.Height(), fuzz::BitmapPixels(reader), mask);
  return 0;
}
