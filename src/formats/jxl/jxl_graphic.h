#pragma once
// JPEG XL reader (through libjxl).

#include "formats/codec_graphic.h"

namespace tessane {

/// A JPEG XL file (bare codestream or container, including recompressed JPEGs). The orientation in the image header
/// is applied while decoding, as the format defines; an EXIF block inside the file is not applied
/// again. Deeper samples are reduced to 8 bits; an animation gives its first frame. Any failure:
/// "Cannot load image. Invalid or unexpected JPEG XL image format." with the reason.
class JxlGraphic : public CodecGraphic {
 public:

 protected:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
