#pragma once
// Optional behaviour of the resize work that tessane-cli offers on top of the window's. The
// defaults are the window's work: pictures turned upright by their orientation tag, the source's
// ICC profile carried with its pixels.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/box.h"
#include "formats/metadata/metadata.h"

namespace tessane {

class ArgbImage;
class Graphic;
class Picture;

/// Settings the window never changes.
struct ResizeExtras {
  bool auto_orient = true;     // turn JPEG, TIFF and WebP pictures upright by their orientation tag
  bool keep_metadata = false;  // carry the source's EXIF and XMP into outputs that hold them
  bool strip = false;          // no ICC profile either (by default it goes with the pixels)
  bool shrink_only = false;    // pictures within the target size keep their own size
  std::optional<uint32_t> background;  // $RRGGBB behind transparent parts instead of black
  bool keep_date = false;               // the output gets the source's modification time
  bool strict = false;  // a picture decoded from damaged data fails instead of being written
  std::optional<int> quality;  // 1..100 for JPEG, WebP and AVIF outputs; unset: each one's default
  bool lossless = false;       // WebP outputs are written lossless
  bool convert_to_srgb = false;  // pixels go from the source's ICC profile to sRGB before scaling
  std::optional<Box> box;  // --fit or --fill instead of the size and size mode
};

/// What the work does with a source's facts.
struct SourceFacts {
  int orientation = 0;             // the turn to apply before scaling; 0: leave as stored
  SourceMetadata metadata;         // what goes into the output
  bool reset_orientation = false;  // the output's pixels are upright: its EXIF says 1
};

/// From the loaded graphic's facts: the orientation to apply (AutoOrient, where the reader has
/// not applied it already) and the metadata to carry (KeepMetadata).
SourceFacts ReadSourceFacts(const Graphic& graphic, const ResizeExtras& extras);

/// As ArgbImage::Assign(picture), with every transparent or partly transparent pixel composed
/// over the opaque colour $RRGGBB. A 32-bit bitmap whose alpha bytes are all 0 counts as opaque
/// (its fourth byte is unused). The result is opaque.
void AssignOverBackground(ArgbImage& bitmap, const Picture& picture, uint32_t rgb);

/// The encoded output with the source's metadata added (JPEG and PNG outputs; others unchanged).
std::vector<uint8_t> AddMetadata(std::vector<uint8_t> encoded, bool jpegOutput,
                                 const SourceMetadata& metadata, bool resetOrientation,
                                 int32_t width, int32_t height);

/// Gives `dest` the modification time of `source`; throws FileSystemError when that fails.
void CopyModificationTime(const std::string& source, const std::string& dest);

}  // namespace tessane
