#include "raster/argb_image.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/limits.h"
#include "formats/bmp/dib_image.h"
#include "formats/codec_graphic.h"
#include "formats/ico/icon_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "raster/nearest_resampler.h"

namespace tessane {

namespace {

// Colours of the usual desktop scheme, indexed like the platform's system colours, as
// $RRGGBB. There is no system palette here; these stand in for it.
constexpr uint32_t kSystemColors[] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,
};

// Runs the body between BeginUpdate and EndUpdate and sends one change notification at the
// end, also when the body throws.
template <typename Body>
void Bracketed(ArgbImage& bitmap, Body&& body) {
  bitmap.BeginUpdate();
  try {
    body();
  } catch (...) {
    bitmap.EndUpdate();
    bitmap.NotifyChanged();
    throw;
  }
  bitmap.EndUpdate();
  bitmap.NotifyChanged();
}

}  // namespace

Argb32 ToColor32(int32_t color) {
  uint32_t rgb;
  if (color < 0) {
    const uint32_t index = static_cast<uint32_t>(color) & 0xFF;
    rgb = index < std::size(kSystemColors) ? kSystemColors[index] : 0;
  } else {
    const uint32_t c = static_cast<uint32_t>(color);
    rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
  return 0xFF000000u | rgb;
}

ArgbImage::ArgbImage() : resampler_(std::make_unique<NearestResampler>()) {
  resampler_->bitmap_ = this;
}

ArgbImage::~ArgbImage() {
  RecyclePngPixels(std::move(adopted_));
}

void ArgbImage::Resize(int32_t width, int32_t height) {
  Reallocate(width, height, true);
}

void ArgbImage::Reallocate(int32_t width, int32_t height, bool zeroed) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  pixels_.reset();
  RecyclePngPixels(std::exchange(adopted_, {}));
  bits_ = nullptr;
  width_ = height_ = 0;
  clip_area_ = Rect{};
  if (!PictureSizeAllowed(width, height)) throw OutOfResourcesError("Can't allocate the DIB handle");
  if (width > 0 && height > 0) {
    // calloc: a fresh buffer is all zero, and large ones come as untouched zero pages. Without
    // the zeros, malloc may hand back the pages of the previous file's buffer as they are.
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* p = static_cast<Argb32*>(zeroed ? std::calloc(count, sizeof(Argb32))
                                            : std::malloc(count * sizeof(Argb32)));
    if (p == nullptr) throw OutOfResourcesError("Can't allocate the DIB handle");
    pixels_.reset(p);
    bits_ = p;
  }
  width_ = width;
  height_ = height;
  clip_area_ = Bounds();
  NotifyChanged();
  if (OnResize) OnResize();
}

void ArgbImage::Fill(Argb32 color) {
  if (IsEmpty()) return;
  const Rect area = IntersectRect(clip_area_, Bounds());
  if (area == Bounds()) {
    std::fill_n(Bits(), static_cast<size_t>(width_) * height_, color);
  } else if (!area.IsEmpty()) {
    for (int32_t y = area.Top; y < area.Bottom; ++y)
      std::fill(Row(y) + area.Left, Row(y) + area.Right, color);
  }
  NotifyChanged();
}

void ArgbImage::SetAllAlpha(uint8_t alpha) {
  if (!IsEmpty()) {
    const Argb32 a = Argb32{alpha} << 24;
    Argb32* p = Bits();
    const size_t n = static_cast<size_t>(width_) * height_;
    for (size_t i = 0; i < n; ++i) p[i] = (p[i] & 0x00FFFFFFu) | a;
  }
  NotifyChanged();
}

ArgbView ArgbImage::Surface() {
  if (IsEmpty()) return ArgbView{};
  return ArgbView{Bits(), width_, height_, width_};
}

void ArgbImage::EndUpdate() {
  if (update_count_ <= 0) throw Exception("Unpaired TThreadPersistent.EndUpdate");
  --update_count_;
}

void ArgbImage::NotifyChanged() {
  NotifyChanged(Bounds());
}

void ArgbImage::NotifyChanged(const Rect& area) {
  if (update_count_ != 0) return;
  if (OnAreaChanged) OnAreaChanged(area);
  if (OnChange) OnChange();
}

void ArgbImage::Assign(const Picture& picture) {
  Bracketed(*this, [&] {
    Graphic* graphic = picture.graphic();
    if (graphic == nullptr) {
      Resize(0, 0);
    } else if (const auto* bitmap = dynamic_cast<const DibImage*>(graphic)) {
      AssignFromBitmapGraphic(*bitmap);
    } else if (auto* jpeg = dynamic_cast<JpegGraphic*>(graphic); jpeg && AssignByDecoding(*jpeg)) {
      // Decoded straight into the buffer: the pixels the drawn-graphic path gives, opaque.
    } else if (auto* png = dynamic_cast<PngGraphic*>(graphic);
               png && picture.Width() == png->Width() && picture.Height() == png->Height() &&
               AssignByAdopting(*png)) {
      // The decoded pixels themselves, made opaque: what drawing an opaque PNG gives.
    } else if (auto* codec = dynamic_cast<CodecGraphic*>(graphic); codec && AssignByAdopting(*codec)) {
      // Decoded by the codec library straight into this layout, alpha included.
    } else if (dynamic_cast<const IconGraphic*>(graphic) != nullptr ||
               dynamic_cast<const MetafileGraphic*>(graphic) != nullptr) {
      AssignOverTwoBackgrounds(*graphic, picture.Width(), picture.Height());
    } else {
      AssignByDrawing(*graphic, picture.Width(), picture.Height());
    }
  });
}

void ArgbImage::Assign(Graphic& graphic) {
  Bracketed(*this, [&] {
    if (const auto* bitmap = dynamic_cast<const DibImage*>(&graphic))
      AssignFromBitmapGraphic(*bitmap);
    else
      AssignByDrawing(graphic, -1, -1);
  });
}

void ArgbImage::Assign(const ArgbImage& other) {
  if (&other == this) return;
  Bracketed(*this, [&] {
    Resize(other.width_, other.height_);
    if (!IsEmpty())
      std::memcpy(Bits(), other.Bits(), static_cast<size_t>(width_) * height_ * sizeof(Argb32));
    draw_mode_ = other.draw_mode_;
    SetResampler(other.resampler_->Clone());
  });
}

bool ArgbImage::AssignByDecoding(JpegGraphic& jpeg) {
  const int32_t w = jpeg.Width(), h = jpeg.Height();
  if (w <= 0 || h <= 0 || (w == width_ && h == height_)) return false;
  // Every pixel is about to be written, so the buffer need not be cleared first; it is cleared
  // whenever the decoder does not fill it, as drawing would have found it.
  Reallocate(w, h, false);
  if (IsEmpty()) return false;
  const size_t bytes = static_cast<size_t>(width_) * height_ * sizeof(Argb32);
  bool decoded = false;
  try {
    decoded = jpeg.DecodeInto(Surface());
  } catch (...) {
    std::memset(Bits(), 0, bytes);
    throw;
  }
  if (!decoded) std::memset(Bits(), 0, bytes);
  return decoded;
}

bool ArgbImage::AssignByAdopting(PngGraphic& png) {
  const int32_t w = png.Width(), h = png.Height();
  if (w <= 0 || h <= 0 || png.Transparency() != PngTransparency::None) return false;
  std::vector<Argb32> pixels = png.TakePixels();
  if (pixels.size() != static_cast<size_t>(w) * static_cast<size_t>(h)) return false;
  Reallocate(0, 0, false);
  for (Argb32& c : pixels) c |= 0xFF000000u;
  adopted_ = std::move(pixels);
  bits_ = adopted_.data();
  width_ = w;
  height_ = h;
  clip_area_ = Bounds();
  NotifyChanged();
  if (OnResize) OnResize();
  return true;
}

bool ArgbImage::AssignByAdopting(CodecGraphic& graphic) {
  const int32_t w = graphic.Width(), h = graphic.Height();
  if (w <= 0 || h <= 0 || graphic.Pixels().size() != static_cast<size_t>(w) * h) return false;
  Reallocate(0, 0, false);
  adopted_ = graphic.TakePixels();
  bits_ = adopted_.data();
  width_ = w;
  height_ = h;
  clip_area_ = Bounds();
  NotifyChanged();
  if (OnResize) OnResize();
  return true;
}

void ArgbImage::AssignFromBitmapGraphic(const DibImage& graphic) {
  Resize(graphic.Width(), graphic.Height());
  if (IsEmpty()) return;
  // A 32-bit graphic brings its fourth byte as alpha, every other format alpha 255.
  for (int32_t y = 0; y < height_; ++y) graphic.ToColor32Row(y, Row(y));
  if (graphic.PixelFormat() != DibFormat::pf32bit) SetAllAlpha(255);
  if (graphic.Transparent()) {
    const Argb32 key = ToColor32(static_cast<int32_t>(graphic.TransparentColor())) & 0x00FFFFFFu;
    Argb32* p = Bits();
    const size_t n = static_cast<size_t>(width_) * height_;
    for (size_t i = 0; i < n; ++i)
      if ((p[i] & 0x00FFFFFFu) == key) p[i] = key;
  }
}

void ArgbImage::AssignByDrawing(Graphic& graphic, int32_t width, int32_t height) {
  Resize(graphic.Width(), graphic.Height());
  if (IsEmpty()) return;
  if (width < 0) {
    width = width_;
    height = height_;
  }
  // Unpainted areas keep the buffer's content (zero when freshly sized): transparent parts come
  // out black, and the result is made opaque.
  graphic.Draw(Surface(), Rect{0, 0, width, height});
  SetAllAlpha(255);
}

void ArgbImage::AssignOverTwoBackgrounds(Graphic& graphic, int32_t width, int32_t height) {
  Resize(graphic.Width(), graphic.Height());
  if (IsEmpty()) return;
  const Rect rect{0, 0, width, height};
  Fill(0xFFFFFFFFu);
  graphic.Draw(Surface(), rect);
  ArgbImage overRed;
  overRed.Resize(graphic.Width(), graphic.Height());
  overRed.Fill(0xFFFF0000u);
  graphic.Draw(overRed.Surface(), rect);
  // Where the two backgrounds give the same colour the graphic covered the pixel fully.
  const int64_t n = std::min<int64_t>(int64_t{width} * height, int64_t{width_} * height_);
  const int64_t m = std::min<int64_t>(n, int64_t{overRed.width_} * overRed.height_);
  Argb32* p = Bits();
  const Argb32* q = overRed.Bits();
  for (int64_t i = 0; i < m; ++i)
    p[i] = ((p[i] ^ q[i]) & 0x00FFFFFFu) == 0 ? (p[i] | 0xFF000000u) : (p[i] & 0x00FFFFFFu);
}

void ArgbImage::AssignTo(Picture& picture) const {
  AssignTo(picture.EnsureBitmap());
}

void ArgbImage::AssignTo(DibImage& bitmap) const {
  // Dropping the old pixels first spares converting them to the new format.
  bitmap.SetSize(0, 0);
  bitmap.SetPixelFormat(DibFormat::pf32bit);
  bitmap.SetSize(width_, height_);
  if (IsEmpty()) return;
  for (int32_t y = 0; y < height_; ++y)
    std::memcpy(bitmap.ScanLine(y), Row(y), static_cast<size_t>(width_) * sizeof(Argb32));
}

void ArgbImage::AssignTo(Graphic& graphic) const {
  if (auto* bitmap = dynamic_cast<DibImage*>(&graphic)) {
    AssignTo(*bitmap);
    return;
  }
  throw ConversionError(Format("Cannot assign a %s to a %s", "TBitmap32", "TGraphic"));
}

void ArgbImage::SetResampler(std::unique_ptr<Resampler> resampler) {
  if (!resampler || resampler.get() == resampler_.get()) {
    (void)resampler.release();  // the current resampler stays owned once
    return;
  }
  resampler_ = std::move(resampler);
  resampler_->bitmap_ = this;
  NotifyChanged();
}

void ArgbImage::StretchTo(ArgbImage& dst, const Rect& dstRect, const Rect& srcRect) const {
  StretchCopy(&dst, dstRect, dst.ClipArea(), this, srcRect, *resampler_, draw_mode_);
}

}  // namespace tessane
