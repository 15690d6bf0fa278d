#pragma once
// IconGraphic: a Windows icon file. The whole file is kept; the picture reports the standard icon size
// (32 x 32) and draws the image of the file that fits that size best, through its mask.

#include <cstdint>
#include <vector>

#include "formats/graphic.h"

namespace tessane {

class IconGraphic : public Graphic {
 public:
  /// The size every icon reports and is drawn for.
  static constexpr int32_t kStandardSize = 32;

  IconGraphic();
  ~IconGraphic() override;

  /// Keeps the file and picks its image: the 32 x 32 one (deepest colour first), else the one
  /// closest in size. Bitmap (1/4/8/16/24/32-bit) and PNG images are read. A type word other
  /// than 0 or 1, or no readable image, throws InvalidImageError "Icon image is not valid" and
  /// leaves the icon as it was.
  void LoadFromStream(ByteStream& stream) override;
  /// Writes the kept file unchanged.
  void SaveToStream(ByteStream& stream) override;

  int32_t Width() const override { return data_.empty() ? 0 : kStandardSize; }
  int32_t Height() const override { return data_.empty() ? 0 : kStandardSize; }
  /// Draws the chosen image at the rectangle's size. Pixels its mask hides leave the target
  /// unchanged; partly transparent pixels are blended over it.
  void Draw(const ArgbView& target, const Rect& rect) override;
  /// Drawn over two backgrounds: what the graphic leaves uncovered becomes transparent.
  void ConvertTo(ArgbImage& image) override { DrawOverTwoBackgrounds(image); }

  /// Size of the chosen image as stored (0 x 0 before a load).
  int32_t ImageWidth() const { return image_width_; }
  int32_t ImageHeight() const { return image_height_; }

 private:
  std::vector<uint8_t> data_;
  int32_t image_width_ = 0;
  int32_t image_height_ = 0;
  std::vector<uint32_t> pixels_;  // chosen image, $AARRGGBB with straight alpha, top-down
};

}  // namespace tessane
