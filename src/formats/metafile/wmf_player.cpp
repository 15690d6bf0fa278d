#include "formats/metafile/wmf_player.h"

#include <algorithm>
#include <vector>

#include "formats/metafile/metafile_dib.h"
#include "formats/metafile/gdi_canvas.h"
#include "formats/metafile/metafile_records.h"

namespace tessane {

namespace {

constexpr uint16_t kDibPalColors = 1;
constexpr int64_t kMaxPatternPixels = int64_t{1} << 20, kPatternBudget = int64_t{1} << 24;

class WmfPlayer {
 public:
  explicit WmfPlayer(GdiCanvas& dc) : dc_(dc) {}
  void Play(const ByteView& r);

 private:
  // A rectangle stored as bottom, right, top, left at `at`.
  static QRectF ReversedBox(const ByteView& r, size_t at) {
    return QRectF(QPointF(r.I16(at + 6), r.I16(at + 4)), QPointF(r.I16(at + 2), r.I16(at)));
  }
  // A point stored as y, x at `at`.
  static QPointF ReversedPoint(const ByteView& r, size_t at) {
    return QPointF(r.I16(at + 2), r.I16(at));
  }
  static std::vector<QPointF> Points(const ByteView& r, size_t at, uint64_t count) {
    if (!r.HasArray(at, count, 4)) throw ByteRangeError{};
    std::vector<QPointF> points(static_cast<size_t>(count));
    for (size_t i = 0; i < points.size(); ++i)
      points[i] = QPointF(r.I16(at + i * 4), r.I16(at + i * 4 + 2));
    return points;
  }
  // The packed DIB from `at` to the end of the record, or a null image.
  static QImage PackedDib(const ByteView& r, size_t at, uint16_t usage,
                          int64_t maxPixels = int64_t{1} << 28) {
    if (usage == kDibPalColors) return {};
    const ByteView dib = r.From(at);
    const size_t info = PackedDibInfoSize(dib, false);
    if (info == 0) return {};
    return DecodeMetafileDib(dib.Sub(0, info), dib.From(info), false, maxPixels);
  }
  static bool TopDown(const ByteView& r, size_t at) {
    return r.U32(at) >= 40 && r.I32(at + 8) < 0;
  }
  const GdiRegion* Region(uint16_t index) const {
    const GdiObject* object = dc_.Object(index);
    return object ? std::get_if<GdiRegion>(object) : nullptr;
  }
  const GdiBrush* Brush(uint16_t index) const {
    const GdiObject* object = dc_.Object(index);
    return object ? std::get_if<GdiBrush>(object) : nullptr;
  }

  void CreateRegion(const ByteView& r);
  void Text(const ByteView& r, bool extended);

  GdiCanvas& dc_;
  int64_t patternBudget_ = kPatternBudget;
};

void WmfPlayer::Play(const ByteView& r) {
  const uint16_t function = r.U16(4);
  // Records of the bitmap-copy family come without a bitmap when their size is this.
  const bool noBitmap = r.Size() / 2 == static_cast<size_t>((function >> 8) + 3);
  switch (function) {
    case META_SAVEDC:
      dc_.SaveDC();
      break;
    case META_RESTOREDC:
      dc_.RestoreDC(r.I16(6));
      break;
    case META_SETBKMODE:
      dc_.SetBkMode(r.U16(6));
      break;
    case META_SETROP2:
      dc_.SetRop2(r.U16(6));
      break;
    case META_SETPOLYFILLMODE:
      dc_.SetPolyFillMode(r.U16(6));
      break;
    case META_SETSTRETCHBLTMODE:
      dc_.SetStretchBltMode(r.U16(6));
      break;
    case META_SETTEXTALIGN:
      dc_.SetTextAlign(r.U16(6));
      break;
    case META_SETBKCOLOR:
      dc_.SetBkColor(ColorRef(r.U32(6)));
      break;
    case META_SETTEXTCOLOR:
      dc_.SetTextColor(ColorRef(r.U32(6)));
      break;
    case META_SETWINDOWORG:
      dc_.SetWindowOrg(r.I16(8), r.I16(6));
      break;
    case META_SETWINDOWEXT:
      dc_.SetWindowExt(r.I16(8), r.I16(6));
      break;
    case META_OFFSETWINDOWORG:
      dc_.OffsetWindowOrg(r.I16(8), r.I16(6));
      break;
    case META_SCALEWINDOWEXT:
      dc_.ScaleWindowExt(r.I16(12), r.I16(10), r.I16(8), r.I16(6));
      break;
    case META_MOVETO:
      dc_.MoveTo(ReversedPoint(r, 6));
      break;
    case META_LINETO:
      dc_.LineTo(ReversedPoint(r, 6));
      break;
    case META_OFFSETCLIPRGN:
      dc_.OffsetClipRgn(r.I16(8), r.I16(6));
      break;
    case META_EXCLUDECLIPRECT:
      dc_.ExcludeClipRect(ReversedBox(r, 6));
      break;
    case META_INTERSECTCLIPRECT:
      dc_.IntersectClipRect(ReversedBox(r, 6));
      break;
    case META_SELECTOBJECT:
      dc_.SelectObject(r.U16(6));
      break;
    case META_DELETEOBJECT:
      dc_.DeleteObject(r.U16(6));
      break;
    case META_SELECTCLIPREGION: {
      const GdiRegion* region = Region(r.U16(6));
      dc_.SelectClipRegion(region ? *region : GdiRegion{}, gdi::RGN_COPY);
      break;
    }
    case META_CREATEPENINDIRECT: {
      GdiPen pen;
      pen.style = r.U16(6);
      pen.width = r.I16(8);
      pen.color = ColorRef(r.U32(12));
      dc_.AddObject(pen);
      break;
    }
    case META_CREATEBRUSHINDIRECT: {
      GdiBrush brush;
      brush.style = r.U16(6);
      brush.color = ColorRef(r.U32(8));
      brush.hatch = r.U16(12);
      dc_.AddObject(brush);
      break;
    }
    case META_DIBCREATEPATTERNBRUSH: {
      GdiBrush brush;
      brush.style = gdi::BS_DIBPATTERNPT;
      // Style BS_PATTERN carries a device-dependent bitmap, which is not decoded.
      if (r.U16(6) != gdi::BS_PATTERN) {
        // Pattern brushes stay in the object table: each is small and all share one budget.
        brush.pattern = PackedDib(r, 10, r.U16(8), std::min(kMaxPatternPixels, patternBudget_));
        patternBudget_ -= int64_t{brush.pattern.width()} * brush.pattern.height();
      }
      dc_.AddObject(brush);
      break;
    }
    case META_CREATEPATTERNBRUSH: {
      GdiBrush brush;
      brush.style = gdi::BS_PATTERN;
      dc_.AddObject(brush);
      break;
    }
    case META_CREATEFONTINDIRECT: {
      GdiFont font;
      font.height = r.I16(6);
      font.width = r.I16(8);
      font.escapement = r.I16(10);
      font.weight = r.I16(14);
      font.italic = r.U8(16) != 0;
      font.underline = r.U8(17) != 0;
      font.strike_out = r.U8(18) != 0;
      font.char_set = r.U8(19);
      font.quality = r.U8(22);
      font.pitch_and_family = r.U8(23);
      size_t length = 0;
      while (length < 32 && r.Has(24 + length, 1) && r.U8(24 + length) != 0) ++length;
      font.face_name = AnsiText(r.Data() + 24, length, 0);
      dc_.AddObject(font);
      break;
    }
    case META_CREATEPALETTE:
      dc_.AddObject(std::monostate{});
      break;
    case META_CREATEREGION:
      CreateRegion(r);
      break;
    case META_POLYGON:
      dc_.Polygon(Points(r, 8, r.U16(6)));
      break;
    case META_POLYLINE:
      dc_.Polyline(Points(r, 8, r.U16(6)));
      break;
    case META_POLYPOLYGON: {
      const uint16_t polys = r.U16(6);
      if (!r.HasArray(8, polys, 2)) throw ByteRangeError{};
      size_t at = 8 + size_t{polys} * 2;
      std::vector<std::vector<QPointF>> polygons;
      for (uint16_t i = 0; i < polys; ++i) {
        const uint16_t n = r.U16(8 + size_t{i} * 2);
        polygons.push_back(Points(r, at, n));
        at += size_t{n} * 4;
      }
      dc_.PolyPolygon(polygons);
      break;
    }
    case META_RECTANGLE:
      dc_.Rectangle(ReversedBox(r, 6));
      break;
    case META_ELLIPSE:
      dc_.Ellipse(ReversedBox(r, 6));
      break;
    case META_ROUNDRECT:
      dc_.RoundRect(ReversedBox(r, 10), r.I16(8), r.I16(6));
      break;
    case META_ARC:
      dc_.Arc(ReversedBox(r, 14), ReversedPoint(r, 10), ReversedPoint(r, 6));
      break;
    case META_PIE:
      dc_.Pie(ReversedBox(r, 14), ReversedPoint(r, 10), ReversedPoint(r, 6));
      break;
    case META_CHORD:
      dc_.Chord(ReversedBox(r, 14), ReversedPoint(r, 10), ReversedPoint(r, 6));
      break;
    case META_SETPIXEL:
      dc_.SetPixel(ReversedPoint(r, 10), ColorRef(r.U32(6)));
      break;
    case META_FILLREGION: {
      const GdiRegion* region = Region(r.U16(6));
      const GdiBrush* brush = Brush(r.U16(8));
      if (region && brush) dc_.FillRegion(*region, *brush);
      break;
    }
    case META_FRAMEREGION: {
      const GdiRegion* region = Region(r.U16(6));
      const GdiBrush* brush = Brush(r.U16(8));
      if (region && brush) dc_.FrameRegion(*region, *brush, r.I16(12), r.I16(10));
      break;
    }
    case META_PAINTREGION:
      if (const GdiRegion* region = Region(r.U16(6))) dc_.PaintRegion(*region);
      break;
    case META_INVERTREGION:
      if (const GdiRegion* region = Region(r.U16(6))) dc_.InvertRegion(*region);
      break;
    case META_PATBLT:
      dc_.PatBlt(QRectF(r.I16(16), r.I16(14), r.I16(12), r.I16(10)), r.U32(6));
      break;
    case META_BITBLT:
      // Only the form without a bitmap: device-dependent bitmaps are not decoded.
      if (noBitmap) dc_.PatBlt(QRectF(r.I16(18), r.I16(16), r.I16(14), r.I16(12)), r.U32(6));
      break;
    case META_STRETCHBLT:
      if (noBitmap) dc_.PatBlt(QRectF(r.I16(26), r.I16(24), r.I16(22), r.I16(20)), r.U32(6));
      break;
    case META_DIBBITBLT: {
      if (noBitmap) {
        dc_.PatBlt(QRectF(r.I16(18), r.I16(16), r.I16(14), r.I16(12)), r.U32(6));
        break;
      }
      const QRectF dest(r.I16(20), r.I16(18), r.I16(16), r.I16(14));
      const QRectF source(r.I16(12), r.I16(10), dest.width(), dest.height());
      dc_.StretchImage(PackedDib(r, 22, 0), source, dest, r.U32(6));
      break;
    }
    case META_DIBSTRETCHBLT: {
      if (noBitmap) {
        dc_.PatBlt(QRectF(r.I16(26), r.I16(24), r.I16(22), r.I16(20)), r.U32(6));
        break;
      }
      const QRectF dest(r.I16(24), r.I16(22), r.I16(20), r.I16(18));
      const QRectF source(r.I16(16), r.I16(14), r.I16(12), r.I16(10));
      dc_.StretchImage(PackedDib(r, 26, 0), source, dest, r.U32(6));
      break;
    }
    case META_STRETCHDIB: {
      const QImage image = PackedDib(r, 28, r.U16(10));
      if (image.isNull()) break;
      const double srcHeight = r.I16(12);
      // The source origin of a bottom-up DIB is its lower-left corner.
      const double top =
          TopDown(r, 28) ? r.I16(16) : image.height() - double(r.I16(16)) - srcHeight;
      dc_.StretchImage(image, QRectF(r.I16(18), top, r.I16(14), srcHeight),
                       QRectF(r.I16(26), r.I16(24), r.I16(22), r.I16(20)), r.U32(6));
      break;
    }
    case META_SETDIBTODEV: {
      const QImage image = PackedDib(r, 24, r.U16(6));
      if (image.isNull()) break;
      const double height = r.I16(16), ySrc = r.I16(12);
      const double top = TopDown(r, 24) ? ySrc : image.height() - ySrc - height;
      dc_.StretchImage(image, QRectF(r.I16(14), top, r.I16(18), height),
                       QRectF(r.I16(22), r.I16(20), r.I16(18), height), gdi::SRCCOPY);
      break;
    }
    case META_TEXTOUT:
      Text(r, false);
      break;
    case META_EXTTEXTOUT:
      Text(r, true);
      break;
    default:
      break;
  }
}

void WmfPlayer::CreateRegion(const ByteView& r) {
  GdiRegion region;
  // The scans follow a 22-byte region header; each holds a band of left/right pairs.
  const uint16_t scans = r.U16(16);
  size_t at = 28;
  for (uint16_t s = 0; s < scans && r.Has(at, 6); ++s) {
    const uint16_t count = r.U16(at);
    const double top = r.I16(at + 2), bottom = r.I16(at + 4);
    const size_t pairs = count / 2;
    if (!r.HasArray(at + 6, pairs, 4)) break;
    for (size_t i = 0; i < pairs && region.rects.size() < kMaxRegionRects; ++i) {
      const size_t p = at + 6 + i * 4;
      region.rects.emplace_back(QPointF(r.I16(p), top), QPointF(r.I16(p + 2), bottom));
    }
    at += 6 + size_t{count} * 2 + 2;
  }
  dc_.AddObject(region);
}

void WmfPlayer::Text(const ByteView& r, bool extended) {
  const uint8_t charSet = dc_.State().font.char_set;
  if (!extended) {
    const int16_t length = r.I16(6);
    if (length <= 0) return;
    const size_t padded = (static_cast<size_t>(length) + 1) & ~size_t{1};
    const ByteView chars = r.Sub(8, static_cast<size_t>(length));
    const QPointF reference = ReversedPoint(r, 8 + padded);
    dc_.TextOut(reference, AnsiText(chars.Data(), chars.Size(), charSet), {}, 0, nullptr);
    return;
  }
  const QPointF reference = ReversedPoint(r, 6);
  const int16_t length = r.I16(10);
  const uint16_t options = r.U16(12);
  size_t at = 14;
  QRectF box;
  const bool hasBox = (options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) != 0;
  if (hasBox) {
    box = QRectF(QPointF(r.I16(14), r.I16(16)), QPointF(r.I16(18), r.I16(20)));
    at += 8;
  }
  if (length < 0) return;
  const ByteView chars = r.Sub(at, static_cast<size_t>(length));
  at += (static_cast<size_t>(length) + 1) & ~size_t{1};
  std::vector<double> dx;
  if (r.HasArray(at, static_cast<size_t>(length), 2)) {
    dx.resize(static_cast<size_t>(length));
    for (size_t i = 0; i < dx.size(); ++i) dx[i] = r.I16(at + i * 2);
  }
  dc_.TextOut(reference, AnsiText(chars.Data(), chars.Size(), charSet), dx, options,
              hasBox ? &box : nullptr);
}

}  // namespace

void PlayWindowsMetafile(ByteView data, QImage& target, const QRect& rect, const QRectF& bounds) {
  if (!data.Has(0, 18) || rect.isEmpty() || bounds.width() <= 0 || bounds.height() <= 0) return;
  GdiCanvas dc(target, rect);
  // Windows metafiles play with the anisotropic mapping: the window is the bounding box until
  // the records set their own, the viewport is the rectangle.
  dc.SetMapMode(gdi::MM_ANISOTROPIC);
  dc.SetWindowOrg(bounds.left(), bounds.top());
  dc.SetWindowExt(bounds.width(), bounds.height());
  dc.SetViewportOrg(rect.left(), rect.top());
  dc.SetViewportExt(rect.width(), rect.height());

  WmfPlayer player(dc);
  size_t offset = size_t{data.U16(2)} * 2;
  while (data.Has(offset, 6)) {
    const uint64_t size = uint64_t{data.U32(offset)} * 2;
    const uint16_t function = data.U16(offset + 4);
    if (size < 6 || !data.Has(offset, static_cast<size_t>(size))) break;
    if (function == META_EOF) break;
    try {
      player.Play(data.Sub(offset, static_cast<size_t>(size)));
    } catch (const ByteRangeError&) {
      // A record whose fields point outside it is skipped as a whole.
    }
    offset += static_cast<size_t>(size);
  }
}

}  // namespace tessane
