// GIF writing: one frame made from a bitmap, and the file layout of the logical screen, colour
// tables, frames and LZW data.

#include <algorithm>
#include <new>

#include "base/errors.h"
#include "formats/gif/color_quantizer.h"
#include "formats/gif/gif_graphic.h"
#include "formats/gif/gif_lzw.h"
#include "formats/gif/gif_writer.h"

namespace tessane {
namespace {

/// Bits per pixel of a colour table of n entries: 0 for none, else the smallest b >= 1 with
/// 2^b >= n.
int TableBits(size_t entries) {
  if (entries == 0) return 0;
  int bits = 1;
  while ((size_t{1} << bits) < entries) ++bits;
  return bits;
}

void PutWord(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

/// The table's entries, then black up to 2^bits entries.
void PutColorMap(std::vector<uint8_t>& out, const GifColorMap& map, int bits) {
  for (const GifColor& c : map) out.insert(out.end(), {c.red, c.green, c.blue});
  out.insert(out.end(), 3 * ((size_t{1} << bits) - map.size()), 0);
}

bool IsPaletted(DibFormat f) {
  return f == DibFormat::k1Bit || f == DibFormat::k4Bit || f == DibFormat::k8Bit;
}

std::vector<uint8_t> AllocatePixels(size_t count) {
  try {
    return std::vector<uint8_t>(count, 0);
  } catch (const std::bad_alloc&) {
    throw OutOfResourcesError("Failed to allocate memory for GIF DIB");
  }
}

/// One byte per pixel from a 1, 4 or 8-bit bitmap.
std::vector<uint8_t> WidenIndices(const DibImage& bitmap) {
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  const int bits = BitsPerPixel(bitmap.PixelFormat());
  std::vector<uint8_t> pixels = AllocatePixels(static_cast<size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    uint8_t* out = pixels.data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      const size_t bit = static_cast<size_t>(x) * bits;
      out[x] = static_cast<uint8_t>((row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1));
    }
  }
  return pixels;
}

GifColorMap ToColorMap(const std::vector<PaletteEntry>& palette) {
  GifColorMap map;
  for (size_t i = 0; i < palette.size() && i < 256; ++i)
    map.push_back(GifColor{palette[i].red, palette[i].green, palette[i].blue});
  return map;
}

}  // namespace

void GifGraphic::Assign(const DibImage& source) {
  GifFrame frame;
  uint16_t width = 0, height = 0;
  if (!source.Empty()) {
    // DibImage sizes never exceed 65535, the largest a GIF can declare.
    width = static_cast<uint16_t>(source.Width());
    height = static_cast<uint16_t>(source.Height());
    frame.width = width;
    frame.height = height;
    if (IsPaletted(source.PixelFormat())) {
      frame.color_map = ToColorMap(source.Palette());
      frame.pixels = WidenIndices(source);
    } else {
      const std::unique_ptr<DibImage> reduced = ReduceBitmap(source, color_reduction_, 0);
      frame.color_map = ToColorMap(reduced->Palette());
      frame.pixels = AllocatePixels(static_cast<size_t>(width) * height);
      for (int32_t y = 0; y < height; ++y)
        std::copy_n(reduced->ScanLine(y), width, frame.pixels.begin() + size_t{width} * y);
    }
  }
  screen_width_ = width;
  screen_height_ = height;
  background_index_ = 0;
  global_map_.clear();
  images_.clear();
  images_.push_back(std::move(frame));
}

void GifGraphic::SaveToStream(ByteStream& stream) {
  // Check every frame before the first byte goes out.
  bool version89 = false;
  int largest_bits = 0;
  for (const GifFrame& frame : images_) {
    if (frame.pixels.empty()) continue;
    const GifColorMap& map = frame.color_map.empty() ? global_map_ : frame.color_map;
    const uint8_t top = *std::max_element(frame.pixels.begin(), frame.pixels.end());
    if (top >= map.size()) throw InvalidImageError("Color not in color table");
    version89 = version89 || frame.has_graphic_control || frame.sorted;
    largest_bits = std::max(largest_bits, TableBits(frame.color_map.size()));
  }
  const int global_bits = TableBits(global_map_.size());
  largest_bits = std::max(largest_bits, global_bits);
  // Without any table the header still declares 256 colours.
  if (largest_bits == 0) largest_bits = 8;

  std::vector<uint8_t> out = {'G', 'I', 'F', '8', static_cast<uint8_t>(version89 ? '9' : '7'), 'a'};
  PutWord(out, screen_width_);
  PutWord(out, screen_height_);
  // The size field describes the global table when there is one, so it must be that table's.
  const int size_field = global_bits > 0 ? global_bits - 1 : largest_bits - 1;
  out.push_back(
      static_cast<uint8_t>((global_bits > 0 ? 0x80 : 0) | ((largest_bits - 1) << 4) | size_field));
  out.push_back(background_index_);
  out.push_back(0);  // pixel aspect ratio
  if (global_bits > 0) PutColorMap(out, global_map_, global_bits);

  for (const GifFrame& frame : images_) {
    if (frame.pixels.empty()) continue;
    if (frame.has_graphic_control) {
      const GifGraphicControl& gc = frame.graphic_control;
      out.insert(out.end(),
                 {0x21, 0xF9, 0x04,
                  static_cast<uint8_t>(((gc.disposal & 7) << 2) | (gc.transparent ? 1 : 0))});
      PutWord(out, gc.delay);
      out.insert(out.end(), {gc.transparent_index, 0x00});
    }
    out.push_back(0x2C);
    PutWord(out, frame.left);
    PutWord(out, frame.top);
    PutWord(out, frame.width);
    PutWord(out, frame.height);
    const int local_bits = TableBits(frame.color_map.size());
    // Pixels are held in row order, so the frame is always written without interlacing.
    out.push_back(static_cast<uint8_t>(
        local_bits > 0 ? 0x80 | (frame.sorted ? 0x20 : 0) | (local_bits - 1) : 0));
    if (local_bits > 0) PutColorMap(out, frame.color_map, local_bits);
    const int code_size = std::max(2, local_bits > 0 ? local_bits : global_bits);
    out.push_back(static_cast<uint8_t>(code_size));
    EncodeGifLzw(frame.pixels.data(), frame.pixels.size(), code_size, out);
  }
  out.push_back(0x3B);
  stream.WriteBuffer(out.data(), out.size());
}

}  // namespace tessane

namespace tessane {

void EncodeGif(const DibImage& bitmap, const GifOptions& options, ByteStream& out) {
  GifGraphic gif;
  gif.SetColorReduction(options.color_reduction);
  gif.Assign(bitmap);
  gif.SaveToStream(out);
}

}  // namespace tessane
