#include "formats/autodesk/autodesk_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "Autodesk";
constexpr uint16_t kCelMagic = 0x9119;
constexpr uint16_t kFliMagic = 0xAF11;
constexpr uint16_t kFlcMagic = 0xAF12;
constexpr uint16_t kFrameChunk = 0xF1FA;
constexpr size_t kFlicHeaderSize = 128;

// A 6-bit colour level widened to 8 bits.
uint8_t Level6(uint8_t v) {
  return static_cast<uint8_t>((std::min<unsigned>(v, 63) * 255 + 31) / 63);
}

// Colour packets: a count of packets, each skipping some entries and then setting `count`
// entries (0 meaning 256) from stored red, green, blue. False when the chunk is malformed.
bool ApplyColours(const uint8_t* p, size_t size, bool six_bit, std::vector<PaletteEntry>& palette) {
  if (size < 2) return false;
  const unsigned packets = LoadLe16(p);
  size_t i = 2, index = 0;
  for (unsigned k = 0; k < packets; ++k) {
    if (size - i < 2) return false;
    index += p[i];
    size_t count = p[i + 1] == 0 ? 256 : p[i + 1];
    i += 2;
    if (size - i < 3 * count) return false;
    for (; count > 0; --count, i += 3, ++index) {
      if (index >= 256) continue;
      palette[index] = six_bit ? PaletteColor(Level6(p[i]), Level6(p[i + 1]), Level6(p[i + 2]))
                               : PaletteColor(p[i], p[i + 1], p[i + 2]);
    }
  }
  return true;
}

}  // namespace

void AutodeskGraphic::Decode(ByteStream& stream) {
  const int64_t start = stream.Position();
  uint8_t header[32];
  stream.ReadBuffer(header, sizeof header);
  if (LoadLe16(header) == kCelMagic) {
    DecodeCel(stream, header);
    return;
  }
  const uint16_t flic_magic = LoadLe16(header + 4);
  if (flic_magic == kFliMagic || flic_magic == kFlcMagic) {
    DecodeFlic(stream, start, header);
    return;
  }
  FailInvalid(kLabel);
}

void AutodeskGraphic::DecodeCel(ByteStream& stream, const uint8_t* header) {
  const int32_t width = LoadLe16(header + 2);
  const int32_t height = LoadLe16(header + 4);
  const unsigned depth = header[10];
  const unsigned compression = header[11];
  if (width == 0 || height == 0 || depth != 8 || compression != 0) FailInvalid(kLabel);

  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (static_cast<uint64_t>(stream.Remaining()) < 768 + pixels)
    throw StreamReadError("Stream read error");
  uint8_t levels[768];
  stream.ReadBuffer(levels, sizeof levels);
  std::vector<PaletteEntry> palette(256);
  for (size_t i = 0; i < 256; ++i)
    palette[i] =
        PaletteColor(Level6(levels[3 * i]), Level6(levels[3 * i + 1]), Level6(levels[3 * i + 2]));

  SetPixelFormat(DibFormat::k8Bit);
  SetPalette(std::move(palette));
  SetSize(width, height);
  for (int32_t y = 0; y < height; ++y) stream.ReadBuffer(ScanLine(y), static_cast<size_t>(width));
}

void AutodeskGraphic::DecodeFlic(ByteStream& stream, int64_t start, const uint8_t* header) {
  uint8_t rest[kFlicHeaderSize - 32];
  stream.ReadBuffer(rest, sizeof rest);
  const int32_t width = LoadLe16(header + 8);
  const int32_t height = LoadLe16(header + 10);
  const unsigned depth = LoadLe16(header + 12);
  if (width == 0 || height == 0 || (depth != 8 && depth != 0)) FailInvalid(kLabel);
  // Flc files give the first frame's position; in fli files it follows the header.
  uint32_t first = LoadLe16(header + 4) == kFlcMagic ? LoadLe32(rest + 80 - 32) : 0;
  if (first == 0) first = kFlicHeaderSize;

  // Find the first frame, passing over prefix chunks.
  const int64_t file_size = stream.Size();
  int64_t pos = start + first;
  uint8_t chunk[16];
  for (;;) {
    if (pos < start || file_size - pos < 16) FailInvalid(kLabel);
    stream.SetPosition(pos);
    stream.ReadBuffer(chunk, sizeof chunk);
    const uint32_t size = LoadLe32(chunk);
    if (size < 6 || size > file_size - pos) FailInvalid(kLabel);
    if (LoadLe16(chunk + 4) == kFrameChunk) break;
    pos += size;
  }
  const int64_t frame_end = pos + LoadLe32(chunk);
  const unsigned sub_chunks = LoadLe16(chunk + 6);
  pos += 16;

  std::vector<PaletteEntry> palette = GreyRamp(8);
  SetPixelFormat(DibFormat::k8Bit);
  SetSize(width, height);
  const size_t w = static_cast<size_t>(width);
  bool have_pixels = false;
  std::vector<uint8_t> data;
  for (unsigned k = 0; k < sub_chunks && frame_end - pos >= 6; ++k) {
    uint8_t sub[6];
    stream.SetPosition(pos);
    stream.ReadBuffer(sub, sizeof sub);
    const uint32_t size = LoadLe32(sub);
    const unsigned type = LoadLe16(sub + 4);
    if (size < 6 || size > frame_end - pos) FailInvalid(kLabel);
    data.resize(size - 6);
    stream.ReadBuffer(data.data(), data.size());
    pos += size;
    switch (type) {
      case 4:   // 256-level colours
      case 11:  // 64-level colours
        if (!ApplyColours(data.data(), data.size(), type == 11, palette)) FailInvalid(kLabel);
        break;
      case 13:  // black
        for (int32_t y = 0; y < height; ++y) std::memset(ScanLine(y), 0, w);
        have_pixels = true;
        break;
      case 16:  // raw pixels
        if (data.size() < w * static_cast<size_t>(height)) FailInvalid(kLabel);
        for (int32_t y = 0; y < height; ++y)
          std::memcpy(ScanLine(y), data.data() + static_cast<size_t>(y) * w, w);
        have_pixels = true;
        break;
      case 15: {  // byte runs, one row after another
        size_t i = 0;
        for (int32_t y = 0; y < height; ++y) {
          uint8_t* row = ScanLine(y);
          ++i;  // the packet count is unreliable for wide rows; the width decides
          size_t x = 0;
          while (x < w) {
            if (i >= data.size()) FailInvalid(kLabel);
            const int n = static_cast<int8_t>(data[i++]);
            if (n > 0) {
              if (i >= data.size()) FailInvalid(kLabel);
              const size_t count = std::min(static_cast<size_t>(n), w - x);
              std::memset(row + x, data[i++], count);
              x += count;
            } else if (n == 0) {
              FailInvalid(kLabel);  // a run of nothing would never finish the row
            } else {
              const size_t count = static_cast<size_t>(-n);
              if (data.size() - i < count || count > w - x) FailInvalid(kLabel);
              std::memcpy(row + x, data.data() + i, count);
              i += count;
              x += count;
            }
          }
        }
        have_pixels = true;
        break;
      }
      case 7:  // deltas need a previous frame: not a picture of its own
      case 12:
        FailInvalid(kLabel);
      default:
        break;  // postage stamps and others
    }
  }
  if (!have_pixels) FailInvalid(kLabel);
  SetPalette(std::move(palette));
}

}  // namespace tessane
