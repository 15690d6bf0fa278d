#pragma once
// TCustomResampler: the base of every resampler. A resampler holds only its settings; the
// bitmap that owns it is its source when that bitmap is stretched.

#include <memory>

#include "base/geometry.h"
#include "raster/bitmap32.h"

namespace tessane {

/// Scales one bitmap's rectangle onto another's; subclasses hold only their settings.
class TCustomResampler {
 public:
  virtual ~TCustomResampler() = default;
  virtual const char* ClassName() const = 0;
  /// A new resampler of the same class with the same settings, owned by no bitmap.
  virtual std::unique_ptr<TCustomResampler> Clone() const = 0;
  /// Scales srcRect of src onto dstRect of dst, writing exactly the pixels of dstClip. The
  /// caller (StretchCopy) has checked that dstClip lies inside dst and dstRect, that srcRect is
  /// non-empty and inside src, and that the two rectangles differ in size.
  virtual void Stretch(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip,
                       const TBitmap32& src, const TRect& srcRect, TDrawMode drawMode) const = 0;

  /// The bitmap this resampler is installed in, or nullptr.
  TBitmap32* Bitmap() const { return bitmap_; }

 protected:
  TCustomResampler() = default;
  // A copy belongs to no bitmap until it is installed.
  TCustomResampler(const TCustomResampler&) {}
  TCustomResampler& operator=(const TCustomResampler&) = delete;
  /// Tells the owning bitmap that a setting changed.
  void Changed() {
    if (bitmap_ != nullptr) bitmap_->NotifyChanged();
  }

 private:
  friend class TBitmap32;
  TBitmap32* bitmap_ = nullptr;
};

}  // namespace tessane
