#pragma once
// DibImage: a device-independent bitmap of 1, 4, 8, 15, 16, 24 or 32 bits per pixel, with a
// colour table of up to 256 entries for the paletted formats and an optional transparent mark.
// It is the "bitmap kind" of graphic: the JPEG 2000 graphic and every additional reader derive
// from it and hold their decoded pixels here.

#include <cstdint>
#include <vector>

#include "formats/graphic.h"

namespace tessane {

enum class DibFormat { k1Bit, k4Bit, k8Bit, k15Bit, k16Bit, k24Bit, k32Bit };

/// A colour table entry as stored in bitmap files.
struct PaletteEntry {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
  bool operator==(const PaletteEntry&) const = default;
};

inline PaletteEntry PaletteColor(uint8_t red, uint8_t green, uint8_t blue) {
  return PaletteEntry{blue, green, red, 0};
}

int BitsPerPixel(DibFormat format);

class DibImage : public Graphic {
 public:
  DibImage() = default;

  /// Reads a Windows bitmap file (a 0-byte stream gives an empty bitmap).
  void LoadFromStream(ByteStream& stream) override;
  DibImage* AsBitmap() override { return this; }
  /// Writes a Windows bitmap file; an empty bitmap writes nothing.
  void SaveToStream(ByteStream& stream) override;

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  /// Copies the pixels (as $AARRGGBB, see ToColor32Row) into the rectangle; a rectangle of
  /// another size is filled by nearest-neighbour sampling.
  void Draw(const ArgbView& target, const Rect& rect) override;
  /// Copies the pixels: a 32-bit bitmap brings its fourth byte as alpha, every other format
  /// alpha 255; a transparent bitmap's pixels of TransparentColor get alpha 0.
  void ConvertTo(ArgbImage& image) override;
  /// Becomes a 32-bit bitmap of the image's size with the same pixel words, alpha included.
  void Assign(const ArgbImage& image);

  DibFormat PixelFormat() const { return format_; }
  /// Changes the pixel format, converting existing pixels. Conversions to the paletted formats
  /// only keep indices when coming from another paletted format.
  void SetPixelFormat(DibFormat format);
  /// Resizes; every pixel becomes zero (index 0 / black, alpha 0). Negative sides count as 0.
  void SetSize(int32_t width, int32_t height);
  void SetWidth(int32_t width) { SetSize(width, height_); }
  void SetHeight(int32_t height) { SetSize(width_, height); }
  /// Drops pixels, colour table and transparency: an empty 0 x 0 bitmap of the same format.
  void Clear();

  /// Bytes of one row: 4-byte aligned, as in bitmap files.
  size_t RowBytes() const { return row_bytes_; }
  /// Row y, top row first.
  uint8_t* ScanLine(int32_t y) { return pixels_.data() + static_cast<size_t>(y) * row_bytes_; }
  const uint8_t* ScanLine(int32_t y) const {
    return pixels_.data() + static_cast<size_t>(y) * row_bytes_;
  }

  const std::vector<PaletteEntry>& Palette() const { return palette_; }
  /// Sets the colour table (entries beyond 256 are dropped).
  void SetPalette(std::vector<PaletteEntry> palette);

  /// A transparent bitmap: pixels of TransparentColor count as see-through.
  bool Transparent() const { return transparent_; }
  /// Platform colour value: red in bits 0-7, green 8-15, blue 16-23.
  uint32_t TransparentColor() const { return transparent_color_; }
  void SetTransparent(bool on, uint32_t color = 0) {
    transparent_ = on;
    transparent_color_ = color;
  }

  /// Row y as $AARRGGBB words. A 32-bit bitmap gives its fourth byte as alpha; every other
  /// format gives alpha 255. Indices beyond the colour table read as black.
  void ToColor32Row(int32_t y, uint32_t* out) const;

  /// Makes this bitmap a copy of `source` (pixels, format, colour table, transparency).
  void Assign(const DibImage& source);

 private:
  DibFormat format_ = DibFormat::k24Bit;
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t row_bytes_ = 0;
  std::vector<uint8_t> pixels_;
  std::vector<PaletteEntry> palette_;
  bool transparent_ = false;
  uint32_t transparent_color_ = 0;
};

}  // namespace tessane
