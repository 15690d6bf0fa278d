// Fuzz target: random bitmap -> our WebP writer, lossless -> libwebp's decoder. Every visible
// pixel must come back unchanged, alpha included (the colour under alpha 0 is the encoder's to
// choose); a lossy encoding of the same bitmap must decode to its size.
#include <webp/decode.h>

#include <cstring>

#include "base/stream.h"
#include "formats/output_pixels.h"
#include "formats/webp/webp_writer.h"
#include "fuzz/roundtrip_harness.h"

using namespace tessane;

namespace {

std::vector<uint32_t> Decode(const std::vector<uint8_t>& file, int* width, int* height) {
  uint8_t* pixels = WebPDecodeBGRA(file.data(), file.size(), width, height);
  if (pixels == nullptr) fuzz::RoundTripFailed("libwebp cannot decode the file");
  std::vector<uint32_t> argb(static_cast<size_t>(*width) * *height);
  std::memcpy(argb.data(), pixels, argb.size() * 4);
  WebPFree(pixels);
  return argb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  WebpOptions options;
  options.quality = in.ConsumeIntegralInRange<int>(1, 100);
  DibImage source;
  fuzz::MakeRandomBitmap(in, fuzz::kEveryPixelFormat, 48, 1 << 16, source);
  OutputPixels expected = PixelsForOutput(source);
  for (uint32_t& pixel : expected.argb)
    if ((pixel >> 24) == 0) pixel = 0;

  options.lossless = true;
  MemoryStream lossless;
  EncodeWebp(source, options, lossless);
  int width = 0, height = 0;
  std::vector<uint32_t> got = Decode(lossless.Bytes(), &width, &height);
  for (uint32_t& pixel : got)
    if ((pixel >> 24) == 0) pixel = 0;
  fuzz::ExpectSamePixels(expected.width, expected.height, expected.argb, width, height, got,
                         0xFFFFFFFFu);

  options.lossless = false;
  MemoryStream lossy;
  EncodeWebp(source, options, lossy);
  Decode(lossy.Bytes(), &width, &height);
  if (width != expected.width || height != expected.height) fuzz::RoundTripFailed("size differs");
  return 0;
}
