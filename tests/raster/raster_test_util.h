#pragma once
// Small helpers for building and inspecting 32-bit bitmaps in the raster tests.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pixels/argb_image.h"

namespace tessane::test {

/// A bitmap of the given size whose every pixel is `color`.
inline void MakeSolid(ArgbImage& bitmap, int32_t width, int32_t height, Argb32 color) {
  bitmap.Resize(width, height);
  bitmap.Fill(color);
}

/// A bitmap whose pixels come from rows of values given top row first.
inline void MakeFromRows(ArgbImage& bitmap, const std::vector<std::vector<Argb32>>& rows) {
  bitmap.Resize(static_cast<int32_t>(rows.front().size()), static_cast<int32_t>(rows.size()));
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x) bitmap.Row(static_cast<int32_t>(y))[x] = rows[y][x];
}

/// A bitmap of random words (every channel, alpha included, takes any value).
inline void MakeNoise(ArgbImage& bitmap, int32_t width, int32_t height, uint32_t seed) {
  bitmap.Resize(width, height);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) bitmap.Row(y)[x] = rng();
}

/// A grey pixel (all three colour channels v) with the given alpha.
constexpr Argb32 Grey(uint8_t v, uint8_t alpha = 255) {
  return Color32(v, v, v, alpha);
}

/// Row y of the bitmap as a vector.
inline std::vector<Argb32> RowOf(const ArgbImage& bitmap, int32_t y) {
  return std::vector<Argb32>(bitmap.Row(y), bitmap.Row(y) + bitmap.Width());
}

/// Blue channel of every pixel of row y.
inline std::vector<int> BlueRow(const ArgbImage& bitmap, int32_t y) {
  std::vector<int> out;
  for (int32_t x = 0; x < bitmap.Width(); ++x) out.push_back(BlueOf(bitmap.Row(y)[x]));
  return out;
}

/// Position and values of the first difference between two bitmaps of equal size, or "".
inline std::string FirstDifference(const ArgbImage& a, const ArgbImage& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return "sizes differ";
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      if (a.Row(y)[x] != b.Row(y)[x])
        return "(" + std::to_string(x) + "," + std::to_string(y) +
               "): " + std::to_string(a.Row(y)[x]) + " vs " + std::to_string(b.Row(y)[x]);
  return "";
}

}  // namespace tessane::test
