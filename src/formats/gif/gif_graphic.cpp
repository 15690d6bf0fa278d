#include "formats/gif/gif_graphic.h"

#include <algorithm>
#include <array>

namespace tessane {

void GifGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (target.IsEmpty() || rect.IsEmpty() || screen_width_ == 0 || screen_height_ == 0) return;
  if (images_.empty() || images_.front().pixels.empty()) return;
  const Rect clip = IntersectRect(rect, Rect{0, 0, target.width, target.height});
  if (clip.IsEmpty()) return;
  const GifFrame& frame = images_.front();
  const GifColorMap& map = frame.color_map.empty() ? global_map_ : frame.color_map;
  // Indices beyond the colour table draw black, as there is nothing better to show.
  std::array<uint32_t, 256> colors;
  colors.fill(0xFF000000u);
  for (size_t i = 0; i < map.size() && i < colors.size(); ++i)
    colors[i] =
        0xFF000000u | (uint32_t{map[i].red} << 16) | (uint32_t{map[i].green} << 8) | map[i].blue;
  const bool has_transparent = frame.has_graphic_control && frame.graphic_control.transparent;
  const uint8_t transparent = frame.graphic_control.transparent_index;

  const int64_t rw = rect.Width(), rh = rect.Height();
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    const int64_t fy = (y - rect.top) * int64_t{screen_height_} / rh - frame.top;
    if (fy < 0 || fy >= frame.height) continue;
    const uint8_t* src = frame.pixels.data() + fy * frame.width;
    uint32_t* out = target.Row(y);
    for (int32_t x = clip.left; x < clip.right; ++x) {
      const int64_t fx = (x - rect.left) * int64_t{screen_width_} / rw - frame.left;
      if (fx < 0 || fx >= frame.width) continue;
      const uint8_t index = src[fx];
      if (has_transparent && index == transparent) continue;
      out[x] = colors[index];
    }
  }
}

}  // namespace tessane
