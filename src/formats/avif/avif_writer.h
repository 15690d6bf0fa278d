#pragma once
// AVIF output through libheif and its AV1 encoder (libaom): lossy, 4:2:0, alpha kept as an
// auxiliary picture, metadata (EXIF, ICC profile, XMP) in the file's own boxes.

#include <cstdint>
#include <vector>

namespace tessane {

class DibImage;
class ByteStream;

/// The quality tessane-cli writes AVIF at unless told otherwise. It matches our JPEG output at
/// its quality 75 by butteraugli distance, in fewer bytes (README, "Output quality").
constexpr int kDefaultAvifQuality = 55;

struct AvifOptions {
  int quality = kDefaultAvifQuality;  // 1..100
  std::vector<uint8_t> exif;  // a TIFF structure ("II*\0" or "MM\0*"), or empty
  std::vector<uint8_t> icc;   // an ICC profile, or empty
  std::vector<uint8_t> xmp;   // an XMP packet, or empty
};

/// Writes `bitmap` as an AVIF file. Throws InvalidImageError for an empty bitmap and for an
/// encoder failure ("AVIF error: ..." with libheif's words); nothing is written then.
void EncodeAvif(const DibImage& bitmap, const AvifOptions& options, ByteStream& out);

}  // namespace tessane
