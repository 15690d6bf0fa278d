#pragma once
// DecodeOnLoadGraphic: common base of the additional readers. Each decodes the whole file at load
// time into the DibImage it is, with a pixel format that fits the data.

#include <string>
#include <vector>

#include "formats/bmp/dib_image.h"

namespace tessane {

class DecodeOnLoadGraphic : public DibImage {
 public:
  /// Decodes the whole file. The bitmap is empty while decoding starts and after a failure, so a
  /// file that fails half-way leaves nothing of itself behind.
  void LoadFromStream(ByteStream& stream) final;

 protected:
  /// Reads the file from the stream's position into this bitmap; throws on bad data.
  virtual void Decode(ByteStream& stream) = 0;
  /// Throws InvalidImageError "Cannot load image. Invalid or unexpected %s image format.".
  [[noreturn]] static void FailInvalid(const char* label);
  /// Grey ramp of 2^n entries (n = samples x bits, at most 8): entry i = i * (255 div (2^n - 1)).
  static std::vector<PaletteEntry> GreyRamp(int bits);
};

}  // namespace tessane
