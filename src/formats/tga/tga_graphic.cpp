#include "formats/tga/tga_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "Targa";

[[noreturn]] void ReadError() {
  throw StreamReadError("Stream read error");
}

// A map entry of 15/16 bits: red, green and blue in bits 10-14, 5-9, 0-4, each times 8.
PaletteEntry Entry16(const uint8_t* p) {
  const unsigned w = LoadLe16(p);
  return PaletteColor(static_cast<uint8_t>(((w >> 10) & 31) * 8),
                      static_cast<uint8_t>(((w >> 5) & 31) * 8),
                      static_cast<uint8_t>((w & 31) * 8));
}

// Run-length pixel data: packets of (h and 0x7F) + 1 pixels, a repeated value when h >= 0x80.
// A packet that reaches past its row carries on into the next stored row, as older writers
// expect; nothing is written outside the image and nothing read past the data.
class RunDecoder {
 public:
  RunDecoder(const std::vector<uint8_t>& data, size_t bpp) : data_(data), bpp_(bpp) {}

  void DecodeRow(uint8_t* out, size_t width) {
    size_t x = 0;
    while (x < width) {
      if (left_ == 0) StartPacket();
      const size_t n = std::min(left_, width - x);
      uint8_t* dst = out + x * bpp_;
      if (run_) {
        for (size_t i = 0; i < n; ++i) std::memcpy(dst + i * bpp_, value_, bpp_);
      } else {
        Take(dst, n * bpp_);
      }
      x += n;
      left_ -= n;
    }
  }

 private:
  void StartPacket() {
    uint8_t h;
    Take(&h, 1);
    left_ = (h & 0x7Fu) + 1u;
    run_ = (h & 0x80u) != 0;
    if (run_) Take(value_, bpp_);
  }

  void Take(uint8_t* dst, size_t count) {
    if (data_.size() - pos_ < count) ReadError();
    std::memcpy(dst, data_.data() + pos_, count);
    pos_ += count;
  }

  const std::vector<uint8_t>& data_;
  const size_t bpp_;
  size_t pos_ = 0;
  size_t left_ = 0;
  bool run_ = false;
  uint8_t value_[4] = {};
};

}  // namespace

void TgaGraphic::Decode(ByteStream& stream) {
  uint8_t header[18];
  stream.ReadBuffer(header, sizeof header);
  const unsigned id_length = header[0];
  const unsigned map_type = header[1];
  const unsigned image_type = header[2];
  const unsigned first_entry = LoadLe16(header + 3);
  const unsigned map_length = LoadLe16(header + 5);
  const unsigned map_bits = header[7];
  const int32_t width = LoadLe16(header + 12);
  const int32_t height = LoadLe16(header + 14);
  const unsigned pixel_bits = header[16];
  const bool top_first = (header[17] & 0x20) != 0;

  const bool grey = image_type == 3 || image_type == 11;
  const bool mapped = image_type == 1 || image_type == 9;
  const bool rle = image_type >= 9 && image_type <= 11;

  std::vector<uint8_t> skip(id_length);
  stream.ReadBuffer(skip.data(), skip.size());

  DibFormat format;
  size_t bpp;
  switch (pixel_bits) {
    case 8:
      format = DibFormat::k8Bit;
      bpp = 1;
      break;
    case 15:
    case 16:
      format = DibFormat::k15Bit;
      bpp = 2;
      break;
    case 24:
      format = DibFormat::k24Bit;
      bpp = 3;
      break;
    case 32:
      format = DibFormat::k32Bit;
      bpp = 4;
      break;
    default:
      throw InvalidImageError(
          "Sample count per pixel does not correspond to the given color scheme.");
  }
  // Type 0 holds no image and the other codes are not defined: nothing here is a picture.
  if (!(image_type >= 1 && image_type <= 3) && !rle) FailInvalid(kLabel);

  std::vector<PaletteEntry> palette;
  if (map_type == 1) {
    size_t entry_bytes = 0;
    bool readable = true;
    switch (map_bits) {
      case 15:
      case 16:
        entry_bytes = 2;
        break;
      case 24:
        entry_bytes = 3;
        break;
      case 32:
        entry_bytes = 4;
        break;
      default:
        // Entries we cannot read are only harmless when no pixel refers to them.
        if (mapped) FailInvalid(kLabel);
        readable = false;
        entry_bytes = (map_bits + 7) / 8;
    }
    std::vector<uint8_t> map(map_length * entry_bytes);
    stream.ReadBuffer(map.data(), map.size());
    // The map is consumed whatever the type; grey images keep their ramp.
    if (!grey && readable) {
      // Stored entry k is colour k + first entry index, so pixel values index the map as stored.
      const size_t count = std::min<size_t>(256, first_entry + map_length);
      if (first_entry < count) palette.resize(count);
      for (size_t k = 0; first_entry + k < count; ++k) {
        const uint8_t* e = map.data() + k * entry_bytes;
        palette[first_entry + k] = entry_bytes == 2 ? Entry16(e) : PaletteColor(e[2], e[1], e[0]);
      }
    }
  }
  if (grey) palette = GreyRamp(8);

  if (width == 0 || height == 0 || !PictureSizeAllowed(width, height)) FailInvalid(kLabel);
  const size_t row_bytes = static_cast<size_t>(width) * bpp;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  // The least data that can describe the picture: every byte plain, or one full run per 128.
  const size_t least = rle ? (pixels + 127) / 128 * (1 + bpp) : pixels * bpp;
  if (static_cast<uint64_t>(stream.Remaining()) < least) ReadError();

  SetPixelFormat(format);
  SetPalette(std::move(palette));
  SetSize(width, height);
  auto destination = [&](int32_t r) { return top_first ? r : height - 1 - r; };

  if (!rle) {
    for (int32_t r = 0; r < height; ++r) stream.ReadBuffer(ScanLine(destination(r)), row_bytes);
    return;
  }
  const std::vector<uint8_t> data = stream.ReadAll();
  RunDecoder decoder(data, bpp);
  for (int32_t r = 0; r < height; ++r) decoder.DecodeRow(ScanLine(destination(r)), width);
}

}  // namespace tessane
