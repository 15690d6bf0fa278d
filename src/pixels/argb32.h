#pragma once
// Argb32: one pixel, $AARRGGBB (in memory blue, green, red, alpha).

#include <cstdint>

namespace tessane {

using Argb32 = uint32_t;

constexpr uint8_t AlphaOf(Argb32 c) { return static_cast<uint8_t>(c >> 24); }
constexpr uint8_t RedOf(Argb32 c) { return static_cast<uint8_t>(c >> 16); }
constexpr uint8_t GreenOf(Argb32 c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueOf(Argb32 c) { return static_cast<uint8_t>(c); }
constexpr Argb32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return (Argb32{a} << 24) | (Argb32{r} << 16) | (Argb32{g} << 8) | b;
}

}  // namespace tessane
