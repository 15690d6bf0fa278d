#include "formats/legacy_graphics.h"

#include "formats/gif/gif_graphic.h"
#include "formats/png/png_graphic.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(LegacyGifGraphic, DecodeOnLoadGraphic, "TGIFGraphic")
TESSANE_DEFINE_GRAPHIC_CLASS(LegacyPngGraphic, DecodeOnLoadGraphic, "TPNGGraphic")

namespace {
// Loads with `reader` and keeps what it draws over black as an opaque 32-bit bitmap.
void LoadThrough(Graphic& reader, ByteStream& stream, DibImage& into) {
  reader.LoadFromStream(stream);
  into.SetPixelFormat(DibFormat::pf32bit);
  into.SetSize(reader.Width(), reader.Height());
  if (into.Empty()) return;
  const ArgbView surface{reinterpret_cast<uint32_t*>(into.ScanLine(0)), into.Width(),
                         into.Height(), static_cast<int32_t>(into.RowBytes() / 4)};
  reader.Draw(surface, Rect{0, 0, into.Width(), into.Height()});
  for (int32_t y = 0; y < into.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(into.ScanLine(y));
    for (int32_t x = 0; x < into.Width(); ++x) row[x] |= 0xFF000000u;
  }
}
}  // namespace

void LegacyGifGraphic::Decode(ByteStream& stream) {
  GifGraphic reader;
  LoadThrough(reader, stream, *this);
}

void LegacyPngGraphic::Decode(ByteStream& stream) {
  PngGraphic reader;
  LoadThrough(reader, stream, *this);
}

}  // namespace tessane
