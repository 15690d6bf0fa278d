#include "formats/decode_on_load_graphic.h"

#include <algorithm>

#include "base/errors.h"

namespace tessane {

void DecodeOnLoadGraphic::FailInvalid(const char* label) {
  throw InvalidImageError(
      Format("Cannot load image. Invalid or unexpected %s image format.", label));
}

void DecodeOnLoadGraphic::LoadFromStream(ByteStream& stream) {
  Clear();
  facts_ = PictureFacts{};
  try {
    Decode(stream);
  } catch (...) {
    Clear();
    throw;
  }
}

std::vector<PaletteEntry> DecodeOnLoadGraphic::GreyRamp(int bits) {
  bits = std::clamp(bits, 1, 8);
  const int count = 1 << bits;
  const int step = 255 / (count - 1);
  std::vector<PaletteEntry> ramp(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<uint8_t>(i * step);
    ramp[static_cast<size_t>(i)] = PaletteColor(v, v, v);
  }
  return ramp;
}

}  // namespace tessane
