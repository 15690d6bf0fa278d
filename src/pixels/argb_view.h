#pragma once
// The drawing target of every graphic: a view of 32-bit $AARRGGBB pixels (in memory blue,
// green, red, alpha), rows top-down. The view does not own the pixels.

#include <cstdint>

namespace tessane {

struct ArgbView {
  uint32_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // pixels from one row to the next

  uint32_t* Row(int32_t y) const { return bits + static_cast<intptr_t>(y) * stride; }
  bool IsEmpty() const { return bits == nullptr || width <= 0 || height <= 0; }
};

}  // namespace tessane
