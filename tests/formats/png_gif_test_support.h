#pragma once
// Helpers of the PNG, GIF and colour-reduction tests: drawing a graphic, reference decodes made
// with Qt, and the PNG fixtures of support/png_fixture.h.

#include <zlib.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/graphic.h"
#include "support/byte_builder.h"
#include "support/png_fixture.h"
#include "support/test_support.h"

namespace tessane::test {

/// Draws the graphic at its own size onto a surface filled with `background` ($AARRGGBB).
inline std::vector<uint32_t> DrawOnto(Graphic& graphic, uint32_t background = 0) {
  const int32_t w = graphic.Width(), h = graphic.Height();
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h, background);
  graphic.Draw(ArgbView{pixels.data(), w, h, w}, Rect{0, 0, w, h});
  return pixels;
}

/// The file decoded by Qt's reader for `format` ("PNG", "GIF"), an implementation independent of
/// ours, as $AARRGGBB.
inline std::vector<uint32_t> QtDecode(const std::vector<uint8_t>& file, const char* format) {
  QImage image = QImage::fromData(file.data(), static_cast<int>(file.size()), format);
  EXPECT_FALSE(image.isNull()) << "Qt could not read the " << format;
  image = image.convertToFormat(QImage::Format_ARGB32);
  std::vector<uint32_t> out;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    out.insert(out.end(), row, row + image.width());
  }
  return out;
}

/// A reference RGBA PNG composited over black, as $00RRGGBB (decoded with Qt, not our reader).
inline std::vector<uint32_t> ReferenceOverBlack(const std::string& path, int* width, int* height) {
  QImage image(QString::fromStdString(path));
  image = image.convertToFormat(QImage::Format_ARGB32);
  *width = image.width();
  *height = image.height();
  std::vector<uint32_t> out;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const uint32_t c = row[x], a = c >> 24;
      auto over = [a](uint32_t v) { return (v * a + 127) / 255; };
      out.push_back((over((c >> 16) & 0xFF) << 16) | (over((c >> 8) & 0xFF) << 8) | over(c & 0xFF));
    }
  }
  return out;
}

/// Largest difference of red, green or blue between two pixel lists of equal length.
inline int MaxChannelDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    for (int shift = 0; shift <= 16; shift += 8)
      worst = std::max(worst, std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                                       static_cast<int>((b[i] >> shift) & 0xFF)));
  return worst;
}

/// Loads `bytes` into a new graphic of type G.
template <typename G>
void LoadBytes(G& graphic, const std::vector<uint8_t>& bytes) {
  ReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  graphic.LoadFromStream(stream);
}

template <typename G>
std::vector<uint8_t> SaveBytes(G& graphic) {
  MemoryStream stream;
  graphic.SaveToStream(stream);
  return stream.TakeBytes();
}

/// A 32-bit bitmap filled by f(x, y) -> $AARRGGBB.
template <typename F>
DibImage MakeBitmap32(int32_t w, int32_t h, F f) {
  DibImage bitmap;
  bitmap.SetPixelFormat(DibFormat::k32Bit);
  bitmap.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(bitmap.ScanLine(y));
    for (int32_t x = 0; x < w; ++x) row[x] = f(x, y);
  }
  return bitmap;
}

/// Rows of the bitmap as $AARRGGBB with alpha forced to 255.
inline std::vector<uint32_t> OpaquePixels(const DibImage& bitmap) {
  std::vector<uint32_t> out(static_cast<size_t>(bitmap.Width()) * bitmap.Height());
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    bitmap.ToColor32Row(y, out.data() + static_cast<size_t>(y) * bitmap.Width());
  for (auto& p : out) p |= 0xFF000000u;
  return out;
}

/// Every public sample of `format` read with graphic class G: files marked "must fail cleanly"
/// fail, files marked "loads" load at their listed size, and whatever loads draws over black
/// within `tolerance` of its reference. Returns how many were compared with a reference.
template <class G>
int CheckSamplesOverBlack(const std::string& format, int tolerance) {
  int checked = 0;
  for (const auto& row : ReadManifest()) {
    if (row.format != format) continue;
    SCOPED_TRACE(row.file);
    G graphic;
    bool loaded = true;
    std::string error;
    try {
      graphic.LoadFromFile(SharedPath("testimages/" + row.file));
    } catch (const InvalidImageError& e) {
      loaded = false;
      error = e.what();
    }
    if (row.expected == "must fail cleanly") {
      EXPECT_FALSE(loaded);
      continue;
    }
    if (row.expected == "loads") {
      EXPECT_TRUE(loaded) << error;
    }
    if (!loaded) continue;
    const auto drawn = DrawOnto(graphic);  // whatever loads must also draw
    if (row.width > 0) {
      EXPECT_EQ(graphic.Width(), row.width);
      EXPECT_EQ(graphic.Height(), row.height);
    }
    if (row.reference.rfind("reference/", 0) != 0) continue;
    int w = 0, h = 0;
    const auto expected = ReferenceOverBlack(SharedPath("testimages/" + row.reference), &w, &h);
    EXPECT_EQ(w, graphic.Width());
    EXPECT_EQ(h, graphic.Height());
    if (w != graphic.Width() || h != graphic.Height()) continue;
    EXPECT_LE(MaxChannelDifference(drawn, expected), tolerance);
    ++checked;
  }
  return checked;
}

}  // namespace tessane::test
