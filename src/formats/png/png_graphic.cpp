#include "formats/png/png_graphic.h"

#include <algorithm>
#include <cstring>

#include "pixels/argb_image.h"

namespace tessane {

void PngGraphic::ConvertTo(ArgbImage& image) {
  const int32_t w = Width(), h = Height();
  if (w > 0 && h > 0 && Transparency() == PngTransparency::kNone) {
    std::vector<Argb32> pixels = TakePixels();
    if (pixels.size() == static_cast<size_t>(w) * static_cast<size_t>(h)) {
      for (Argb32& c : pixels) c |= 0xFF000000u;
      image.Adopt(std::move(pixels), w, h, RecyclePngPixels);
      return;
    }
  }
  DrawToArgb(image);
}

bool PngGraphic::ConvertKeepingAlpha(ArgbImage& image) {
  if (Width() <= 0 || Height() <= 0 || Transparency() == PngTransparency::kNone) return false;
  const std::vector<uint32_t>& pixels = Pixels();
  const size_t count = static_cast<size_t>(Width()) * static_cast<size_t>(Height());
  if (pixels.size() != count) return false;
  image.Resize(Width(), Height());
  if (image.IsEmpty()) return false;
  std::memcpy(image.Bits(), pixels.data(), count * sizeof(uint32_t));
  return true;
}

void PngGraphic::SetCompressionLevel(int level) {
  compression_level_ = std::clamp(level, 0, 9);
}

void PngGraphic::EnsureDecoded() {
  if (decoded_) return;
  if (chunks_.empty()) {
    pixels_.clear();
    transparency_ = PngTransparency::kNone;
  } else {
    PngDecoded decoded = DecodePngChunks(chunks_);
    pixels_ = std::move(decoded.pixels);
    transparency_ = decoded.transparency;
  }
  decoded_ = true;
}

PngTransparency PngGraphic::Transparency() {
  EnsureDecoded();
  return transparency_;
}

const std::vector<uint32_t>& PngGraphic::Pixels() {
  EnsureDecoded();
  return pixels_;
}

std::vector<uint32_t> PngGraphic::TakePixels() {
  EnsureDecoded();
  std::vector<uint32_t> pixels = std::move(pixels_);
  pixels_.clear();
  decoded_ = chunks_.empty();  // nothing to decode again for an empty picture
  return pixels;
}

namespace {

inline uint32_t BlendChannel(uint32_t s, uint32_t d, uint32_t a) {
  return (s * a + (255 - a) * d + 255) >> 8;
}

inline uint32_t BlendPixel(uint32_t s, uint32_t d) {
  const uint32_t a = s >> 24;
  if (a == 255) return s;
  if (a == 0) return d;
  // The alpha byte is blended as a channel whose source value is 255 (a covers that much).
  return (BlendChannel(255, d >> 24, a) << 24) |
         (BlendChannel((s >> 16) & 0xFF, (d >> 16) & 0xFF, a) << 16) |
         (BlendChannel((s >> 8) & 0xFF, (d >> 8) & 0xFF, a) << 8) |
         BlendChannel(s & 0xFF, d & 0xFF, a);
}

/// The decoded rows made opaque as ConvertTo makes the picture: opaque pixels are copied, and
/// the others drawn over transparent black (DrawToArgb) with their alpha then made 255.
class OpaqueRows : public RowSource {
 public:
  OpaqueRows(std::unique_ptr<RowSource> rows, PngTransparency kind)
      : rows_(std::move(rows)), kind_(kind), row_(static_cast<size_t>(rows_->Width())) {}

  int32_t Width() const override { return rows_->Width(); }
  int32_t Height() const override { return rows_->Height(); }
  void Finish() override { rows_->Finish(); }

  const Argb32* NextRow(int32_t y) override {
    const Argb32* decoded = rows_->NextRow(y);
    for (size_t x = 0; x < row_.size(); ++x) {
      const uint32_t s = decoded[x];
      switch (kind_) {
        case PngTransparency::kNone: row_[x] = s; break;
        case PngTransparency::kBit: row_[x] = (s >> 24) != 0 ? s : 0; break;
        case PngTransparency::kPartial: row_[x] = BlendPixel(s, 0); break;
      }
      row_[x] |= 0xFF000000u;
    }
    return row_.data();
  }

 private:
  const std::unique_ptr<RowSource> rows_;
  const PngTransparency kind_;
  std::vector<Argb32> row_;
};

}  // namespace

// Pictures from 4 megapixels up (a 16 MiB bitmap) are read row by row when the reader can take
// rows: zlib's stream inflates more slowly than libdeflate's one call, but the bitmap and the
// inflated rows are never held whole.
constexpr int64_t kMinRowPixels = int64_t{4} << 20;

std::unique_ptr<RowSource> PngGraphic::OpenRows() {
  if (decoded_ || chunks_.empty() || int64_t{width_} * height_ < kMinRowPixels) return nullptr;
  std::unique_ptr<RowSource> rows = OpenPngRows(chunks_);
  if (!rows) return nullptr;
  return std::make_unique<OpaqueRows>(std::move(rows), transparency_);
}

void PngGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (target.IsEmpty() || rect.IsEmpty() || width_ <= 0 || height_ <= 0) return;
  const Rect clip = IntersectRect(rect, Rect{0, 0, target.width, target.height});
  if (clip.IsEmpty()) return;
  EnsureDecoded();
  const int64_t rw = rect.Width(), rh = rect.Height();
  const bool same_size = rw == width_ && rh == height_;
  if (same_size && transparency_ == PngTransparency::kNone) {
    // The common case in a plain loop: every pixel copied, opaque.
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
      const uint32_t* src = pixels_.data() + int64_t{y - rect.top} * width_;
      uint32_t* out = target.Row(y);
      for (int32_t x = clip.left; x < clip.right; ++x) out[x] = src[x - rect.left] | 0xFF000000u;
    }
    return;
  }
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    const int64_t sy = same_size ? y - rect.top : (y - rect.top) * int64_t{height_} / rh;
    const uint32_t* src = pixels_.data() + sy * width_;
    uint32_t* out = target.Row(y);
    for (int32_t x = clip.left; x < clip.right; ++x) {
      const int64_t sx = same_size ? x - rect.left : (x - rect.left) * int64_t{width_} / rw;
      const uint32_t s = src[sx];
      switch (transparency_) {
        case PngTransparency::kNone:
          out[x] = s | 0xFF000000u;
          break;
        case PngTransparency::kBit:
          if ((s >> 24) != 0) out[x] = s | 0xFF000000u;
          break;
        case PngTransparency::kPartial:
          out[x] = BlendPixel(s, out[x]);
          break;
      }
    }
  }
}

}  // namespace tessane
