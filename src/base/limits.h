#pragma once
// Resource bounds: no reader allocates a picture beyond these, whatever its header claims.

#include <cstdint>

namespace tessane {

inline constexpr int64_t kMaxPictureSide = 65535;
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 28;

/// True when a picture of this size may be allocated (both sides 0 count as allowed).
inline bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

}  // namespace tessane
