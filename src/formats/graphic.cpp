#include "formats/graphic.h"

#include <algorithm>

#include "pixels/argb_image.h"

namespace tessane {

void Graphic::LoadFromFile(const std::string& path) {
  FileStream file(path, FileMode::kOpenRead);
  LoadFromStream(file);
}

void Graphic::ConvertTo(ArgbImage& image) { DrawToArgb(image); }

void Graphic::DrawToArgb(ArgbImage& image) {
  image.Resize(Width(), Height());
  if (image.IsEmpty()) return;
  // Unpainted areas keep the buffer's content (zero when freshly sized).
  Draw(image.Surface(), Rect{0, 0, image.Width(), image.Height()});
  image.SetAllAlpha(255);
}

void Graphic::DrawOverTwoBackgrounds(ArgbImage& image) {
  const int32_t width = Width(), height = Height();
  image.Resize(width, height);
  if (image.IsEmpty()) return;
  const Rect rect{0, 0, width, height};
  image.Fill(0xFFFFFFFFu);
  Draw(image.Surface(), rect);
  ArgbImage overRed;
  overRed.Resize(width, height);
  overRed.Fill(0xFFFF0000u);
  Draw(overRed.Surface(), rect);
  // Where the two backgrounds give the same colour the graphic covered the pixel fully.
  const int64_t n = std::min<int64_t>(int64_t{width} * height,
                                      int64_t{image.Width()} * image.Height());
  const int64_t m = std::min<int64_t>(n, int64_t{overRed.Width()} * overRed.Height());
  Argb32* p = image.Bits();
  const Argb32* q = overRed.Bits();
  for (int64_t i = 0; i < m; ++i)
    p[i] = ((p[i] ^ q[i]) & 0x00FFFFFFu) == 0 ? (p[i] | 0xFF000000u) : (p[i] & 0x00FFFFFFu);
}

void Graphic::SaveToFile(const std::string& path) {
  FileStream file(path, FileMode::kCreate);
  SaveToStream(file);
  file.Close();
}

}  // namespace tessane
