#pragma once
// ArgbImage: the 32-bit working surface every picture is converted into for scaling. One
// contiguous block of $AARRGGBB words, rows top-down without padding.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"
#include "formats/argb_view.h"
#include "raster/argb32.h"

namespace tessane {

class DibImage;
class CodecGraphic;
class Graphic;
class JpegGraphic;
class PngGraphic;
class Picture;
class Resampler;

TESSANE_DECLARE_ERROR(BitmapError, Exception)
TESSANE_DECLARE_ERROR(SourceInvalidError, BitmapError)

/// How a stretch combines source pixels with the destination. Only kDrawOpaque (overwrite,
/// alpha included) is implemented; the program never selects the others.
enum class DrawMode { kDrawOpaque, kDrawBlend, kDrawCustom, kDrawTransparent };

/// A 32-bit ARGB raster that pictures are converted into, stretched from and handed back from.
/// Owns its pixel buffer and its resampler; not copyable.
class ArgbImage {
 public:
  /// An empty 0 x 0 bitmap, kDrawOpaque, with a NearestResampler.
  ArgbImage();
  ~ArgbImage();
  ArgbImage(const ArgbImage&) = delete;
  ArgbImage& operator=(const ArgbImage&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  /// The pixel buffer; nullptr while the bitmap is empty.
  Argb32* Bits() { return bits_; }
  const Argb32* Bits() const { return bits_; }
  /// Address of row y (0 = top); y must lie in 0..Height()-1 of a non-empty bitmap.
  Argb32* Row(int32_t y) { return bits_ + static_cast<size_t>(y) * width_; }
  const Argb32* Row(int32_t y) const { return bits_ + static_cast<size_t>(y) * width_; }

  /// Negative sides count as 0. The same size keeps the pixels and notifies nothing; any other
  /// size drops the buffer and, when both sides are positive, allocates a zeroed one. A size
  /// beyond base/limits.h or a failed allocation throws OutOfResourcesError "Can't allocate the DIB
  /// handle" and leaves the bitmap empty at 0 x 0. A single zero side gives an empty bitmap
  /// that reports the other side.
  void Resize(int32_t width, int32_t height);
  /// True without a buffer or with a zero side.
  bool IsEmpty() const { return bits_ == nullptr || width_ == 0 || height_ == 0; }
  Rect Bounds() const { return Rect{0, 0, width_, height_}; }
  /// The area writes into this bitmap are limited to; the bounds after every size change.
  Rect ClipArea() const { return clip_area_; }
  DrawMode draw_mode() const { return draw_mode_; }

  /// Sets every pixel of ClipArea (nothing when empty), then NotifyChanged.
  void Fill(Argb32 color);
  /// Sets the alpha byte of every pixel, keeping red, green and blue, then NotifyChanged.
  void SetAllAlpha(uint8_t alpha);
  /// A view of the pixels for Graphic::Draw (an empty view when the bitmap is empty).
  ArgbView Surface();

  /// Converts the picture's graphic: bitmap kinds by pixel copy, icons and metafiles drawn over
  /// two backgrounds (alpha 0 where the background shows), any other graphic drawn over
  /// transparent black and made opaque. An empty picture empties the bitmap. Errors of the
  /// drawing pass out unchanged.
  void Assign(const Picture& picture);
  /// A graphic given directly: bitmap kinds by pixel copy, every other class drawn.
  void Assign(Graphic& graphic);
  /// Size, pixels and settings (draw mode, a copy of the resampler).
  void Assign(const ArgbImage& other);
  /// The picture's bitmap (EnsureBitmap) becomes a 32-bit DibImage of this size with the same
  /// pixel words, alpha included.
  void AssignTo(Picture& picture) const;
  void AssignTo(DibImage& bitmap) const;
  /// Bitmap kinds as above; any other graphic throws ConversionError
  /// "Cannot assign a TBitmap32 to a TGraphic".
  void AssignTo(Graphic& graphic) const;

  /// The resampler StretchTo uses when this bitmap is the source (never nullptr).
  Resampler* resampler() const { return resampler_.get(); }
  /// Installs a resampler (nothing for nullptr or the current one) and notifies a change;
  /// MakeResampler (raster/filters.h) makes the one a filter names.
  void SetResampler(std::unique_ptr<Resampler> resampler);

  /// Stretches srcRect of this bitmap onto dstRect of dst, limited to dst's ClipArea, with this
  /// bitmap's resampler. See StretchCopy for the errors.
  void StretchTo(ArgbImage& dst, const Rect& dstRect, const Rect& srcRect) const;

  /// Change notifications are suppressed while the update counter is above 0.
  void BeginUpdate() { ++update_count_; }
  /// Lowers the update counter; below 1 it throws Exception
  /// "Unpaired TThreadPersistent.EndUpdate".
  void EndUpdate();
  /// Calls OnAreaChanged with the bounds, then OnChange (each only at update count 0).
  void NotifyChanged();
  /// As NotifyChanged, with the given area for OnAreaChanged.
  void NotifyChanged(const Rect& area);

  /// Notification hooks; none is installed by the program.
  std::function<void()> OnChange;
  std::function<void(const Rect&)> OnAreaChanged;
  std::function<void()> OnResize;

 private:
  struct FreeDeleter {
    void operator()(Argb32* p) const { std::free(p); }
  };

  // Resize, with the new buffer left unset when `zeroed` is false (for callers that write every
  // pixel at once).
  void Reallocate(int32_t width, int32_t height, bool zeroed);
  bool AssignByDecoding(JpegGraphic& jpeg);
  bool AssignByAdopting(PngGraphic& png);
  bool AssignByAdopting(CodecGraphic& graphic);
  void AssignFromBitmapGraphic(const DibImage& graphic);
  void AssignByDrawing(Graphic& graphic, int32_t width, int32_t height);
  void AssignOverTwoBackgrounds(Graphic& graphic, int32_t width, int32_t height);
  void AssignToGraphic(Graphic& graphic) const;

  int32_t width_ = 0;
  int32_t height_ = 0;
  // The buffer is either allocated here or taken over from a decoded picture; bits_ points at
  // whichever holds it.
  std::unique_ptr<Argb32, FreeDeleter> pixels_;
  std::vector<Argb32> adopted_;
  Argb32* bits_ = nullptr;
  Rect clip_area_{};
  DrawMode draw_mode_ = DrawMode::kDrawOpaque;
  std::unique_ptr<Resampler> resampler_;
  int32_t update_count_ = 0;
};

/// Converts a platform colour value (red in bits 0-7, green 8-15, blue 16-23; a negative value
/// names a system colour by its low byte) into an opaque pixel.
Argb32 ToColor32(int32_t color);

/// Copies or stretches srcRect of src onto dstRect of dst, writing only inside
/// dstClip and dst's bounds. Nil bitmaps throw BitmapError ("Destination bitmap is nil",
/// "Source bitmap is nil"); a non-empty srcRect reaching outside src throws
/// SourceInvalidError "Source rectangle is invalid". Both are raised before any write. An
/// empty source, destination, srcRect or clip writes nothing. Equal rectangle sizes copy the
/// pixels unchanged; other sizes go to resampler.Stretch. dst is then notified for dstRect.
void StretchCopy(ArgbImage* dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage* src,
                 const Rect& srcRect, Resampler& resampler, DrawMode drawMode);

/// Copies the block of dstClip's size whose top-left source pixel is (srcX, srcY) into dstClip.
/// The caller keeps both blocks inside their bitmaps.
void BlockCopy(ArgbImage& dst, const Rect& dstClip, const ArgbImage& src, int32_t srcX,
               int32_t srcY, DrawMode drawMode);

}  // namespace tessane
