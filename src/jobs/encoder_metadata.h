#pragma once
// A JPEG source's metadata in the form that encoders with their own metadata boxes take (WebP's
// chunks, AVIF's items): bare payloads without the JPEG segments' identifiers.

#include <cstdint>
#include <vector>

#include "formats/metadata/metadata.h"

namespace tessane {

struct OutputMetadata {
  std::vector<uint8_t> exif;  // the TIFF structure, as PrepareExifForOutput leaves it
  std::vector<uint8_t> icc;   // the whole profile
  std::vector<uint8_t> xmp;   // the main XMP packet
};

/// The metadata of `source` for an output of width x height: the EXIF prepared as for a JPEG
/// output, the ICC profile assembled from its chunks, the main XMP packet (extension parts have
/// no place outside JPEG). Parts that cannot be parsed are left out.
OutputMetadata MetadataForEncoder(const SourceMetadata& source, bool resetOrientation,
                                  int32_t width, int32_t height);

}  // namespace tessane
