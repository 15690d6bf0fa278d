#pragma once
// HEIF and AVIF reader (through libheif, with its HEVC and AV1 decoders).

#include "formats/codec_graphic.h"

namespace tessane {

/// The primary image of a HEIF file (HEIC phone photos, and any other codec libheif decodes). The file's own
/// crop, rotation and mirror properties are applied, as the format requires; an EXIF
/// orientation inside the file only describes the stored pixels and is never applied on top.
/// High bit depths are reduced to 8 bits. Any failure: "Cannot load image. Invalid or
/// unexpected HEIF image format." with the decoder's reason.
class HeifGraphic : public CodecGraphic {
 public:

 protected:
  void Decode(ByteStream& stream) override;
  /// The name failures give the format.
  virtual const char* Label() const { return "HEIF"; }
};

/// AVIF files: the same reader (AVIF is HEIF with AV1 pictures), failures naming AVIF.
class AvifGraphic : public HeifGraphic {
 public:

 protected:
  const char* Label() const override { return "AVIF"; }
};

}  // namespace tessane
