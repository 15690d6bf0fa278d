#pragma once
// TBitmap32: the 32-bit working surface every picture is converted into for scaling. One
// contiguous block of $AARRGGBB words, rows top-down without padding.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"
#include "formats/surface.h"
#include "raster/color32.h"

namespace tessane {

class TBitmap;
class TGraphic;
class TJPEGImage;
class TPNGObject;
class TPicture;
class TCustomResampler;

TESSANE_DECLARE_ERROR(EBitmapException, Exception)
TESSANE_DECLARE_ERROR(ESrcInvalidException, EBitmapException)

/// How a stretch combines source pixels with the destination. Only dmOpaque (overwrite,
/// alpha included) is implemented; the program never selects the others.
enum class TDrawMode { dmOpaque, dmBlend, dmCustom, dmTransparent };

/// Values of TBitmap32::StretchFilter. Any other byte selects the kernel resampler with a box
/// kernel.
enum TStretchFilter : uint8_t {
  sfNearest = 0,
  sfDraft = 1,
  sfLinear = 2,
  sfCosine = 3,
  sfSpline = 4,
  sfLanczos = 5,
  sfMitchell = 6,
};

/// A 32-bit ARGB raster that pictures are converted into, stretched from and handed back from.
/// Owns its pixel buffer and its resampler; not copyable.
class TBitmap32 {
 public:
  /// An empty 0 x 0 bitmap, dmOpaque, StretchFilter 0, with a TNearestResampler.
  TBitmap32();
  ~TBitmap32();
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  /// The pixel buffer; nullptr while the bitmap is empty.
  TColor32* Bits() { return bits_; }
  const TColor32* Bits() const { return bits_; }
  /// Address of row y (0 = top); y must lie in 0..Height()-1 of a non-empty bitmap.
  TColor32* Row(int32_t y) { return bits_ + static_cast<size_t>(y) * width_; }
  const TColor32* Row(int32_t y) const { return bits_ + static_cast<size_t>(y) * width_; }

  /// Negative sides count as 0. The same size keeps the pixels and notifies nothing; any other
  /// size drops the buffer and, when both sides are positive, allocates a zeroed one. A size
  /// beyond base/limits.h or a failed allocation throws EOutOfResources "Can't allocate the DIB
  /// handle" and leaves the bitmap empty at 0 x 0. A single zero side gives an empty bitmap
  /// that reports the other side.
  void Resize(int32_t width, int32_t height);
  /// True without a buffer or with a zero side.
  bool IsEmpty() const { return bits_ == nullptr || width_ == 0 || height_ == 0; }
  TRect Bounds() const { return TRect{0, 0, width_, height_}; }
  /// The area writes into this bitmap are limited to; the bounds after every size change.
  TRect ClipArea() const { return clip_area_; }
  TDrawMode DrawMode() const { return draw_mode_; }

  /// Sets every pixel of ClipArea (nothing when empty), then NotifyChanged.
  void Fill(TColor32 color);
  /// Sets the alpha byte of every pixel, keeping red, green and blue, then NotifyChanged.
  void SetAllAlpha(uint8_t alpha);
  /// A view of the pixels for TGraphic::Draw (an empty view when the bitmap is empty).
  TSurface Surface();

  /// Converts the picture's graphic: bitmap kinds by pixel copy, icons and metafiles drawn over
  /// two backgrounds (alpha 0 where the background shows), any other graphic drawn over
  /// transparent black and made opaque. An empty picture empties the bitmap. Errors of the
  /// drawing pass out unchanged.
  void Assign(const TPicture& picture);
  /// A graphic given directly: bitmap kinds by pixel copy, every other class drawn.
  void Assign(TGraphic& graphic);
  /// Size, pixels and settings (draw mode, stretch filter, a copy of the resampler).
  void Assign(const TBitmap32& other);
  /// The picture's bitmap (PictureBitmap) becomes a 32-bit TBitmap of this size with the same
  /// pixel words, alpha included.
  void AssignTo(TPicture& picture) const;
  void AssignTo(TBitmap& bitmap) const;
  /// Bitmap kinds as above; any other graphic throws EConvertError
  /// "Cannot assign a TBitmap32 to a <class>".
  void AssignTo(TGraphic& graphic) const;

  uint8_t StretchFilter() const { return stretch_filter_; }
  /// Selects the resampler: 0 nearest, 1 draft, 2 linear, 3 cosine, 4 spline, 5 Lanczos (width
  /// 3), 6 Mitchell, anything else the kernel resampler with a box kernel. Setting the current
  /// value keeps the current resampler object.
  void SetStretchFilter(uint8_t value);
  /// The resampler StretchTo uses when this bitmap is the source (never nullptr).
  TCustomResampler* Resampler() const { return resampler_.get(); }
  /// Installs a resampler (nothing for nullptr or the current one) and notifies a change.
  void SetResampler(std::unique_ptr<TCustomResampler> resampler);

  /// Stretches srcRect of this bitmap onto dstRect of dst, limited to dst's ClipArea, with this
  /// bitmap's resampler. See StretchCopy for the errors.
  void StretchTo(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const;

  /// Change notifications are suppressed while the update counter is above 0.
  void BeginUpdate() { ++update_count_; }
  /// Lowers the update counter; below 1 it throws Exception
  /// "Unpaired TThreadPersistent.EndUpdate".
  void EndUpdate();
  /// Calls OnAreaChanged with the bounds, then OnChange (each only at update count 0).
  void NotifyChanged();
  /// As NotifyChanged, with the given area for OnAreaChanged.
  void NotifyChanged(const TRect& area);

  /// Notification hooks; none is installed by the program.
  std::function<void()> OnChange;
  std::function<void(const TRect&)> OnAreaChanged;
  std::function<void()> OnResize;

 private:
  struct FreeDeleter {
    void operator()(TColor32* p) const { std::free(p); }
  };

  // Resize, with the new buffer left unset when `zeroed` is false (for callers that write every
  // pixel at once).
  void Reallocate(int32_t width, int32_t height, bool zeroed);
  bool AssignByDecoding(TJPEGImage& jpeg);
  bool AssignByAdopting(TPNGObject& png);
  void AssignFromBitmapGraphic(const TBitmap& graphic);
  void AssignByDrawing(TGraphic& graphic, int32_t width, int32_t height);
  void AssignOverTwoBackgrounds(TGraphic& graphic, int32_t width, int32_t height);
  void AssignToGraphic(TGraphic& graphic) const;

  int32_t width_ = 0;
  int32_t height_ = 0;
  // The buffer is either allocated here or taken over from a decoded picture; bits_ points at
  // whichever holds it.
  std::unique_ptr<TColor32, FreeDeleter> pixels_;
  std::vector<TColor32> adopted_;
  TColor32* bits_ = nullptr;
  TRect clip_area_{};
  TDrawMode draw_mode_ = TDrawMode::dmOpaque;
  uint8_t stretch_filter_ = sfNearest;
  std::unique_ptr<TCustomResampler> resampler_;
  int32_t update_count_ = 0;
};

/// Converts a platform colour value (red in bits 0-7, green 8-15, blue 16-23; a negative value
/// names a system colour by its low byte) into an opaque pixel.
TColor32 ToColor32(int32_t color);

/// Copies or stretches srcRect of src onto dstRect of dst, writing only inside
/// dstClip and dst's bounds. Nil bitmaps throw EBitmapException ("Destination bitmap is nil",
/// "Source bitmap is nil"); a non-empty srcRect reaching outside src throws
/// ESrcInvalidException "Source rectangle is invalid". Both are raised before any write. An
/// empty source, destination, srcRect or clip writes nothing. Equal rectangle sizes copy the
/// pixels unchanged; other sizes go to resampler.Stretch. dst is then notified for dstRect.
void StretchCopy(TBitmap32* dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32* src,
                 const TRect& srcRect, TCustomResampler& resampler, TDrawMode drawMode);

/// Copies the block of dstClip's size whose top-left source pixel is (srcX, srcY) into dstClip.
/// The caller keeps both blocks inside their bitmaps.
void BlockCopy(TBitmap32& dst, const TRect& dstClip, const TBitmap32& src, int32_t srcX,
               int32_t srcY, TDrawMode drawMode);

}  // namespace tessane
