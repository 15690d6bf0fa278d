#include "formats/legacy_graphics.h"

#include "formats/gif_image.h"
#include "formats/png_image.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TGIFGraphic, TVerdelGraphic)
TESSANE_DEFINE_GRAPHIC_CLASS(TPNGGraphic, TVerdelGraphic)

namespace {
// Loads with `reader` and keeps what it draws over black as an opaque 32-bit bitmap.
void LoadThrough(TGraphic& reader, TStream& stream, TBitmap& into) {
  reader.LoadFromStream(stream);
  into.SetPixelFormat(TPixelFormat::pf32bit);
  into.SetSize(reader.Width(), reader.Height());
  if (into.Empty()) return;
  const TSurface surface{reinterpret_cast<uint32_t*>(into.ScanLine(0)), into.Width(),
                         into.Height(), static_cast<int32_t>(into.RowBytes() / 4)};
  reader.Draw(surface, TRect{0, 0, into.Width(), into.Height()});
  for (int32_t y = 0; y < into.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(into.ScanLine(y));
    for (int32_t x = 0; x < into.Width(); ++x) row[x] |= 0xFF000000u;
  }
}
}  // namespace

void TGIFGraphic::Decode(TStream& stream) {
  TGIFImage reader;
  LoadThrough(reader, stream, *this);
}

void TPNGGraphic::Decode(TStream& stream) {
  TPNGObject reader;
  LoadThrough(reader, stream, *this);
}

}  // namespace tessane
