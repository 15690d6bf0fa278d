#pragma once
// Rectangles and points. Right and Bottom are exclusive.

#include <algorithm>
#include <cstdint>

namespace tessane {

struct Point {
  int32_t X = 0;
  int32_t Y = 0;
};

struct Rect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const Rect&) const = default;
};

inline Rect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return Rect{left, top, right, bottom};
}

/// Larger Left/Top, smaller Right/Bottom; may come out empty.
inline Rect IntersectRect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

}  // namespace tessane
