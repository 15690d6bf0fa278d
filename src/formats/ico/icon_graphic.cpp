#include "formats/ico/icon_graphic.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/byte_order.h"
#include "base/errors.h"
#include "formats/bmp/bmp_reader.h"
#include "formats/bmp/dib_image.h"
#include "formats/png/png_graphic.h"

namespace tessane {

namespace {

// Directory sizes stop at 256; larger images in an icon are damaged or hostile.
constexpr int32_t kMaxImageSide = 1024;

[[noreturn]] void Invalid() {
  throw InvalidImageError("Icon image is not valid");
}

bool IsPng(const uint8_t* p, size_t size) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return size >= 8 && std::equal(kSignature, kSignature + 8, p);
}

struct Candidate {
  size_t offset = 0;
  int64_t width = 0;
  int64_t height = 0;
  int bits = 0;
  size_t index = 0;
};

// Size and depth from the image's own header (directories are often wrong).
bool Describe(const uint8_t* p, size_t size, Candidate& c) {
  if (IsPng(p, size)) {
    if (size < 24) return false;
    c.width = LoadBe32(p + 16);
    c.height = LoadBe32(p + 20);
    c.bits = 32;
  } else {
    if (size < 16) return false;
    if (LoadLe32(p) == 12) {
      c.width = LoadLe16(p + 4);
      c.height = LoadLe16(p + 6) / 2;
      c.bits = LoadLe16(p + 10);
    } else {
      c.width = static_cast<int32_t>(LoadLe32(p + 4));
      c.height = static_cast<int32_t>(LoadLe32(p + 8)) / 2;
      c.bits = LoadLe16(p + 14);
    }
  }
  return c.width > 0 && c.height > 0 && c.width <= kMaxImageSide && c.height <= kMaxImageSide;
}

// Order of preference: the standard size, then the closest size (larger before smaller, as
// reducing looks better than enlarging), then the deeper colour, then file order.
bool Better(const Candidate& a, const Candidate& b) {
  const int64_t s = IconGraphic::kStandardSize;
  const int64_t da = std::llabs(a.width - s) + std::llabs(a.height - s);
  const int64_t db = std::llabs(b.width - s) + std::llabs(b.height - s);
  if (da != db) return da < db;
  if (a.width * a.height != b.width * b.height) return a.width * a.height > b.width * b.height;
  if (a.bits != b.bits) return a.bits > b.bits;
  return a.index < b.index;
}

// A bitmap image: the colour bitmap, then the AND mask (1 = transparent) unless the 32-bit
// pixels carry their own alpha.
std::vector<uint32_t> DecodeDibImage(const uint8_t* p, size_t size, int32_t& width,
                                     int32_t& height) {
  DibImage bitmap;
  const DibLayout layout = ReadDib(p, size, bitmap, true);
  width = bitmap.Width();
  height = bitmap.Height();
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y)
    bitmap.ToColor32Row(y, pixels.data() + static_cast<size_t>(y) * width);
  if (layout.has_alpha) return pixels;
  for (uint32_t& c : pixels) c |= 0xFF000000u;
  const size_t stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  for (int32_t y = 0; y < height; ++y) {
    // Mask rows are stored bottom-up; a mask cut short leaves the rest opaque.
    const size_t rowStart = layout.pixel_end + stride * static_cast<size_t>(height - 1 - y);
    uint32_t* out = pixels.data() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      const size_t at = rowStart + static_cast<size_t>(x) / 8;
      if (at < size && (p[at] & (0x80u >> (x & 7)))) out[x] &= 0x00FFFFFFu;
    }
  }
  return pixels;
}

uint32_t Blend(uint32_t src, uint32_t dst) {
  const uint32_t a = src >> 24;
  if (a == 255) return src;
  if (a == 0) return dst;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    out |= (((s * a + (255 - a) * d + 255) >> 8) & 0xFF) << shift;
  }
  const uint32_t da = dst >> 24;
  return out | ((a + (da * (255 - a) + 127) / 255) << 24);
}

}  // namespace

IconGraphic::IconGraphic() = default;
IconGraphic::~IconGraphic() = default;

void IconGraphic::LoadFromStream(ByteStream& stream) {
  std::vector<uint8_t> bytes = stream.ReadAll();
  const size_t size = bytes.size();
  if (size < 6) Invalid();
  const uint8_t* p = bytes.data();
  const uint16_t type = LoadLe16(p + 2);
  if (type != 0 && type != 1) Invalid();

  std::vector<Candidate> candidates;
  const size_t count = LoadLe16(p + 4);
  for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= size; ++i) {
    Candidate c;
    c.index = i;
    // The directory's byte count is often wrong; the image may use the rest of the file.
    c.offset = LoadLe32(p + 6 + 16 * i + 12);
    if (c.offset >= size || !Describe(p + c.offset, size - c.offset, c)) continue;
    candidates.push_back(c);
  }
  std::sort(candidates.begin(), candidates.end(), Better);

  for (const Candidate& c : candidates) {
    const uint8_t* image = p + c.offset;
    const size_t available = size - c.offset;
    try {
      int32_t width = 0, height = 0;
      std::vector<uint32_t> pixels;
      if (IsPng(image, available)) {
        PngGraphic png;
        ReadOnlyMemoryStream in(image, available);
        png.LoadFromStream(in);
        width = png.Width();
        height = png.Height();
        if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) continue;
        pixels = png.Pixels();
      } else {
        pixels = DecodeDibImage(image, available, width, height);
      }
      data_ = std::move(bytes);
      image_width_ = width;
      image_height_ = height;
      pixels_ = std::move(pixels);
      return;
    } catch (const AbortError&) {
      throw;
    } catch (const Exception&) {
      // A damaged image: try the next best one.
    } catch (const std::bad_alloc&) {
    }
  }
  Invalid();
}

void IconGraphic::SaveToStream(ByteStream& stream) {
  stream.WriteBuffer(data_.data(), data_.size());
}

void IconGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (pixels_.empty() || target.IsEmpty() || rect.IsEmpty()) return;
  const Rect clip = IntersectRect(rect, Rect{0, 0, target.width, target.height});
  if (clip.IsEmpty()) return;
  const int64_t w = image_width_, h = image_height_;
  const int64_t rw = rect.Width(), rh = rect.Height();
  // Every target pixel averages the image pixels its area covers (one pixel when enlarging),
  // weighting colours by alpha.
  auto span = [](int64_t i, int64_t source, int64_t dest) {
    const int64_t first = i * source / dest;
    const int64_t last = std::max(first + 1, ((i + 1) * source + dest - 1) / dest);
    return std::pair<int64_t, int64_t>(first, std::min(last, source));
  };
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    const auto [y0, y1] = span(y - rect.top, h, rh);
    uint32_t* out = target.Row(y);
    for (int32_t x = clip.left; x < clip.right; ++x) {
      const auto [x0, x1] = span(x - rect.left, w, rw);
      uint32_t pixel;
      if (x1 - x0 == 1 && y1 - y0 == 1) {
        pixel = pixels_[static_cast<size_t>(y0 * w + x0)];
      } else {
        uint64_t sa = 0, sr = 0, sg = 0, sb = 0;
        for (int64_t sy = y0; sy < y1; ++sy)
          for (int64_t sx = x0; sx < x1; ++sx) {
            const uint32_t c = pixels_[static_cast<size_t>(sy * w + sx)];
            const uint32_t a = c >> 24;
            sa += a;
            sr += a * ((c >> 16) & 0xFF);
            sg += a * ((c >> 8) & 0xFF);
            sb += a * (c & 0xFF);
          }
        const uint64_t n = static_cast<uint64_t>((x1 - x0) * (y1 - y0));
        const uint64_t a = (sa + n / 2) / n;
        pixel = static_cast<uint32_t>(a << 24);
        if (sa != 0)
          pixel |= static_cast<uint32_t>(((sr + sa / 2) / sa) << 16 | ((sg + sa / 2) / sa) << 8 |
                                         ((sb + sa / 2) / sa));
      }
      out[x] = Blend(pixel, out[x]);
    }
  }
}

}  // namespace tessane
