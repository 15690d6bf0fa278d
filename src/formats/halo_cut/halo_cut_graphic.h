#pragma once

#include <string>

#include "formats/decode_on_load_graphic.h"

namespace tessane {

/// Dr. Halo images (cut): run-length rows of 8-bit indices. The colours come from the companion
/// palette file (the same path with the extension ".pal") when it exists and is a valid Dr. Halo
/// palette, else from a grey ramp of 256 entries. Bad files fail with
/// "Cannot load image. Invalid or unexpected CUT image format.".
class HaloCutGraphic : public DecodeOnLoadGraphic {
 public:
  /// Notes the companion palette of `path`, then loads the file as usual.
  void LoadFromFile(const std::string& path) override;
  /// Loads the image alone: the colours are the grey ramp unless LoadFromFile named a palette.

 private:
  void Decode(ByteStream& stream) override;
  std::string palette_path_;
};

/// The companion palette path: `path` with its extension replaced by ".pal".
std::string CutPalettePath(const std::string& path);

/// Parses a Dr. Halo palette file ("AH" header, 16-bit levels scaled by the header's maxima,
/// entries never crossing a 512-byte block). Returns an empty table when the data are not one.
std::vector<PaletteEntry> ParseHaloPalette(const std::vector<uint8_t>& data);

}  // namespace tessane
