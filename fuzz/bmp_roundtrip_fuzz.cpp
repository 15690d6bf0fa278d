// Fuzz target: random bitmap of every pixel format -> our bitmap writer -> our bitmap reader.
// Every pixel, the fourth byte of 32-bit pictures included, must come back unchanged - except
// that a 32-bit picture whose fourth bytes are all zero is read as opaque (most writers leave
// that byte unused).
#include <algorithm>
#include <vector>

#include "base/stream.h"
#include "fuzz/roundtrip_harness.h"

using namespace tessane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  DibImage source;
  fuzz::MakeRandomBitmap(in, fuzz::kEveryPixelFormat, 64, 1 << 16, source);
  MemoryStream file;
  source.SaveToStream(file);
  file.SetPosition(0);
  DibImage reader;
  reader.LoadFromStream(file);
  std::vector<uint32_t> expected = fuzz::BitmapPixels(source);
  if (std::all_of(expected.begin(), expected.end(), [](uint32_t p) { return (p >> 24) == 0; }))
    for (uint32_t& p : expected) p |= 0xFF000000u;
  fuzz::ExpectSamePixels(source.Width(), source.Height(), expected, reader.Width(), reader.Height(),
                         fuzz::BitmapPixels(reader), 0xFFFFFFFFu);
  return 0;
}
