#pragma once
// WebP reader (through libwebp; libwebpdemux for the container and animations).

#include <cstdint>
#include <vector>

#include "formats/codec_graphic.h"

namespace tessane {

/// A WebP file, lossy or lossless. An animation gives its first frame on the full canvas,
/// transparent around it.
/// WebP has no orientation of its own: the pixels are kept as stored, and the EXIF block (the
/// only place a WebP can say how it is turned) gives the facts' orientation, the XMP and ICC
/// chunks the rest. Any failure: "Cannot load image. Invalid or unexpected WebP image format."
/// with the reason.
class WebpGraphic : public CodecGraphic {
 protected:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
