#include "formats/sgi/sgi_graphic.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "sgi, bw or rgb(a)";
constexpr size_t kHeaderSize = 512;
constexpr unsigned kMagic = 474;

uint8_t Scale16(unsigned v) {
  return static_cast<uint8_t>((v * 255u + 32767u) / 65535u);
}

}  // namespace

void SgiGraphic::Decode(ByteStream& stream) {
  // Run-length rows are addressed by offsets from the start of the file, so keep it whole.
  const std::vector<uint8_t> file = stream.ReadAll();
  if (file.size() < kHeaderSize) throw StreamReadError("Stream read error");
  const uint8_t* h = file.data();
  if (LoadBe16(h) != kMagic) FailInvalid(kLabel);
  const unsigned storage = h[2];
  const size_t bpc = h[3];
  const unsigned dimension = LoadBe16(h + 4);
  const size_t width = LoadBe16(h + 6);
  size_t height = LoadBe16(h + 8);
  size_t channels = LoadBe16(h + 10);
  if (storage > 1 || (bpc != 1 && bpc != 2) || dimension < 1 || dimension > 3) FailInvalid(kLabel);
  if (dimension == 1) height = 1;
  if (dimension < 3) channels = 1;
  if (channels < 1 || channels > 4) FailInvalid(kLabel);
  if (width == 0 || height == 0 || !PictureSizeAllowed(width, height)) FailInvalid(kLabel);

  const size_t rows = height * channels;
  if (storage == 0) {
    if (file.size() - kHeaderSize < rows * width * bpc) throw StreamReadError("Stream read error");
  } else {
    if (file.size() - kHeaderSize < rows * 8) throw StreamReadError("Stream read error");
    // Every row's data must lie inside the file.
    for (size_t i = 0; i < rows; ++i) {
      const uint64_t start = LoadBe32(h + kHeaderSize + 4 * i);
      const uint64_t length = LoadBe32(h + kHeaderSize + 4 * (rows + i));
      if (start < kHeaderSize || start + length > file.size()) FailInvalid(kLabel);
    }
  }

  // Decodes channel c of stored row y (bottom row first) into 8-bit values.
  std::vector<uint8_t> values(width);
  auto channel_row = [&](size_t c, size_t y) {
    const size_t index = c * height + y;
    if (storage == 0) {
      const uint8_t* p = h + kHeaderSize + index * width * bpc;
      for (size_t x = 0; x < width; ++x) values[x] = bpc == 1 ? p[x] : Scale16(LoadBe16(p + 2 * x));
      return;
    }
    const uint8_t* p = h + LoadBe32(h + kHeaderSize + 4 * index);
    const uint8_t* const end = p + LoadBe32(h + kHeaderSize + 4 * (rows + index));
    auto next = [&]() -> unsigned {
      if (static_cast<size_t>(end - p) < bpc) FailInvalid(kLabel);
      const unsigned v = bpc == 1 ? *p : LoadBe16(p);
      p += bpc;
      return v;
    };
    auto level = [&](unsigned v) { return bpc == 1 ? static_cast<uint8_t>(v) : Scale16(v); };
    size_t x = 0;
    // Packets until a zero count; a packet that overruns the row is damage, not data.
    while (x < width) {
      const unsigned packet = next();
      const size_t count = packet & 0x7Fu;
      if (count == 0) break;
      if (count > width - x) FailInvalid(kLabel);
      if (packet & 0x80u) {
        for (size_t i = 0; i < count; ++i) values[x++] = level(next());
      } else {
        const uint8_t v = level(next());
        std::memset(values.data() + x, v, count);
        x += count;
      }
    }
    if (x < width) FailInvalid(kLabel);
  };

  DibFormat format = DibFormat::k8Bit;
  if (channels == 3) format = DibFormat::k24Bit;
  if (channels == 2 || channels == 4) format = DibFormat::k32Bit;
  SetPixelFormat(format);
  if (channels == 1) SetPalette(GreyRamp(8));
  SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));

  // Byte positions of red, green, blue and alpha in a bitmap pixel; grey fills all three.
  static constexpr size_t kRgba[4] = {2, 1, 0, 3};
  const size_t step = BitsPerPixel(format) / 8;
  for (size_t y = 0; y < height; ++y) {
    uint8_t* out = ScanLine(static_cast<int32_t>(height - 1 - y));
    for (size_t c = 0; c < channels; ++c) {
      channel_row(c, y);
      if (channels == 1) {
        std::memcpy(out, values.data(), width);
      } else if (channels == 2 && c == 0) {
        for (size_t x = 0; x < width; ++x) std::memset(out + x * step, values[x], 3);
      } else {
        const size_t at = channels == 2 ? 3 : kRgba[c];
        for (size_t x = 0; x < width; ++x) out[x * step + at] = values[x];
      }
    }
  }
}

}  // namespace tessane
