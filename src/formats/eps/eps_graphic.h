#pragma once
// Encapsulated PostScript with a binary header: the TIFF preview inside it is the picture.

#include "formats/tiff/tiff_graphic.h"

namespace tessane {

/// An EPS file whose first bytes are C5 D0 D3 C6; the TIFF preview at the offset stored at
/// byte 20 (its length at byte 24) is decoded as a TIFF. A file without that header or without
/// a preview fails with "Cannot load image. Invalid or unexpected EPS image format.".
class EpsGraphic : public TiffGraphic {
 protected:
  void Decode(ByteStream& stream) override;
};

}  // namespace tessane
