#pragma once
// The drawing target of every graphic: a view of 32-bit $AARRGGBB pixels (in memory blue,
// green, red, alpha), rows top-down. The view does not own the pixels.

#include <cstdint>

namespace tessane {

struct ArgbView {
  uint32_t* Bits = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Stride = 0;  // pixels from one row to the next

  uint32_t* Row(int32_t y) const { return Bits + static_cast<intptr_t>(y) * Stride; }
  bool IsEmpty() const { return Bits == nullptr || Width <= 0 || Height <= 0; }
};

}  // namespace tessane
