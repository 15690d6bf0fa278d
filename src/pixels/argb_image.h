#pragma once
// ArgbImage: the 32-bit working surface every picture is converted into for scaling. One
// contiguous block of $AARRGGBB words, rows top-down without padding.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/geometry.h"
#include "pixels/argb32.h"
#include "pixels/argb_view.h"

namespace tessane {

/// A 32-bit ARGB raster that pictures are converted into, stretched from and encoded from.
/// Owns its pixel buffer; not copyable.
class ArgbImage {
 public:
  /// Takes back a buffer handed over with Adopt once the image no longer needs it.
  using Recycler = void (*)(std::vector<Argb32>&& pixels);

  /// An empty 0 x 0 image.
  ArgbImage() = default;
  ~ArgbImage();
  ArgbImage(const ArgbImage&) = delete;
  ArgbImage& operator=(const ArgbImage&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  /// The pixel buffer; nullptr while the image is empty.
  Argb32* Bits() { return bits_; }
  const Argb32* Bits() const { return bits_; }
  /// Address of row y (0 = top); y must lie in 0..Height()-1 of a non-empty image.
  Argb32* Row(int32_t y) { return bits_ + static_cast<size_t>(y) * width_; }
  const Argb32* Row(int32_t y) const { return bits_ + static_cast<size_t>(y) * width_; }

  /// Negative sides count as 0. The same size keeps the pixels; any other size drops the buffer
  /// and, when both sides are positive, allocates a zeroed one. A size beyond base/limits.h or a
  /// failed allocation throws OutOfResourcesError "Can't allocate the DIB handle" and leaves the
  /// image empty at 0 x 0. A single zero side gives an empty image that reports the other side.
  void Resize(int32_t width, int32_t height);
  /// As Resize, but a new buffer is left as the allocator gives it, for callers that write every
  /// pixel at once.
  void ResizeForOverwrite(int32_t width, int32_t height);
  /// Takes over `pixels` (width x height words) as the buffer; `recycler`, when given, gets it
  /// back when the image lets it go.
  void Adopt(std::vector<Argb32>&& pixels, int32_t width, int32_t height, Recycler recycler);
  /// True without a buffer or with a zero side.
  bool IsEmpty() const { return bits_ == nullptr || width_ == 0 || height_ == 0; }
  Rect Bounds() const { return Rect{0, 0, width_, height_}; }

  /// Sets every pixel (nothing when empty).
  void Fill(Argb32 color);
  /// Sets the alpha byte of every pixel, keeping red, green and blue.
  void SetAllAlpha(uint8_t alpha);
  /// A view of the pixels for drawing (an empty view when the image is empty).
  ArgbView Surface();

 private:
  struct FreeDeleter {
    void operator()(Argb32* p) const { std::free(p); }
  };

  void Reallocate(int32_t width, int32_t height, bool zeroed);
  void DropBuffer();

  int32_t width_ = 0;
  int32_t height_ = 0;
  // The buffer is either allocated here or taken over with Adopt; bits_ points at whichever
  // holds it.
  std::unique_ptr<Argb32, FreeDeleter> pixels_;
  std::vector<Argb32> adopted_;
  Recycler recycler_ = nullptr;
  Argb32* bits_ = nullptr;
};

/// Converts a platform colour value (red in bits 0-7, green 8-15, blue 16-23; a negative value
/// names a system colour by its low byte) into an opaque pixel.
Argb32 ToColor32(int32_t color);

}  // namespace tessane
