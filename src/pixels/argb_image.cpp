#include "pixels/argb_image.h"

#include <algorithm>
#include <utility>

#include "base/errors.h"
#include "base/limits.h"

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

ArgbImage::~ArgbImage() { DropBuffer(); }

void ArgbImage::Resize(int32_t width, int32_t height) { Reallocate(width, height, true); }

void ArgbImage::ResizeForOverwrite(int32_t width, int32_t height) {
  Reallocate(width, height, false);
}

void ArgbImage::DropBuffer() {
  pixels_.reset();
  if (recycler_ != nullptr) recycler_(std::exchange(adopted_, {}));
  adopted_.clear();
  recycler_ = nullptr;
  bits_ = nullptr;
}

void ArgbImage::Reallocate(int32_t width, int32_t height, bool zeroed) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  DropBuffer();
  width_ = height_ = 0;
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
}

void ArgbImage::Adopt(std::vector<Argb32>&& pixels, int32_t width, int32_t height,
                      Recycler recycler) {
  DropBuffer();
  width_ = height_ = 0;
  adopted_ = std::move(pixels);
  recycler_ = recycler;
  bits_ = adopted_.data();
  width_ = width;
  height_ = height;
}

void ArgbImage::Fill(Argb32 color) {
  if (IsEmpty()) return;
  std::fill_n(Bits(), static_cast<size_t>(width_) * height_, color);
}

void ArgbImage::SetAllAlpha(uint8_t alpha) {
  if (IsEmpty()) return;
  const Argb32 a = Argb32{alpha} << 24;
  Argb32* p = Bits();
  const size_t n = static_cast<size_t>(width_) * height_;
  for (size_t i = 0; i < n; ++i) p[i] = (p[i] & 0x00FFFFFFu) | a;
}

ArgbView ArgbImage::Surface() {
  if (IsEmpty()) return ArgbView{};
  return ArgbView{Bits(), width_, height_, width_};
}

}  // namespace tessane
