#include "formats/metafile/emf_player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "formats/metafile/metafile_dib.h"
#include "formats/metafile/gdi_canvas.h"
#include "formats/metafile/metafile_records.h"

namespace tessane {

namespace {

constexpr uint32_t kDibPalColors = 1;
constexpr int64_t kMaxPatternPixels = int64_t{1} << 20, kPatternBudget = int64_t{1} << 24;
constexpr uint32_t kEtoNoRect = 0x100, kEtoSmallChars = 0x200;

class EmfPlayer {
 public:
  EmfPlayer(GdiCanvas& dc) : dc_(dc) {}

  void Play(const ByteView& r);

 private:
  static QPointF Point32(const ByteView& r, size_t at) {
    return QPointF(r.I32(at), r.I32(at + 4));
  }
  static QRectF Box(const ByteView& r, size_t at) {
    return QRectF(QPointF(r.I32(at), r.I32(at + 4)), QPointF(r.I32(at + 8), r.I32(at + 12)));
  }
  static QTransform Xform(const ByteView& r, size_t at) {
    return QTransform(r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16),
                      r.F32(at + 20));
  }
  // `count` points of two 16- or 32-bit values at `at`.
  static std::vector<QPointF> Points(const ByteView& r, size_t at, uint64_t count, bool small) {
    const size_t item = small ? 4 : 8;
    if (!r.HasArray(at, count, item)) throw ByteRangeError{};
    std::vector<QPointF> points(static_cast<size_t>(count));
    for (size_t i = 0; i < points.size(); ++i) {
      const size_t p = at + i * item;
      points[i] = small ? QPointF(r.I16(p), r.I16(p + 2)) : QPointF(r.I32(p), r.I32(p + 4));
    }
    return points;
  }
  static std::vector<std::vector<QPointF>> PolyPoints(const ByteView& r, bool small) {
    const uint32_t polys = r.U32(24);
    const uint32_t total = r.U32(28);
    if (!r.HasArray(32, polys, 4)) throw ByteRangeError{};
    const size_t pointsAt = 32 + static_cast<size_t>(polys) * 4;
    const std::vector<QPointF> all = Points(r, pointsAt, total, small);
    std::vector<std::vector<QPointF>> result;
    size_t next = 0;
    for (uint32_t i = 0; i < polys; ++i) {
      const uint32_t n = r.U32(32 + static_cast<size_t>(i) * 4);
      if (n > all.size() - next) throw ByteRangeError{};
      result.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(next),
                          all.begin() + static_cast<std::ptrdiff_t>(next + n));
      next += n;
    }
    return result;
  }
  // Region rectangles of a RGNDATA block.
  static std::vector<QRectF> RegionRects(const ByteView& r, size_t at, uint32_t size) {
    std::vector<QRectF> rects;
    if (size < 32) return rects;
    const ByteView data = r.Sub(at, size);
    const uint32_t count = data.U32(8);
    if (!data.HasArray(32, count, 16) || count > kMaxRegionRects) throw ByteRangeError{};
    rects.reserve(count);
    for (uint32_t i = 0; i < count; ++i) rects.push_back(Box(data, 32 + size_t{i} * 16));
    return rects;
  }
  // The DIB of a record from its (offBmi, cbBmi, offBits, cbBits) fields.
  static QImage Dib(const ByteView& r, size_t fields, uint32_t usage, bool keepAlpha,
                    int64_t maxPixels = int64_t{1} << 28) {
    if (usage == kDibPalColors) return {};
    const uint32_t offBmi = r.U32(fields), cbBmi = r.U32(fields + 4);
    const uint32_t offBits = r.U32(fields + 8), cbBits = r.U32(fields + 12);
    if (cbBmi == 0) return {};
    return DecodeMetafileDib(r.Sub(offBmi, cbBmi), r.Sub(offBits, cbBits), keepAlpha, maxPixels);
  }
  // Pattern brushes stay in the object table: each is small and all share one budget.
  QImage Pattern(const ByteView& r) {
    QImage image = Dib(r, 16, r.U32(12), false, std::min(kMaxPatternPixels, patternBudget_));
    patternBudget_ -= int64_t{image.width()} * image.height();
    return image;
  }
  // Height sign of the DIB header at `offBmi`: true for a top-down DIB.
  static bool TopDown(const ByteView& r, size_t fields) {
    const uint32_t offBmi = r.U32(fields);
    return r.U32(offBmi) >= 40 && r.I32(offBmi + 8) < 0;
  }

  void Text(const ByteView& r, bool wide);
  void SmallText(const ByteView& r);
  void Bitmap(const ByteView& r, uint32_t type);
  void Gradient(const ByteView& r);

  GdiCanvas& dc_;
  int64_t patternBudget_ = kPatternBudget;
};

void EmfPlayer::Play(const ByteView& r) {
  const uint32_t type = r.U32(0);
  switch (type) {
    case EMR_POLYBEZIER:
      dc_.PolyBezier(Points(r, 28, r.U32(24), false));
      break;
    case EMR_POLYGON:
      dc_.Polygon(Points(r, 28, r.U32(24), false));
      break;
    case EMR_POLYLINE:
      dc_.Polyline(Points(r, 28, r.U32(24), false));
      break;
    case EMR_POLYBEZIERTO:
      dc_.PolyBezierTo(Points(r, 28, r.U32(24), false));
      break;
    case EMR_POLYLINETO:
      dc_.PolylineTo(Points(r, 28, r.U32(24), false));
      break;
    case EMR_POLYPOLYLINE:
      dc_.PolyPolyline(PolyPoints(r, false));
      break;
    case EMR_POLYPOLYGON:
      dc_.PolyPolygon(PolyPoints(r, false));
      break;
    case EMR_POLYBEZIER16:
      dc_.PolyBezier(Points(r, 28, r.U32(24), true));
      break;
    case EMR_POLYGON16:
      dc_.Polygon(Points(r, 28, r.U32(24), true));
      break;
    case EMR_POLYLINE16:
      dc_.Polyline(Points(r, 28, r.U32(24), true));
      break;
    case EMR_POLYBEZIERTO16:
      dc_.PolyBezierTo(Points(r, 28, r.U32(24), true));
      break;
    case EMR_POLYLINETO16:
      dc_.PolylineTo(Points(r, 28, r.U32(24), true));
      break;
    case EMR_POLYPOLYLINE16:
      dc_.PolyPolyline(PolyPoints(r, true));
      break;
    case EMR_POLYPOLYGON16:
      dc_.PolyPolygon(PolyPoints(r, true));
      break;
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: {
      const bool small = type == EMR_POLYDRAW16;
      const uint32_t count = r.U32(24);
      const std::vector<QPointF> points = Points(r, 28, count, small);
      const size_t typesAt = 28 + points.size() * (small ? 4 : 8);
      const ByteView types = r.Sub(typesAt, count);
      dc_.PolyDraw(points, std::vector<uint8_t>(types.Data(), types.Data() + types.Size()));
      break;
    }
    case EMR_SETWINDOWEXTEX:
      dc_.SetWindowExt(r.I32(8), r.I32(12));
      break;
    case EMR_SETWINDOWORGEX:
      dc_.SetWindowOrg(r.I32(8), r.I32(12));
      break;
    case EMR_SETVIEWPORTEXTEX:
      dc_.SetViewportExt(r.I32(8), r.I32(12));
      break;
    case EMR_SETVIEWPORTORGEX:
      dc_.SetViewportOrg(r.I32(8), r.I32(12));
      break;
    case EMR_SCALEVIEWPORTEXTEX:
      dc_.ScaleViewportExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
      break;
    case EMR_SCALEWINDOWEXTEX:
      dc_.ScaleWindowExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
      break;
    case EMR_SETMAPMODE:
      dc_.SetMapMode(r.I32(8));
      break;
    case EMR_SETWORLDTRANSFORM:
      dc_.SetWorldTransform(Xform(r, 8));
      break;
    case EMR_MODIFYWORLDTRANSFORM:
      dc_.ModifyWorldTransform(Xform(r, 8), r.U32(32));
      break;
    case EMR_SETPIXELV:
      dc_.SetPixel(Point32(r, 8), ColorRef(r.U32(16)));
      break;
    case EMR_SETBKMODE:
      dc_.SetBkMode(r.I32(8));
      break;
    case EMR_SETPOLYFILLMODE:
      dc_.SetPolyFillMode(r.I32(8));
      break;
    case EMR_SETROP2:
      dc_.SetRop2(r.I32(8));
      break;
    case EMR_SETSTRETCHBLTMODE:
      dc_.SetStretchBltMode(r.I32(8));
      break;
    case EMR_SETTEXTALIGN:
      dc_.SetTextAlign(r.U32(8));
      break;
    case EMR_SETTEXTCOLOR:
      dc_.SetTextColor(ColorRef(r.U32(8)));
      break;
    case EMR_SETBKCOLOR:
      dc_.SetBkColor(ColorRef(r.U32(8)));
      break;
    case EMR_SETARCDIRECTION:
      dc_.SetArcDirection(r.I32(8));
      break;
    case EMR_SETMITERLIMIT: {
      // Written as an integer by some producers and as a float by others.
      const uint32_t raw = r.U32(8);
      dc_.SetMiterLimit(raw <= 1000 ? static_cast<double>(raw) : r.F32(8));
      break;
    }
    case EMR_OFFSETCLIPRGN:
      dc_.OffsetClipRgn(r.I32(8), r.I32(12));
      break;
    case EMR_MOVETOEX:
      dc_.MoveTo(Point32(r, 8));
      break;
    case EMR_LINETO:
      dc_.LineTo(Point32(r, 8));
      break;
    case EMR_EXCLUDECLIPRECT:
      dc_.ExcludeClipRect(Box(r, 8));
      break;
    case EMR_INTERSECTCLIPRECT:
      dc_.IntersectClipRect(Box(r, 8));
      break;
    case EMR_SAVEDC:
      dc_.SaveDC();
      break;
    case EMR_RESTOREDC:
      dc_.RestoreDC(r.I32(8));
      break;
    case EMR_SELECTOBJECT: {
      const uint32_t index = r.U32(8);
      if (index & kStockObject)
        dc_.SelectStockObject(index & 0x7FFFFFFFu);
      else
        dc_.SelectObject(index);
      break;
    }
    case EMR_DELETEOBJECT:
      dc_.DeleteObject(r.U32(8));
      break;
    case EMR_CREATEPEN: {
      GdiPen pen;
      pen.style = r.U32(12);
      pen.width = r.I32(16);
      pen.color = ColorRef(r.U32(24));
      dc_.CreateObjectAt(r.U32(8), pen);
      break;
    }
    case EMR_EXTCREATEPEN: {
      GdiPen pen;
      pen.style = r.U32(28);
      // Cosmetic pens are one device pixel whatever their width says.
      pen.width = (pen.style & gdi::PS_GEOMETRIC) ? static_cast<double>(r.U32(32)) : 0.0;
      if (r.U32(36) == gdi::BS_NULL) pen.style = gdi::PS_NULL;
      pen.color = ColorRef(r.U32(40));
      const uint32_t entries = r.U32(48);
      if ((pen.style & gdi::PS_STYLE_MASK) == gdi::PS_USERSTYLE && entries <= 16 &&
          r.HasArray(52, entries, 4))
        for (uint32_t i = 0; i < entries; ++i) pen.dashes.push_back(r.U32(52 + size_t{i} * 4));
      dc_.CreateObjectAt(r.U32(8), pen);
      break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
      GdiBrush brush;
      brush.style = r.U32(12);
      brush.color = ColorRef(r.U32(16));
      brush.hatch = r.U32(20);
      dc_.CreateObjectAt(r.U32(8), brush);
      break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      GdiBrush brush;
      brush.style = gdi::BS_DIBPATTERNPT;
      brush.pattern = Pattern(r);
      dc_.CreateObjectAt(r.U32(8), brush);
      break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      GdiFont font;
      font.height = r.I32(12);
      font.width = r.I32(16);
      font.escapement = r.I32(20);
      font.weight = r.I32(28);
      font.italic = r.U8(32) != 0;
      font.underline = r.U8(33) != 0;
      font.strike_out = r.U8(34) != 0;
      font.char_set = r.U8(35);
      font.quality = r.U8(38);
      font.pitch_and_family = r.U8(39);
      for (size_t i = 0; i < 32 && r.Has(40 + i * 2, 2); ++i) {
        const uint16_t c = r.U16(40 + i * 2);
        if (c == 0) break;
        font.face_name.append(QChar(c));
      }
      dc_.CreateObjectAt(r.U32(8), font);
      break;
    }
    case EMR_CREATEPALETTE:
    case EMR_CREATECOLORSPACE:
    case EMR_CREATECOLORSPACEW:
      dc_.CreateObjectAt(r.U32(8), std::monostate{});
      break;
    case EMR_ANGLEARC:
      dc_.AngleArc(Point32(r, 8), r.U32(16), r.F32(20), r.F32(24));
      break;
    case EMR_ELLIPSE:
      dc_.Ellipse(Box(r, 8));
      break;
    case EMR_RECTANGLE:
      dc_.Rectangle(Box(r, 8));
      break;
    case EMR_ROUNDRECT:
      dc_.RoundRect(Box(r, 8), r.I32(24), r.I32(28));
      break;
    case EMR_ARC:
      dc_.Arc(Box(r, 8), Point32(r, 24), Point32(r, 32));
      break;
    case EMR_ARCTO:
      dc_.ArcTo(Box(r, 8), Point32(r, 24), Point32(r, 32));
      break;
    case EMR_CHORD:
      dc_.Chord(Box(r, 8), Point32(r, 24), Point32(r, 32));
      break;
    case EMR_PIE:
      dc_.Pie(Box(r, 8), Point32(r, 24), Point32(r, 32));
      break;
    case EMR_BEGINPATH:
      dc_.BeginPath();
      break;
    case EMR_ENDPATH:
      dc_.EndPath();
      break;
    case EMR_CLOSEFIGURE:
      dc_.CloseFigure();
      break;
    case EMR_FILLPATH:
      dc_.FillPath();
      break;
    case EMR_STROKEANDFILLPATH:
      dc_.StrokeAndFillPath();
      break;
    case EMR_STROKEPATH:
      dc_.StrokePath();
      break;
    case EMR_WIDENPATH:
      dc_.WidenPath();
      break;
    case EMR_SELECTCLIPPATH:
      dc_.SelectClipPath(r.I32(8));
      break;
    case EMR_ABORTPATH:
      dc_.AbortPath();
      break;
    case EMR_FILLRGN: {
      const GdiObject* object = dc_.Object(r.U32(28));
      const GdiBrush* brush = object ? std::get_if<GdiBrush>(object) : nullptr;
      if (brush) dc_.FillRegion(GdiRegion{RegionRects(r, 32, r.U32(24))}, *brush);
      break;
    }
    case EMR_FRAMERGN: {
      const GdiObject* object = dc_.Object(r.U32(28));
      const GdiBrush* brush = object ? std::get_if<GdiBrush>(object) : nullptr;
      if (brush)
        dc_.FrameRegion(GdiRegion{RegionRects(r, 40, r.U32(24))}, *brush, r.I32(32), r.I32(36));
      break;
    }
    case EMR_PAINTRGN:
      dc_.PaintRegion(GdiRegion{RegionRects(r, 28, r.U32(24))});
      break;
    case EMR_INVERTRGN:
      dc_.InvertRegion(GdiRegion{RegionRects(r, 28, r.U32(24))});
      break;
    case EMR_EXTSELECTCLIPRGN:
      dc_.SelectClipDeviceRects(RegionRects(r, 16, r.U32(8)), r.I32(12));
      break;
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
      Bitmap(r, type);
      break;
    case EMR_EXTTEXTOUTA:
      Text(r, false);
      break;
    case EMR_EXTTEXTOUTW:
      Text(r, true);
      break;
    case EMR_SMALLTEXTOUT:
      SmallText(r);
      break;
    case EMR_GRADIENTFILL:
      Gradient(r);
      break;
    default:
      break;
  }
}

void EmfPlayer::Text(const ByteView& r, bool wide) {
  const QPointF reference = Point32(r, 36);
  const uint32_t count = r.U32(44);
  const uint32_t offString = r.U32(48);
  const uint32_t options = r.U32(52);
  const QRectF box = Box(r, 56);
  const uint32_t offDx = r.U32(72);
  if (!r.HasArray(offString, count, wide ? 2 : 1)) throw ByteRangeError{};
  QString text;
  if (wide) {
    text.reserve(count);
    for (uint32_t i = 0; i < count; ++i) text.append(QChar(r.U16(offString + size_t{i} * 2)));
  } else {
    text = AnsiText(r.Data() + offString, count, 0);
  }
  std::vector<double> dx;
  const uint32_t step = (options & gdi::ETO_PDY) ? 2 : 1;
  if (offDx != 0 && r.HasArray(offDx, uint64_t{count} * step, 4)) {
    dx.resize(count);
    for (uint32_t i = 0; i < count; ++i) dx[i] = r.I32(offDx + size_t{i} * step * 4);
  }
  const bool hasBox = (options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) != 0;
  dc_.TextOut(reference, text, dx, options, hasBox ? &box : nullptr);
}

void EmfPlayer::SmallText(const ByteView& r) {
  const QPointF reference = Point32(r, 8);
  const uint32_t count = r.U32(16);
  const uint32_t options = r.U32(20);
  size_t at = 36;
  QRectF box;
  const bool hasBox = !(options & kEtoNoRect);
  if (hasBox) {
    box = Box(r, at);
    at += 16;
  }
  const bool small = (options & kEtoSmallChars) != 0;
  if (!r.HasArray(at, count, small ? 1 : 2)) throw ByteRangeError{};
  QString text;
  if (small) {
    text = AnsiText(r.Data() + at, count, 0);
  } else {
    for (uint32_t i = 0; i < count; ++i) text.append(QChar(r.U16(at + size_t{i} * 2)));
  }
  dc_.TextOut(reference, text, {}, options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED),
              hasBox ? &box : nullptr);
}

void EmfPlayer::Bitmap(const ByteView& r, uint32_t type) {
  switch (type) {
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
      const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
      const uint32_t rop = r.U32(40);
      if (r.U32(88) == 0) {
        dc_.PatBlt(dest, rop);
        return;
      }
      QRectF source(r.I32(44), r.I32(48), dest.width(), dest.height());
      if (type == EMR_STRETCHBLT) source.setSize(QSizeF(r.I32(100), r.I32(104)));
      const QTransform xform = Xform(r, 52);
      if (!xform.isIdentity() && xform.isInvertible() && !xform.isRotating())
        source = xform.mapRect(source);
      dc_.StretchImage(Dib(r, 84, r.U32(80), false), source, dest, rop);
      return;
    }
    case EMR_STRETCHDIBITS: {
      const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
      const uint32_t rop = r.U32(68);
      if (r.U32(52) == 0) {
        dc_.PatBlt(dest, rop);
        return;
      }
      const QImage image = Dib(r, 48, r.U32(64), false);
      if (image.isNull()) return;
      const double cy = r.I32(44);
      // The source origin of a bottom-up DIB is its lower-left corner.
      const double top = TopDown(r, 48) ? r.I32(36) : image.height() - r.I32(36) - cy;
      dc_.StretchImage(image, QRectF(r.I32(32), top, r.I32(40), cy), dest, rop);
      return;
    }
    case EMR_SETDIBITSTODEVICE: {
      const double xDest = r.I32(24), yDest = r.I32(28);
      const double xSrc = r.I32(32), ySrc = r.I32(36);
      const double cx = r.I32(40), cy = r.I32(44);
      const uint32_t startScan = r.U32(68), scans = r.U32(72);
      if (r.U32(64) == kDibPalColors || r.U32(52) == 0) return;
      // The bits may hold only a band of scan lines: the header is made to describe the band.
      const ByteView info = r.Sub(r.U32(48), r.U32(52));
      std::vector<uint8_t> header(info.Data(), info.Data() + info.Size());
      const bool topDown = TopDown(r, 48);
      if (scans > 0 && scans <= 0x7FFFFFFFu && header.size() >= 12) {
        const ByteView h(header.data(), header.size());
        const bool core = h.U32(0) < 40;
        const int64_t height = core ? h.U16(6) : std::abs(int64_t{h.I32(8)});
        if (scans < height) {
          const uint32_t value = core ? scans : (topDown ? 0u - scans : scans);
          for (int k = 0; k < (core ? 2 : 4); ++k)
            header[(core ? 6 : 8) + k] = static_cast<uint8_t>(value >> (8 * k));
        }
      }
      const QImage band = DecodeMetafileDib(ByteView(header.data(), header.size()),
                                            r.Sub(r.U32(56), r.U32(60)), false);
      if (band.isNull()) return;
      // Scan lines count from the bottom of the whole DIB unless it is top-down.
      const double top = topDown ? ySrc - startScan : band.height() + double(startScan) - ySrc - cy;
      dc_.StretchImage(band, QRectF(xSrc, top, cx, cy), QRectF(xDest, yDest, cx, cy), gdi::SRCCOPY);
      return;
    }
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
      const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
      const QRectF source(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
      if (type == EMR_ALPHABLEND) {
        const bool perPixel = (r.U8(43) & 1) != 0;
        dc_.AlphaBlendImage(Dib(r, 84, r.U32(80), perPixel), source, dest, r.U8(42), perPixel);
      } else {
        QImage image = Dib(r, 84, r.U32(80), false);
        const QRgb key = ColorRef(r.U32(40)).rgb();
        for (int y = 0; y < image.height(); ++y) {
          QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
          for (int x = 0; x < image.width(); ++x)
            if (row[x] == key) row[x] = 0;
        }
        dc_.StretchImage(image, source, dest, gdi::SRCCOPY);
      }
      return;
    }
    default:
      return;
  }
}

void EmfPlayer::Gradient(const ByteView& r) {
  const uint32_t vertices = r.U32(24), shapes = r.U32(28), mode = r.U32(32);
  if (!r.HasArray(36, vertices, 16)) throw ByteRangeError{};
  auto vertex = [&](uint32_t i, QPointF* p, QColor* c) {
    if (i >= vertices) return false;
    const size_t at = 36 + size_t{i} * 16;
    *p = QPointF(r.I32(at), r.I32(at + 4));
    *c = QColor(r.U16(at + 8) >> 8, r.U16(at + 10) >> 8, r.U16(at + 12) >> 8);
    return true;
  };
  const size_t shapesAt = 36 + size_t{vertices} * 16;
  const size_t item = mode == 2 ? 12 : 8;
  if (!r.HasArray(shapesAt, shapes, item)) throw ByteRangeError{};
  for (uint32_t s = 0; s < shapes; ++s) {
    const size_t at = shapesAt + s * item;
    if (mode == 2) {
      QPointF p[3];
      QColor c[3];
      bool ok = true;
      for (int k = 0; k < 3; ++k) ok = ok && vertex(r.U32(at + k * 4), &p[k], &c[k]);
      if (ok) dc_.GradientTriangle(p, c);
    } else if (mode <= 1) {
      QPointF p0, p1;
      QColor c0, c1;
      if (vertex(r.U32(at), &p0, &c0) && vertex(r.U32(at + 4), &p1, &c1))
        dc_.GradientRect(QRectF(p0, p1), c0, c1, mode == 1);
    }
  }
}

}  // namespace

void PlayEnhancedMetafile(ByteView data, QImage& target, const QRect& rect, QSize frameSize) {
  if (!data.Has(0, 88) || frameSize.width() <= 0 || frameSize.height() <= 0 || rect.isEmpty())
    return;
  const double frameLeft = data.I32(24), frameTop = data.I32(28);
  const double devicePx = data.I32(72), devicePy = data.I32(76);
  const double deviceMmX = data.I32(80), deviceMmY = data.I32(84);
  if (devicePx <= 0 || devicePy <= 0 || deviceMmX <= 0 || deviceMmY <= 0) return;

  GdiCanvas dc(target, rect);
  dc.SetReferenceDevice(QSizeF(devicePx, devicePy), QSizeF(deviceMmX, deviceMmY));
  // The frame (0.01 mm) in reference-device pixels is mapped onto the rectangle; its size is
  // the reported picture size, so a picture drawn at its own size plays at one to one.
  const double left = frameLeft * devicePx / (deviceMmX * 100);
  const double top = frameTop * devicePy / (deviceMmY * 100);
  dc.SetDeviceToOutput(QTransform::fromTranslate(-left, -top) *
                       QTransform::fromScale(double(rect.width()) / frameSize.width(),
                                             double(rect.height()) / frameSize.height()) *
                       QTransform::fromTranslate(rect.left(), rect.top()));

  EmfPlayer player(dc);
  size_t offset = 0;
  while (data.Has(offset, 8)) {
    const uint32_t type = data.U32(offset);
    const uint32_t size = data.U32(offset + 4);
    if (size < 8 || !data.Has(offset, size)) break;
    if (type == EMR_EOF) break;
    if (type != EMR_HEADER) {
      try {
        player.Play(data.Sub(offset, size));
      } catch (const ByteRangeError&) {
        // A record whose fields point outside it is skipped as a whole.
      }
    }
    offset += size;
  }
}

}  // namespace tessane
