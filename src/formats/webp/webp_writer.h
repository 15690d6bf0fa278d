#pragma once
// WebP output through libwebp: lossy (VP8) by default, lossless (VP8L) on request, alpha kept,
// metadata (EXIF, ICC profile, XMP) in the extended file format's chunks.

#include <cstdint>
#include <vector>

namespace tessane {

class DibImage;
class ByteStream;

/// The quality tessane-cli writes WebP at unless told otherwise. It matches our JPEG output at
/// its quality 75 by butteraugli distance, in fewer bytes (README, "Output quality").
constexpr int kDefaultWebpQuality = 80;

struct WebpOptions {
  int quality = kDefaultWebpQuality;  // 1..100; for lossless, the effort spent on compression
  bool lossless = false;
  std::vector<uint8_t> exif;  // a TIFF structure ("II*\0" or "MM\0*"), or empty
  std::vector<uint8_t> icc;   // an ICC profile, or empty
  std::vector<uint8_t> xmp;   // an XMP packet, or empty
};

/// Writes `bitmap` as a WebP file. Throws InvalidImageError for an empty bitmap or a picture beyond
/// WebP's 16383-pixel sides, and for an encoder failure ("WebP error: ..."); nothing is written
/// then.
void EncodeWebp(const DibImage& bitmap, const WebpOptions& options, ByteStream& out);

}  // namespace tessane
