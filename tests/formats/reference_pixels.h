#pragma once
// Pixel comparisons against the reference decodes of the public samples (RGBA PNGs, read with
// Qt, never with our own PNG reader).

#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "formats/graphic.h"
#include "support/test_support.h"

namespace tessane::test {

/// A picture as $AARRGGBB words, rows top-down.
struct Pixels {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;
  uint32_t At(int32_t x, int32_t y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

inline Pixels LoadReference(const std::string& path) {
  QImage image(QString::fromStdString(path));
  Pixels out;
  if (image.isNull()) return out;
  image = image.convertToFormat(QImage::Format_ARGB32);
  out.width = image.width();
  out.height = image.height();
  out.argb.resize(static_cast<size_t>(out.width) * out.height);
  for (int32_t y = 0; y < out.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    std::copy(row, row + out.width, out.argb.begin() + static_cast<ptrdiff_t>(y) * out.width);
  }
  return out;
}

inline Pixels FromBitmap(const DibImage& bitmap) {
  Pixels out{bitmap.Width(), bitmap.Height(), {}};
  out.argb.resize(static_cast<size_t>(out.width) * out.height);
  for (int32_t y = 0; y < out.height; ++y)
    bitmap.ToColor32Row(y, out.argb.data() + static_cast<size_t>(y) * out.width);
  return out;
}

/// Draws the graphic into a w x h surface filled with `background`.
inline Pixels Render(Graphic& graphic, int32_t w, int32_t h, uint32_t background) {
  Pixels out{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, background)};
  graphic.Draw(ArgbView{out.argb.data(), w, h, w}, Rect{0, 0, w, h});
  return out;
}

/// The reference composited over an opaque background (straight alpha).
inline Pixels Over(const Pixels& picture, uint32_t background) {
  Pixels out = picture;
  for (uint32_t& c : out.argb) {
    const uint32_t a = c >> 24;
    uint32_t r = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
      const uint32_t s = (c >> shift) & 0xFF, d = (background >> shift) & 0xFF;
      r |= ((s * a + d * (255 - a) + 127) / 255) << shift;
    }
    c = r;
  }
  return out;
}

/// Largest channel difference (red, green, blue, and alpha when asked); -1 when the sizes differ.
struct Difference {
  int max = -1;
  double mean = 0;
  int32_t x = 0, y = 0;  // where max was found
};

inline Difference Compare(const Pixels& a, const Pixels& b, bool withAlpha = false) {
  Difference d;
  if (a.width != b.width || a.height != b.height) return d;
  d.max = 0;
  uint64_t sum = 0;
  const int channels = withAlpha ? 4 : 3;
  for (int32_t y = 0; y < a.height; ++y)
    for (int32_t x = 0; x < a.width; ++x)
      for (int c = 0; c < channels; ++c) {
        const int va = (a.At(x, y) >> (8 * c)) & 0xFF, vb = (b.At(x, y) >> (8 * c)) & 0xFF;
        const int diff = std::abs(va - vb);
        sum += static_cast<uint64_t>(diff);
        if (diff > d.max) {
          d.max = diff;
          d.x = x;
          d.y = y;
        }
      }
  const double n = static_cast<double>(a.width) * a.height * channels;
  d.mean = n > 0 ? static_cast<double>(sum) / n : 0;
  return d;
}

/// Manifest rows of one format folder ("bmp", "ico", "jpeg", "jpeg2000").
inline std::vector<ManifestRow> RowsOf(const std::string& format) {
  std::vector<ManifestRow> rows;
  for (const ManifestRow& row : ReadManifest())
    if (row.format == format) rows.push_back(row);
  return rows;
}

inline bool HasReference(const ManifestRow& row) {
  return row.reference.rfind("reference/", 0) == 0;
}

}  // namespace tessane::test
