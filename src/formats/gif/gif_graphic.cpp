#include "formats/gif/gif_graphic.h"

#include <algorithm>
#include <array>

namespace tessane {

void GifGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (target.IsEmpty() || rect.IsEmpty() || screen_width_ == 0 || screen_height_ == 0) return;
  if (images_.empty() || images_.front().Pixels.empty()) return;
  const Rect clip = IntersectRect(rect, Rect{0, 0, target.Width, target.Height});
  if (clip.IsEmpty()) return;
  const GifFrame& frame = images_.front();
  const GifColorMap& map = frame.ColorMap.empty() ? global_map_ : frame.ColorMap;
  // Indices beyond the colour table draw black, as there is nothing better to show.
  std::array<uint32_t, 256> colors;
  colors.fill(0xFF000000u);
  for (size_t i = 0; i < map.size() && i < colors.size(); ++i)
    colors[i] =
        0xFF000000u | (uint32_t{map[i].Red} << 16) | (uint32_t{map[i].Green} << 8) | map[i].Blue;
  const bool has_transparent = frame.HasGraphicControl && frame.GraphicControl.Transparent;
  const uint8_t transparent = frame.GraphicControl.TransparentIndex;

  const int64_t rw = rect.Width(), rh = rect.Height();
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    const int64_t fy = (y - rect.Top) * int64_t{screen_height_} / rh - frame.Top;
    if (fy < 0 || fy >= frame.Height) continue;
    const uint8_t* src = frame.Pixels.data() + fy * frame.Width;
    uint32_t* out = target.Row(y);
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
      const int64_t fx = (x - rect.Left) * int64_t{screen_width_} / rw - frame.Left;
      if (fx < 0 || fx >= frame.Width) continue;
      const uint8_t index = src[fx];
      if (has_transparent && index == transparent) continue;
      out[x] = colors[index];
    }
  }
}

}  // namespace tessane
