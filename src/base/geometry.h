#pragma once
// Rectangles and points. Right and Bottom are exclusive.

#include <algorithm>
#include <cstdint>

namespace tessane {

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

inline Rect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return Rect{left, top, right, bottom};
}

/// Larger Left/Top, smaller Right/Bottom; may come out empty.
inline Rect IntersectRect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
}

}  // namespace tessane
