#pragma once
// GifGraphic: our own reader and writer of GIF files (GIF87a and GIF89a). The reader takes every
// frame and draws the first one on the logical screen; the writer reduces a bitmap to one
// 256-colour frame (see color_quantizer.h) and writes it.

#include <cstdint>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "formats/graphic.h"

namespace tessane {

struct GifColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const GifColor&) const = default;
};

/// A colour table of up to 256 entries.
using GifColorMap = std::vector<GifColor>;

/// The graphic control extension of a frame.
struct GifGraphicControl {
  uint8_t disposal = 0;
  uint16_t delay = 0;  // hundredths of a second
  bool transparent = false;
  uint8_t transparent_index = 0;
};

/// One frame: its image descriptor, its own colour table, its pixels (one index per pixel, rows
/// top-down, de-interlaced) and its graphic control extension, if any.
struct GifFrame {
  uint16_t left = 0;
  uint16_t top = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  bool interlaced = false;  // as stored in the file; pixels are always in row order
  bool sorted = false;
  GifColorMap color_map;
  /// width x height indices. After loading, only the first frame keeps them, since nothing else
  /// is ever drawn; the others are decoded and checked, then dropped.
  std::vector<uint8_t> pixels;
  bool has_graphic_control = false;
  GifGraphicControl graphic_control;
};

class GifGraphic : public Graphic {
 public:
  GifGraphic() = default;

  /// Reads a GIF file from the stream's position to its end: "GIF" in any letter case at the
  /// start, or four bytes further on; all frames. Failures throw InvalidImageError and leave this
  /// object unchanged. A frame reaching beyond the logical screen is cut to it.
  void LoadFromStream(ByteStream& stream) override;

  /// Replaces all content by one frame made from the bitmap: 1, 4 and 8-bit bitmaps keep their
  /// colour table and indices, every other format is reduced by ReduceBitmap. An empty bitmap
  /// gives an empty frame (saved as a 14-byte file without image).
  void Assign(const DibImage& source);
  /// Writes the GIF stream. Throws InvalidImageError "Color not in color table" before writing
  /// anything when a pixel index is not below its colour table's size.
  void SaveToStream(ByteStream& stream) override;

  /// Colour reduction used by Assign (default 6; the resize job sets 8). Every value reduces as
  /// 8 does: an octree palette with the twenty reserved colours kept.
  void SetColorReduction(uint8_t reduction) { color_reduction_ = reduction; }
  uint8_t ColorReduction() const { return color_reduction_; }

  /// The logical screen size.
  int32_t Width() const override { return screen_width_; }
  int32_t Height() const override { return screen_height_; }
  /// Draws the first frame at its offset on the logical screen mapped to `rect`. Pixels of the
  /// frame's transparent index and the screen outside the frame leave the destination unchanged.
  void Draw(const ArgbView& target, const Rect& rect) override;

  const std::vector<GifFrame>& Images() const { return images_; }
  const GifColorMap& GlobalColorMap() const { return global_map_; }
  uint8_t BackgroundIndex() const { return background_index_; }

 private:
  uint16_t screen_width_ = 0;
  uint16_t screen_height_ = 0;
  uint8_t background_index_ = 0;
  GifColorMap global_map_;
  std::vector<GifFrame> images_;
  uint8_t color_reduction_ = 6;
};

}  // namespace tessane
