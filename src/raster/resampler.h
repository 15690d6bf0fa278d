#pragma once
// Resampler: the base of every resampler. A resampler holds only its settings; the
// bitmap that owns it is its source when that bitmap is stretched.

#include <memory>

#include "base/geometry.h"
#include "raster/argb_image.h"

namespace tessane {

/// Scales one bitmap's rectangle onto another's; subclasses hold only their settings.
class Resampler {
 public:
  virtual ~Resampler() = default;
  virtual const char* ClassName() const = 0;
  /// A new resampler of the same class with the same settings, owned by no bitmap.
  virtual std::unique_ptr<Resampler> Clone() const = 0;
  /// Scales srcRect of src onto dstRect of dst, writing exactly the pixels of dstClip. The
  /// caller (StretchCopy) has checked that dstClip lies inside dst and dstRect, that srcRect is
  /// non-empty and inside src, and that the two rectangles differ in size.
  virtual void Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                       const ArgbImage& src, const Rect& srcRect, DrawMode drawMode) const = 0;

  /// The bitmap this resampler is installed in, or nullptr.
  ArgbImage* Bitmap() const { return bitmap_; }

 protected:
  Resampler() = default;
  // A copy belongs to no bitmap until it is installed.
  Resampler(const Resampler&) {}
  Resampler& operator=(const Resampler&) = delete;
  /// Tells the owning bitmap that a setting changed.
  void Changed() {
    if (bitmap_ != nullptr) bitmap_->NotifyChanged();
  }

 private:
  friend class ArgbImage;
  ArgbImage* bitmap_ = nullptr;
};

}  // namespace tessane
