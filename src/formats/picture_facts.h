#pragma once
// What a reader learns of a picture beyond its pixels, filled once while it loads, so that the
// jobs and both front ends never need to know the format or read the file again.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "formats/metadata/metadata.h"

namespace tessane {

/// How the file stores its colours, where the decoded pixels alone do not tell.
enum class ColourModel { kRgb, kCmyk, kYcck };

struct PictureFacts {
  /// The EXIF or TIFF orientation (1 to 8) of the stored pixels; 0 when the file says nothing.
  int orientation = 0;
  /// The reader turned the pixels upright already (HEIF, AVIF and JPEG XL do it by their own
  /// boxes and headers): the orientation above only describes the stored data.
  bool orientation_applied = false;
  /// EXIF, XMP and ICC as JPEG segment payloads ("Exif\0\0" + TIFF, XMP id + packet,
  /// "ICC_PROFILE\0" chunks), the form outputs splice them in from.
  SourceMetadata metadata;
  /// The whole ICC profile of the pixels; empty when there is none, or the file says sRGB.
  std::vector<uint8_t> icc;
  /// EXIF DateTimeOriginal.
  std::optional<std::tm> capture_date;
  /// The decoder's first complaint about damaged data: the pixels hold stand-ins where data
  /// were missing. Filled when the pixels are decoded.
  std::string decode_warning;
  ColourModel colour_model = ColourModel::kRgb;
  /// The scale denominators the reader can decode at (Graphic::SetScaleDenominator), 1 first.
  std::vector<int> scales{1};
};

/// The ICC profile as APP2 "ICC_PROFILE\0" payloads of at most 65519 profile bytes each.
std::vector<std::vector<uint8_t>> IccProfileChunks(const std::vector<uint8_t>& profile);

/// Fills the facts' EXIF ("Exif\0\0" + the TIFF structure), orientation and capture date from a
/// bare TIFF structure or an APP1 payload.
void SetExifFacts(PictureFacts& facts, const std::vector<uint8_t>& exif);
/// Fills the facts' XMP from a bare packet.
void SetXmpFacts(PictureFacts& facts, const std::vector<uint8_t>& packet);
/// Fills the facts' ICC profile, whole and as chunks.
void SetIccFacts(PictureFacts& facts, std::vector<uint8_t> profile);

}  // namespace tessane
