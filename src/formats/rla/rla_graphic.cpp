#include "formats/rla/rla_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "RLA";
constexpr size_t kHeaderSize = 740;

int16_t S16(const uint8_t* p) {
  return static_cast<int16_t>(LoadBe16(p));
}

// Unpacks one channel of one scanline: a signed count byte c >= 0 repeats the next byte c + 1
// times, c < 0 copies -c bytes. False when the data run out before `out` is full.
bool UnpackChannel(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size) {
  size_t i = 0, o = 0;
  while (o < out_size) {
    if (i >= in_size) return false;
    const int c = static_cast<int8_t>(in[i++]);
    if (c >= 0) {
      if (i >= in_size) return false;
      const size_t n = std::min<size_t>(static_cast<size_t>(c) + 1, out_size - o);
      std::memset(out + o, in[i++], n);
      o += n;
    } else {
      const size_t n = static_cast<size_t>(-c);
      if (in_size - i < n) return false;
      const size_t take = std::min(n, out_size - o);
      std::memcpy(out + o, in + i, take);
      i += n;
      o += take;
    }
  }
  return true;
}

// Sample x of an unpacked channel as 8 bits. Wider samples are stored as byte planes, the most
// significant plane first.
uint8_t Sample8(const uint8_t* plane, int32_t width, int32_t x, int bits) {
  if (bits == 8) return plane[x];
  const uint32_t max = (1u << bits) - 1;
  uint32_t v = bits > 8 ? (plane[x] << 8) | plane[width + x] : plane[x];
  if (v > max) v = max;
  return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

}  // namespace

void RlaGraphic::Decode(ByteStream& stream) {
  const int64_t start = stream.Position();
  uint8_t h[kHeaderSize];
  stream.ReadBuffer(h, sizeof h);
  const int64_t file_size = stream.Size();

  // The scanlines cover the active window.
  const int32_t left = S16(h + 8), right = S16(h + 10), bottom = S16(h + 12), top = S16(h + 14);
  const int32_t width = right - left + 1;
  const int32_t height = top - bottom + 1;
  const int colours = S16(h + 20);
  const int mattes = S16(h + 22);
  const int auxes = S16(h + 24);
  int colour_bits = S16(h + 658);
  int matte_bits = S16(h + 662);
  // Files of the first revision leave the bit counts at zero: they are 8-bit.
  if (colour_bits == 0) colour_bits = 8;
  if (matte_bits == 0) matte_bits = 8;

  if (width <= 0 || height <= 0 || !PictureSizeAllowed(width, height)) FailInvalid(kLabel);
  if (colours < 1 || mattes < 0 || auxes < 0) FailInvalid(kLabel);
  // Floating-point and wider samples are not read.
  if (colour_bits < 1 || colour_bits > 16) FailInvalid(kLabel);
  if (mattes > 0 && (matte_bits < 1 || matte_bits > 16)) FailInvalid(kLabel);

  const int64_t table_end = start + static_cast<int64_t>(kHeaderSize) + int64_t{4} * height;
  if (table_end > file_size) FailInvalid(kLabel);
  // A run of 2 bytes makes at most 128 samples: data that cannot fill the picture are refused
  // before it is allocated.
  const int64_t samples = int64_t{width} * height * (colours < 3 ? 1 : 3);
  if ((file_size - table_end) * 64 < samples) FailInvalid(kLabel);
  std::vector<uint8_t> table(static_cast<size_t>(height) * 4);
  stream.ReadBuffer(table.data(), table.size());

  const bool grey = colours < 3;
  const bool alpha = mattes > 0;
  const int used_colours = grey ? 1 : 3;
  SetPixelFormat(alpha ? DibFormat::k32Bit
                       : (grey ? DibFormat::k8Bit : DibFormat::k24Bit));
  if (grey && !alpha) SetPalette(GreyRamp(8));
  SetSize(width, height);

  const size_t w = static_cast<size_t>(width);
  const size_t colour_plane = colour_bits > 8 ? 2 * w : w;
  const size_t matte_plane = matte_bits > 8 ? 2 * w : w;
  // Channels we need, in file order: the first colours, then the first matte.
  std::vector<std::vector<uint8_t>> planes(static_cast<size_t>(used_colours + (alpha ? 1 : 0)));
  for (int c = 0; c < used_colours; ++c) planes[c].resize(colour_plane);
  if (alpha) planes.back().resize(matte_plane);
  const int channels_to_read = alpha ? colours + 1 : used_colours;

  std::vector<uint8_t> packed;
  for (int32_t r = 0; r < height; ++r) {
    const int64_t offset = start + LoadBe32(table.data() + 4 * static_cast<size_t>(r));
    if (offset < table_end || offset >= file_size) FailInvalid(kLabel);
    stream.SetPosition(offset);
    for (int ch = 0; ch < channels_to_read; ++ch) {
      uint8_t len_bytes[2];
      if (stream.Read(len_bytes, 2) != 2) FailInvalid(kLabel);
      const size_t len = size_t{LoadBe16(len_bytes)};
      int target = -1;
      if (ch < used_colours)
        target = ch;
      else if (alpha && ch == colours)
        target = used_colours;
      if (target < 0) {
        stream.Seek(static_cast<int64_t>(len), SeekOrigin::kCurrent);
        continue;
      }
      packed.resize(len);
      if (stream.Read(packed.data(), len) != len) FailInvalid(kLabel);
      std::vector<uint8_t>& plane = planes[static_cast<size_t>(target)];
      if (!UnpackChannel(packed.data(), len, plane.data(), plane.size())) FailInvalid(kLabel);
    }

    // Scanlines are stored bottom row first.
    uint8_t* out = ScanLine(height - 1 - r);
    for (int32_t x = 0; x < width; ++x) {
      if (grey) {
        const uint8_t v = Sample8(planes[0].data(), width, x, colour_bits);
        if (!alpha) {
          out[x] = v;
          continue;
        }
        out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = v;
      } else {
        const size_t bpp = alpha ? 4 : 3;
        out[bpp * x + 2] = Sample8(planes[0].data(), width, x, colour_bits);
        out[bpp * x + 1] = Sample8(planes[1].data(), width, x, colour_bits);
        out[bpp * x + 0] = Sample8(planes[2].data(), width, x, colour_bits);
      }
      if (alpha) out[4 * x + 3] = Sample8(planes.back().data(), width, x, matte_bits);
    }
  }
}

}  // namespace tessane
