#pragma once
// JpegGraphic: a JPEG picture. It keeps the file's bytes, reads the header at load and decodes the
// pixels on first draw at the decoding scale then in force; it also writes JPEG files from a
// bitmap given with Assign.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "formats/graphic.h"

namespace tessane {

/// Decoding scale: 1/1, 1/2, 1/4 or 1/8 of the stored size.
enum class JpegScale { kFullSize, kHalf, kQuarter, kEighth };

class JpegGraphic : public Graphic {
 public:
  JpegGraphic();
  ~JpegGraphic() override;

  /// Keeps all bytes and reads the header (an empty stream gives an empty picture). A header the
  /// library refuses throws InvalidImageError "JPEG error #%d: text" with its message code and the
  /// library's words for it; the picture then stays as it was.
  void LoadFromStream(ByteStream& stream) override;
  /// With a bitmap given by Assign: encodes it (nothing when it is empty). Otherwise writes the
  /// loaded bytes unchanged.
  void SaveToStream(ByteStream& stream) override;

  /// The size at the current scale, each side rounded up (or the assigned bitmap's size).
  int32_t Width() const override;
  int32_t Height() const override;
  /// Decodes on first use ("JPEG error #%d" when the data cannot be decoded) and copies the
  /// pixels, opaque, into the rectangle.
  void Draw(const ArgbView& target, const Rect& rect) override;
  /// Decodes straight into the image where DecodeInto can (the pixels drawing gives, opaque),
  /// otherwise DrawToArgb.
  void ConvertTo(ArgbImage& image) override;

  /// Sets the decoding scale; pixels decoded at another scale are dropped.
  void SetScale(JpegScale scale);
  JpegScale Scale() const { return scale_; }
  /// Encoding quality 1..100 (default 90).
  void SetQuality(int quality) { quality_ = quality; }
  int Quality() const { return quality_; }
  /// Header facts of the loaded file.
  bool Grayscale() const { return grayscale_; }
  bool ProgressiveEncoding() const { return progressive_; }

  /// Decodes the file at the current scale straight into `target`, which must have exactly the
  /// picture's size, as opaque pixels, without keeping a decoded copy: the same pixels Draw gives
  /// into a full-size rectangle, for a picture drawn once. Returns false, with the target
  /// untouched, when the picture has no such path (nothing loaded, pixels already decoded, an
  /// assigned bitmap, another size, or CMYK data); then Draw is the way. Throws like Draw when the
  /// data cannot be decoded.
  bool DecodeInto(const ArgbView& target);

  /// The library's first warning of the last decoding ("Premature end of JPEG file"): the
  /// pixels came from damaged data and hold the library's stand-in where data were missing.
  /// Empty when the data were whole.
  const std::string& DecodeWarning() const { return facts_.decode_warning; }

  void SetScaleDenominator(int denominator) override;
  int DecodeInks(const InkRows& rows) const override;

  /// Makes the picture a copy of `bitmap`, to be written by SaveToStream.
  void Assign(const DibImage& bitmap);

 private:
  void Decode();
  void ReadFacts(int components);
  bool DecodeStraightInto(ArgbImage& image);

  std::vector<uint8_t> data_;
  int32_t stored_width_ = 0;
  int32_t stored_height_ = 0;
  bool grayscale_ = false;
  bool progressive_ = false;
  JpegScale scale_ = JpegScale::kFullSize;
  int quality_ = 90;
  std::unique_ptr<DibImage> decoded_;   // pixels of data_ at scale_, made on first draw
  std::unique_ptr<DibImage> assigned_;  // bitmap given by Assign
};

}  // namespace tessane
