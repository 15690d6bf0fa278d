#pragma once
// TJpeg2000Bitmap: JPEG 2000 pictures (JP2 files and bare codestreams) decoded into the bitmap it
// is, and JP2 output from a bitmap.

#include <cstdint>

#include "base/errors.h"
#include "formats/bitmap.h"

namespace tessane {

/// Failures of the JPEG 2000 writer and reader.
TESSANE_DECLARE_ERROR(EJpeg2000Error, EInvalidGraphic)

/// Byte budget and rate of the single quality layer for a lossy save, in single precision as
/// the encoder takes them.
struct TJpeg2000Rate {
  float TargetBytes = 0;  // E: the codestream size aimed at
  float Rate = 0;         // R = samples / E, the compression ratio handed to the encoder
};

/// The rate for quality (0..100), component count and size: f = 100 / (115 - quality)^2 bytes per
/// sample, E = samples x f + 550 + 142 x (components - 1), R = 1 / (E / samples).
TJpeg2000Rate Jpeg2000Rate(uint8_t quality, int components, int32_t width, int32_t height);

class TJpeg2000Bitmap : public TBitmap {
 public:
  TESSANE_GRAPHIC_CLASS()
  TJpeg2000Bitmap() = default;

  /// Decodes a JP2 file (signature 00 00 00 0C 6A 50 20 20) or a bare codestream (FF 4F FF 51):
  /// three components give 24 bits per pixel, four give 32 (the fourth as alpha), any other count
  /// an 8-bit grey picture of the first component. Throws EJpeg2000Error "Unknown JPEG 2000 file
  /// type" or "JPEG 2000 image decoding failed" and then leaves the bitmap as it was.
  void LoadFromStream(TStream& stream) override;
  /// Writes a JP2 file: three components for a 24-bit bitmap, four (alpha last) for a 32-bit
  /// one; other formats are converted to 24 bits first. An empty bitmap writes nothing; a failure
  /// writes nothing and throws EJpeg2000Error.
  void SaveToStream(TStream& stream) override;

  /// Lossless coding (no rate limit); default off.
  void SetLossless(bool lossless) { lossless_ = lossless; }
  bool Lossless() const { return lossless_; }
  /// Quality 0..100 for lossy coding; default 80.
  void SetQuality(uint8_t quality) { quality_ = quality; }
  uint8_t Quality() const { return quality_; }

 private:
  bool lossless_ = false;
  uint8_t quality_ = 80;
};

}  // namespace tessane
