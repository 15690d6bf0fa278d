#pragma once
// TColor32: one pixel, $AARRGGBB (in memory blue, green, red, alpha).

#include <cstdint>

namespace tessane {

using TColor32 = uint32_t;

constexpr uint8_t AlphaOf(TColor32 c) { return static_cast<uint8_t>(c >> 24); }
constexpr uint8_t RedOf(TColor32 c) { return static_cast<uint8_t>(c >> 16); }
constexpr uint8_t GreenOf(TColor32 c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueOf(TColor32 c) { return static_cast<uint8_t>(c); }
constexpr TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return (TColor32{a} << 24) | (TColor32{r} << 16) | (TColor32{g} << 8) | b;
}

}  // namespace tessane
