#pragma once
// CodecGraphic: common base of the readers whose decoding a codec library does (HEIF/AVIF
// through libheif, WebP through libwebp, JPEG XL through libjxl). They are read by tessane-cli
// only (RegisterCommandLineFormats); the window keeps its own list of formats.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/graphic.h"

namespace tessane {

/// A picture decoded whole at load time into 32-bit $AARRGGBB pixels with straight alpha (255
/// where the file has none), the layout of the resize job's source bitmap, which takes the
/// buffer over instead of copying it (TakePixels).
class CodecGraphic : public Graphic {
 public:

  /// Decodes the whole file. The graphic is empty while decoding starts and after a failure, so
  /// a file that fails half-way leaves nothing of itself behind.
  void LoadFromStream(ByteStream& stream) final;

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  /// Lays the pixels over the rectangle (nearest-neighbour when sizes differ): transparent
  /// pixels leave the target as it is, partly transparent ones are blended over it.
  void Draw(const ArgbView& target, const Rect& rect) override;
  /// Hands the pixels over to the image, alpha included, instead of drawing them.
  void ConvertTo(ArgbImage& image) override;
  /// These formats are read only: their outputs go through the writer table.
  void SaveToStream(ByteStream& stream) override;

  /// The pixels, rows top-down without gaps.
  const std::vector<uint32_t>& Pixels() const { return pixels_; }
  /// Hands the pixels over; the graphic is empty (0 x 0) afterwards.
  std::vector<uint32_t> TakePixels();

 protected:
  /// Reads the file from the stream's position into the pixels; throws on bad data.
  virtual void Decode(ByteStream& stream) = 0;
  /// Sizes the picture after checking the sides against the picture limits (throwing the
  /// reader's error, "... too large", before allocating otherwise) and returns its first pixel;
  /// every pixel is 0 (transparent black).
  uint32_t* AllocatePixels(int64_t width, int64_t height, const char* label);
  /// Throws InvalidImageError "Cannot load image. Invalid or unexpected %s image format." with the
  /// library's explanation appended in brackets when it gave one.
  [[noreturn]] static void Fail(const char* label, const std::string& detail = {});
  /// Drops the pixels.
  virtual void Clear();

 private:
  std::vector<uint32_t> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace tessane
