#include "formats/codec_graphic.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/errors.h"
#include "base/limits.h"
#include "formats/png/png_graphic.h"
#include "pixels/argb_image.h"

namespace tessane {


void CodecGraphic::Fail(const char* label, const std::string& detail) {
  std::string message = Format("Cannot load image. Invalid or unexpected %s image format.", label);
  if (!detail.empty()) message += " (" + detail + ")";
  throw InvalidImageError(message);
}

void CodecGraphic::Clear() {
  std::vector<uint32_t>().swap(pixels_);
  width_ = height_ = 0;
}

void CodecGraphic::LoadFromStream(ByteStream& stream) {
  Clear();
  facts_ = PictureFacts{};
  try {
    Decode(stream);
  } catch (...) {
    Clear();
    throw;
  }
}

uint32_t* CodecGraphic::AllocatePixels(int64_t width, int64_t height, const char* label) {
  if (width <= 0 || height <= 0) Fail(label, "empty picture");
  if (!PictureSizeAllowed(width, height)) {
    Fail(label, Format("picture of %lld x %lld pixels is too large", static_cast<long long>(width),
                       static_cast<long long>(height)));
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  // The previous picture's buffer, handed back by the source bitmap, saves faulting in fresh
  // pages for each file of a batch.
  if (pixels_.capacity() < count) pixels_ = TakeRecycledPixels(count);
  pixels_.assign(count, 0);
  width_ = static_cast<int32_t>(width);
  height_ = static_cast<int32_t>(height);
  return pixels_.data();
}

void CodecGraphic::ConvertTo(ArgbImage& image) {
  const int32_t w = width_, h = height_;
  if (w > 0 && h > 0 && pixels_.size() == static_cast<size_t>(w) * static_cast<size_t>(h)) {
    image.Adopt(TakePixels(), w, h, nullptr);
    return;
  }
  DrawToArgb(image);
}

std::vector<uint32_t> CodecGraphic::TakePixels() {
  std::vector<uint32_t> pixels = std::exchange(pixels_, {});
  width_ = height_ = 0;
  return pixels;
}

void CodecGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (target.IsEmpty() || rect.IsEmpty() || width_ == 0 || height_ == 0) return;
  const Rect clip = IntersectRect(rect, Rect{0, 0, target.width, target.height});
  if (clip.IsEmpty()) return;
  const int64_t rw = rect.Width(), rh = rect.Height();
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    const int64_t sy = (y - rect.top) * int64_t{height_} / rh;
    const uint32_t* in = pixels_.data() + static_cast<size_t>(sy) * static_cast<size_t>(width_);
    uint32_t* out = target.Row(y);
    for (int32_t x = clip.left; x < clip.right; ++x) {
      const uint32_t s = in[(x - rect.left) * int64_t{width_} / rw];
      const uint32_t a = s >> 24;
      if (a == 255) {
        out[x] = s;
      } else if (a != 0) {
        const uint32_t d = out[x];
        uint32_t blended = (a + (d >> 24) * (255 - a) / 255) << 24;
        for (int shift = 0; shift < 24; shift += 8) {
          const uint32_t c = (((s >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * (255 - a) + 127) / 255;
          blended |= c << shift;
        }
        out[x] = blended;
      }
    }
  }
}

void CodecGraphic::SaveToStream(ByteStream& /*stream*/) {
  throw InvalidImageOperationError("This picture format cannot be saved");
}

}  // namespace tessane
