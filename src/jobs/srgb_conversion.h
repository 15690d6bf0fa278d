#pragma once
// --colour srgb: a source's pixels converted from its embedded ICC profile to sRGB with Little
// CMS, before scaling, so that every output holds sRGB pixels and needs no profile.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessane {

class ArgbImage;
class Graphic;

class SrgbConversion {
 public:
  /// The conversion a loaded source needs, by the profile in its facts, or null when it needs
  /// none: no profile (pixels without one count as sRGB; a CMYK JPEG without one keeps the
  /// decoder's plain inversion, R = 255 x (1 - C) x (1 - K) with Adobe's inverted storage
  /// undone). A profile that cannot be used (unreadable, or for other colours than the pixels
  /// hold) adds a warning and gives null: the pixels stay as decoded. A picture stored as inks
  /// is decoded again for them (Graphic::DecodeInks), so the graphic must outlive the result.
  static std::unique_ptr<SrgbConversion> ForSource(const Graphic& graphic,
                                                   std::vector<std::string>& warnings);
  /// For a profile in memory (RGB or grey), as ForSource makes it; null with a warning when the
  /// profile cannot be used.
  static std::unique_ptr<SrgbConversion> ForProfile(const std::vector<uint8_t>& icc,
                                                    std::vector<std::string>& warnings);
  ~SrgbConversion();
  SrgbConversion(const SrgbConversion&) = delete;
  SrgbConversion& operator=(const SrgbConversion&) = delete;

  /// The colour ($RRGGBB) in the source's colours that becomes the sRGB colour `rgb`: a
  /// background laid under the picture before the conversion comes out as asked.
  uint32_t SourceColourFor(uint32_t rgb) const;
  /// Converts the bitmap, the source as decoded, in place; alpha is kept. A CMYK JPEG is decoded
  /// once more for its inks. Returns false, with a warning and the pixels untouched, when the
  /// pixels turn out not to fit the profile.
  bool Apply(ArgbImage& bitmap, std::vector<std::string>& warnings) const;

 private:
  struct Impl;
  explicit SrgbConversion(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tessane
