#pragma once
// MetafileGraphic: enhanced metafiles and placeable Windows metafiles, told apart by their content.

#include <array>
#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "formats/graphic.h"

namespace tessane {

/// Text in a metafile is drawn with the font database, which exists only while a
/// QGuiApplication does; without one, drawing text fails with this error instead of leaving the
/// text out. The format registry marks the metafile formats as needing fonts.
TESSANE_DECLARE_ERROR(MissingFontsError, Exception)

/// A vector picture. Loading keeps the bytes (an enhanced file whole, a placeable file's Windows
/// records) and the sizes its header gives; drawing plays the records into the rectangle.
class MetafileGraphic : public Graphic {
 public:
  MetafileGraphic() = default;

  /// Reads an enhanced metafile (more than 100 bytes, type 1, " EMF" signature) or a placeable
  /// Windows metafile (key 0x9AC6CDD7 and a matching checksum). Anything else, or a header that
  /// cannot describe a picture, fails with InvalidImageError "Metafile is not valid" and leaves the
  /// graphic unchanged.
  void LoadFromStream(ByteStream& stream) override;
  /// Writes the metafile as it was read (nothing for a graphic that was never loaded).
  void SaveToStream(ByteStream& stream) override;

  /// Pixel size from the header (see LoadFromStream); 0 before loading.
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  /// Size in hundredths of a millimetre.
  int32_t MMWidth() const { return mm_width_; }
  int32_t MMHeight() const { return mm_height_; }
  /// True for an enhanced metafile, false for a placeable Windows metafile.
  bool Enhanced() const { return enhanced_; }

  /// Plays the records into `rect`: the enhanced frame, or the placeable bounding box, fills the
  /// rectangle. Nothing outside the rectangle or the surface is touched. Text is drawn only when
  /// a QGuiApplication exists (the font database needs one).
  void Draw(const ArgbView& target, const Rect& rect) override;
  /// Drawn over two backgrounds: what the graphic leaves uncovered becomes transparent.
  void ConvertTo(ArgbImage& image) override { DrawOverTwoBackgrounds(image); }

 private:
  void LoadEnhanced(ByteStream& stream, const std::vector<uint8_t>& head);
  void LoadPlaceable(ByteStream& stream, const std::vector<uint8_t>& head);

  bool enhanced_ = true;
  std::vector<uint8_t> data_;
  std::array<uint8_t, 22> placeable_{};
  int16_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  int32_t width_ = 0, height_ = 0;
  int32_t mm_width_ = 0, mm_height_ = 0;
};

}  // namespace tessane
