#pragma once
// Jpeg2000Graphic: JPEG 2000 pictures (JP2 files and bare codestreams) decoded into the bitmap it
// is, and JP2 output from a bitmap.

#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "formats/bmp/dib_image.h"

namespace tessane {

/// Failures of the JPEG 2000 writer and reader.
TESSANE_DECLARE_ERROR(Jpeg2000Error, InvalidImageError)

/// Byte budget and rate of the single quality layer for a lossy save, in single precision as
/// the encoder takes them.
struct Jpeg2000Rate {
  float target_bytes = 0;  // E: the codestream size aimed at
  float rate = 0;         // R = samples / E, the compression ratio handed to the encoder
};

/// The rate for quality (0..100), component count and size: f = 100 / (115 - quality)^2 bytes per
/// sample, E = samples x f + 550 + 142 x (components - 1), R = 1 / (E / samples).
Jpeg2000Rate Jpeg2000RateFor(uint8_t quality, int components, int32_t width, int32_t height);

class Jpeg2000Graphic : public DibImage {
 public:
  Jpeg2000Graphic() = default;

  /// Decodes a JP2 file (signature 00 00 00 0C 6A 50 20 20) or a bare codestream (FF 4F FF 51):
  /// three components give 24 bits per pixel, four give 32 (the fourth as alpha), any other count
  /// an 8-bit grey picture of the first component. Throws Jpeg2000Error "Unknown JPEG 2000 file
  /// type" or "JPEG 2000 image decoding failed" and then leaves the bitmap as it was.
  void LoadFromStream(ByteStream& stream) override;
  /// Writes a JP2 file: three components for a 24-bit bitmap, four (alpha last) for a 32-bit
  /// one; other formats are converted to 24 bits first. An empty bitmap writes nothing; a failure
  /// writes nothing and throws Jpeg2000Error.
  void SaveToStream(ByteStream& stream) override;

  /// Lossless coding (no rate limit); default off.
  void SetLossless(bool lossless) { lossless_ = lossless; }
  bool Lossless() const { return lossless_; }
  /// Quality 0..100 for lossy coding; default 80.
  void SetQuality(uint8_t quality) { quality_ = quality; }
  uint8_t Quality() const { return quality_; }

  /// The ICC profile written for the pixels (a JP2 `colr` box of method 2); empty:
  /// sRGB by its enumerated colour space.
  void SetIccProfile(std::vector<uint8_t> profile) { icc_profile_ = std::move(profile); }

 private:
  bool lossless_ = false;
  uint8_t quality_ = 80;
  std::vector<uint8_t> icc_profile_;
};

}  // namespace tessane
