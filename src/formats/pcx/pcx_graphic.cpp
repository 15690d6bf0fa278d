#include "formats/pcx/pcx_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "PCX";
constexpr int64_t kHeaderSize = 128;
constexpr int64_t kPaletteBlock = 769;  // the marker byte 12 and 256 red-green-blue entries

[[noreturn]] void ReadError() {
  throw StreamReadError("Stream read error");
}

std::vector<PaletteEntry> StandardPalette() {
  static constexpr uint8_t kColours[16][3] = {
      {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
      {0, 128, 128}, {128, 128, 128}, {192, 192, 192}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
      {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  std::vector<PaletteEntry> palette;
  for (const auto& c : kColours) palette.push_back(PaletteColor(c[0], c[1], c[2]));
  return palette;
}

std::vector<PaletteEntry> RgbEntries(const uint8_t* p, size_t count) {
  std::vector<PaletteEntry> palette(count);
  for (size_t i = 0; i < count; ++i)
    palette[i] = PaletteColor(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return palette;
}

// The plane layouts we decode.
enum class PcxLayout { Packed1, Packed2, Packed4, Planes4x1, Packed8, Planes3x8, Planes4x8 };

// Run-length data decoded row by row: a byte c >= 0xC0 repeats the next byte (c and 0x3F)
// times, any other byte stands for itself. Runs may span rows; reading past the data fails.
class RunDecoder {
 public:
  RunDecoder(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  void DecodeRow(uint8_t* out, size_t count) {
    size_t x = 0;
    while (x < count) {
      if (left_ > 0) {
        const size_t n = std::min(left_, count - x);
        std::memset(out + x, value_, n);
        x += n;
        left_ -= n;
        continue;
      }
      const uint8_t c = Next();
      if (c >= 0xC0) {
        left_ = c & 0x3Fu;
        value_ = Next();
      } else {
        out[x++] = c;
      }
    }
  }

 private:
  uint8_t Next() {
    if (pos_ >= size_) ReadError();
    return data_[pos_++];
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  size_t left_ = 0;
  uint8_t value_ = 0;
};

}  // namespace

void PcxGraphic::Decode(ByteStream& stream) {
  const int64_t start = stream.Position();
  const int64_t end = stream.Size();
  uint8_t h[kHeaderSize];
  stream.ReadBuffer(h, sizeof h);
  if (h[0] != 10 && h[0] != 205) return;  // not a PCX file: an empty picture, by design

  const unsigned version = h[1];
  const bool rle = h[2] == 1;
  const unsigned bits = h[3];
  const int64_t width = int64_t{LoadLe16(h + 8)} - LoadLe16(h + 4) + 1;
  const int64_t height = int64_t{LoadLe16(h + 10)} - LoadLe16(h + 6) + 1;
  const unsigned planes = h[65];
  const size_t bytes_per_line = LoadLe16(h + 66);
  const bool grey_info = LoadLe16(h + 68) == 2;

  PcxLayout layout;
  DibFormat format;
  if (planes == 1 && bits == 1) {
    layout = PcxLayout::Packed1, format = DibFormat::k1Bit;
  } else if (planes == 1 && bits == 2) {
    layout = PcxLayout::Packed2, format = DibFormat::k4Bit;
  } else if (planes == 1 && bits == 4) {
    layout = PcxLayout::Packed4, format = DibFormat::k4Bit;
  } else if (planes == 4 && bits == 1) {
    layout = PcxLayout::Planes4x1, format = DibFormat::k4Bit;
  } else if (planes == 1 && bits == 8) {
    layout = PcxLayout::Packed8, format = DibFormat::k8Bit;
  } else if (planes == 3 && bits == 8) {
    layout = PcxLayout::Planes3x8, format = DibFormat::k24Bit;
  } else if (planes == 4 && bits == 8) {
    layout = PcxLayout::Planes4x8, format = DibFormat::k32Bit;
  } else {
    throw InvalidImageError(Format("Invalid color format in %s file.", kLabel));
  }

  if (width <= 0 || height <= 0 || !PictureSizeAllowed(width, height)) FailInvalid(kLabel);
  // One plane of one row must hold the row's pixels.
  if (bytes_per_line < (static_cast<size_t>(width) * bits + 7) / 8) FailInvalid(kLabel);

  // 256-colour files end with the marker 12 and a palette; without the marker those bytes are
  // pixel data like the rest.
  int64_t data_end = end;
  std::vector<PaletteEntry> block;
  if (layout == PcxLayout::Packed8 && end - start >= kHeaderSize + kPaletteBlock) {
    uint8_t tail[kPaletteBlock];
    stream.SetPosition(end - kPaletteBlock);
    stream.ReadBuffer(tail, sizeof tail);
    if (tail[0] == 12) {
      block = RgbEntries(tail + 1, 256);
      data_end = end - kPaletteBlock;
    }
    stream.SetPosition(start + kHeaderSize);
  }

  std::vector<PaletteEntry> palette;
  const int depth = static_cast<int>(planes * bits);
  if (depth <= 8) {
    if (version == 3 && depth != 1) {
      palette = StandardPalette();
    } else if (depth == 1) {
      palette = GreyRamp(1);
    } else if (depth <= 4) {
      palette = grey_info ? GreyRamp(depth) : RgbEntries(h + 16, 16);
    } else if (!block.empty()) {
      palette = std::move(block);
    } else if (grey_info) {
      palette = GreyRamp(8);
    }
  }

  const size_t line = planes * bytes_per_line;
  const uint64_t total = static_cast<uint64_t>(line) * static_cast<uint64_t>(height);
  const uint64_t available =
      static_cast<uint64_t>(std::max<int64_t>(0, data_end - start - kHeaderSize));
  // Check before allocating: a run of two bytes yields at most 63.
  if (available < (rle ? (total + 62) / 63 * 2 : total)) ReadError();

  std::vector<uint8_t> data(static_cast<size_t>(rle ? available : total));
  stream.ReadBuffer(data.data(), data.size());

  SetPixelFormat(format);
  SetPalette(std::move(palette));
  SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));

  RunDecoder decoder(data.data(), data.size());
  std::vector<uint8_t> row_buffer(rle ? line : 0);
  const size_t w = static_cast<size_t>(width);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row;
    if (rle) {
      decoder.DecodeRow(row_buffer.data(), line);
      row = row_buffer.data();
    } else {
      row = data.data() + static_cast<size_t>(y) * line;
    }
    uint8_t* out = ScanLine(y);
    switch (layout) {
      case PcxLayout::Packed1:
        std::memcpy(out, row, (w + 7) / 8);
        break;
      case PcxLayout::Packed4:
        std::memcpy(out, row, (w + 1) / 2);
        break;
      case PcxLayout::Packed8:
        std::memcpy(out, row, w);
        break;
      case PcxLayout::Packed2:
        for (size_t x = 0; x < w; ++x) {
          const unsigned index = (row[x / 4] >> (6 - 2 * (x % 4))) & 3u;
          out[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
        break;
      case PcxLayout::Planes4x1:
        for (size_t x = 0; x < w; ++x) {
          const unsigned shift = 7 - x % 8;
          unsigned index = 0;
          for (unsigned k = 0; k < 4; ++k)
            index |= ((row[k * bytes_per_line + x / 8] >> shift) & 1u) << k;
          out[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
        break;
      case PcxLayout::Planes3x8:
        for (size_t x = 0; x < w; ++x) {
          out[3 * x] = row[2 * bytes_per_line + x];
          out[3 * x + 1] = row[bytes_per_line + x];
          out[3 * x + 2] = row[x];
        }
        break;
      case PcxLayout::Planes4x8:
        for (size_t x = 0; x < w; ++x) {
          out[4 * x] = row[2 * bytes_per_line + x];
          out[4 * x + 1] = row[bytes_per_line + x];
          out[4 * x + 2] = row[x];
          out[4 * x + 3] = row[3 * bytes_per_line + x];
        }
        break;
    }
  }
}

}  // namespace tessane
