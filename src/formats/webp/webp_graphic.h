#pragma once
// WebP reader (through libwebp; libwebpdemux for the container and animations).

#include <cstdint>
#include <vector>

#include "formats/codec_graphic.h"

namespace tessane {

/// A WebP file, lossy or lossless. An animation gives its first frame on the full canvas,
/// transparent around it.
/// WebP has no orientation of its own: the pixels are kept as stored, and the EXIF block (the
/// only place a WebP can say how it is turned) is kept for tessane-cli's --auto-orient. Any
/// failure: "Cannot load image. Invalid or unexpected WebP image format." with the reason.
class WebpGraphic : public CodecGraphic {
 public:

  /// The file's EXIF block as a TIFF structure (without an "Exif\0\0" prefix); empty if none.
  const std::vector<uint8_t>& Exif() const { return exif_; }

 protected:
  void Decode(ByteStream& stream) override;
  void Clear() override;

 private:
  std::vector<uint8_t> exif_;
};

}  // namespace tessane
