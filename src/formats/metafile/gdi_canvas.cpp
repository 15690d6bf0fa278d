#include "formats/metafile/gdi_canvas.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

#include "formats/metafile/metafile_graphic.h"

namespace tessane {

namespace {

constexpr size_t kMaxSavedStates = 1024;
constexpr uint32_t kMaxObjectIndex = 65535;
// A logical-to-output mapping beyond this scale cannot come from a sane file.
constexpr double kMaxMappingElement = 1e12;
constexpr double kPi = 3.14159265358979323846;

bool Finite(double v) {
  return std::isfinite(v);
}

bool FiniteTransform(const QTransform& t) {
  const double e[] = {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(),
                      t.m23(), t.m31(), t.m32(), t.m33()};
  for (double v : e)
    if (!Finite(v) || std::fabs(v) > kMaxMappingElement) return false;
  return true;
}

bool AxisAligned(const QTransform& t) {
  return t.m12() == 0 && t.m21() == 0 && !t.isRotating();
}

QRectF Normalized(QRectF r) {
  return r.normalized();
}

// Integer pixel rectangle covering the pixels whose centres a rectangle contains.
QRect PixelRect(const QRectF& r) {
  const double left = std::round(r.left()), top = std::round(r.top());
  const double right = std::round(r.right()), bottom = std::round(r.bottom());
  const double limit = 1 << 30;
  auto clampi = [limit](double v) { return static_cast<int>(std::clamp(v, -limit, limit)); };
  return QRect(QPoint(clampi(left), clampi(top)), QPoint(clampi(right) - 1, clampi(bottom) - 1));
}

QPainterPath PolylinePath(const std::vector<QPointF>& points) {
  QPainterPath path;
  if (points.empty()) return path;
  path.moveTo(points[0]);
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  return path;
}

QPainterPath PolygonPath(const std::vector<QPointF>& points) {
  QPainterPath path = PolylinePath(points);
  if (!points.empty()) path.closeSubpath();
  return path;
}

Qt::BrushStyle HatchStyle(uint32_t hatch) {
  switch (hatch) {
    case gdi::HS_HORIZONTAL:
      return Qt::HorPattern;
    case gdi::HS_VERTICAL:
      return Qt::VerPattern;
    case gdi::HS_FDIAGONAL:
      return Qt::FDiagPattern;
    case gdi::HS_BDIAGONAL:
      return Qt::BDiagPattern;
    case gdi::HS_CROSS:
      return Qt::CrossPattern;
    case gdi::HS_DIAGCROSS:
      return Qt::DiagCrossPattern;
    default:
      return Qt::SolidPattern;
  }
}

// Parametric angle (degrees, counter-clockwise with y down) of the point where the line from
// the box centre towards `p` meets the ellipse inscribed in the box.
double EllipseAngle(const QRectF& box, QPointF p) {
  const double rx = box.width() / 2, ry = box.height() / 2;
  const QPointF c = box.center();
  const double dx = rx > 0 ? (p.x() - c.x()) / rx : 0;
  const double dy = ry > 0 ? (p.y() - c.y()) / ry : 0;
  if (dx == 0 && dy == 0) return 0;
  return std::atan2(-dy, dx) * 180 / kPi;
}

double Sweep(double from, double to, bool counterClockwise) {
  double sweep = to - from;
  if (counterClockwise) {
    while (sweep <= 0) sweep += 360;
    while (sweep > 360) sweep -= 360;
  } else {
    while (sweep >= 0) sweep -= 360;
    while (sweep < -360) sweep += 360;
  }
  return sweep;
}

QColor Average(const QColor (&c)[3]) {
  return QColor((c[0].red() + c[1].red() + c[2].red()) / 3,
                (c[0].green() + c[1].green() + c[2].green()) / 3,
                (c[0].blue() + c[1].blue() + c[2].blue()) / 3);
}

// Composition for the three-operand raster codes that involve the source; false when the
// code does not read the source at all.
bool SourceRop(uint32_t rop, QPainter::CompositionMode* mode) {
  switch ((rop >> 16) & 0xFF) {
    case 0xEE:
      *mode = QPainter::RasterOp_SourceOrDestination;
      return true;
    case 0x88:
      *mode = QPainter::RasterOp_SourceAndDestination;
      return true;
    case 0x66:
      *mode = QPainter::RasterOp_SourceXorDestination;
      return true;
    case 0x44:
      *mode = QPainter::RasterOp_SourceAndNotDestination;
      return true;
    case 0x33:
      *mode = QPainter::RasterOp_NotSource;
      return true;
    case 0x11:
      *mode = QPainter::RasterOp_NotSourceAndNotDestination;
      return true;
    case 0xBB:
      *mode = QPainter::RasterOp_NotSourceOrDestination;
      return true;
    case 0x99:
      *mode = QPainter::RasterOp_NotSourceXorDestination;
      return true;
    case 0x22:
      *mode = QPainter::RasterOp_NotSourceAndDestination;
      return true;
    case 0x00:
    case 0xFF:
    case 0xF0:
    case 0x5A:
    case 0x55:
    case 0xAA:
    case 0x0F:
      return false;
    default:
      *mode = QPainter::CompositionMode_SourceOver;
      return true;
  }
}

const QString& DefaultFamily(uint8_t pitchAndFamily) {
  static const QString serif = QStringLiteral("Serif"), sans = QStringLiteral("Sans Serif"),
                       mono = QStringLiteral("Monospace");
  switch (pitchAndFamily & 0xF0) {
    case 0x10:
      return serif;
    case 0x30:
      return mono;
    default:
      return sans;
  }
}

// Combines regions pairwise, so that n parts cost about n log n rather than n squared.
QRegion Combine(std::vector<QRegion> parts, bool exclusive) {
  if (parts.empty()) return QRegion();
  while (parts.size() > 1) {
    std::vector<QRegion> next;
    next.reserve((parts.size() + 1) / 2);
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
      next.push_back(exclusive ? parts[i].xored(parts[i + 1]) : parts[i].united(parts[i + 1]));
    if (parts.size() % 2) next.push_back(std::move(parts.back()));
    parts = std::move(next);
  }
  return parts.front();
}

}  // namespace

QString AnsiText(const uint8_t* bytes, size_t count, uint8_t charSet) {
  // Code points of 0x80-0x9F in the Windows Latin-1 code page (0 where it has none).
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  QString text;
  text.reserve(static_cast<qsizetype>(count));
  for (size_t i = 0; i < count; ++i) {
    const uint8_t c = bytes[i];
    char16_t u = c;
    if (charSet != gdi::SYMBOL_CHARSET && c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] != 0)
      u = kHigh[c - 0x80];
    text.append(QChar(u));
  }
  return text;
}

GdiCanvas::GdiCanvas(QImage& target, const QRect& bounds)
    : target_(target), bounds_(bounds.intersected(target.rect())) {
  painter_.begin(&target_);
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::TextAntialiasing, false);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

GdiCanvas::~GdiCanvas() {
  if (painter_.isActive()) painter_.end();
}

// ---------------------------------------------------------------------------------------------
// Mapping

QTransform GdiCanvas::Mapping() {
  if (mappingDirty_) {
    double sx = state_.viewport_ext.width() / state_.window_ext.width();
    double sy = state_.viewport_ext.height() / state_.window_ext.height();
    if (state_.map_mode == gdi::MM_ISOTROPIC) {
      const double m = std::min(std::fabs(sx), std::fabs(sy));
      sx = std::copysign(m, sx);
      sy = std::copysign(m, sy);
    }
    const QTransform page(sx, 0, 0, sy, state_.viewport_org.x() - state_.window_org.x() * sx,
                          state_.viewport_org.y() - state_.window_org.y() * sy);
    mapping_ = state_.world * page * deviceToOutput_;
    mappingValid_ =
        FiniteTransform(mapping_) && mapping_.determinant() != 0 && Finite(mapping_.determinant());
    mappingDirty_ = false;
  }
  return mapping_;
}

void GdiCanvas::SetDeviceToOutput(const QTransform& transform) {
  deviceToOutput_ = transform;
  mappingDirty_ = true;
}

void GdiCanvas::SetReferenceDevice(QSizeF pixels, QSizeF millimetres) {
  if (pixels.width() > 0 && pixels.height() > 0 && millimetres.width() > 0 &&
      millimetres.height() > 0) {
    devicePixels_ = pixels;
    deviceMillimetres_ = millimetres;
  }
}

void GdiCanvas::SetMapMode(int mode) {
  if (mode < gdi::MM_TEXT || mode > gdi::MM_ANISOTROPIC) return;
  state_.map_mode = mode;
  mappingDirty_ = true;
  if (mode == gdi::MM_TEXT) {
    state_.window_ext = state_.viewport_ext = QSizeF(1, 1);
    return;
  }
  if (mode == gdi::MM_ISOTROPIC || mode == gdi::MM_ANISOTROPIC) return;
  // Logical units per millimetre of the fixed modes.
  double perMm = 10;
  switch (mode) {
    case gdi::MM_HIMETRIC:
      perMm = 100;
      break;
    case gdi::MM_LOENGLISH:
      perMm = 100 / 25.4;
      break;
    case gdi::MM_HIENGLISH:
      perMm = 1000 / 25.4;
      break;
    case gdi::MM_TWIPS:
      perMm = 1440 / 25.4;
      break;
    default:
      break;
  }
  state_.window_ext =
      QSizeF(deviceMillimetres_.width() * perMm, deviceMillimetres_.height() * perMm);
  state_.viewport_ext = QSizeF(devicePixels_.width(), -devicePixels_.height());
}

void GdiCanvas::SetWindowOrg(double x, double y) {
  state_.window_org = QPointF(x, y);
  mappingDirty_ = true;
}

void GdiCanvas::SetWindowExt(double cx, double cy) {
  if (state_.map_mode != gdi::MM_ISOTROPIC && state_.map_mode != gdi::MM_ANISOTROPIC) return;
  if (cx == 0 || cy == 0 || !Finite(cx) || !Finite(cy)) return;
  state_.window_ext = QSizeF(cx, cy);
  mappingDirty_ = true;
}

void GdiCanvas::SetViewportOrg(double x, double y) {
  state_.viewport_org = QPointF(x, y);
  mappingDirty_ = true;
}

void GdiCanvas::SetViewportExt(double cx, double cy) {
  if (state_.map_mode != gdi::MM_ISOTROPIC && state_.map_mode != gdi::MM_ANISOTROPIC) return;
  if (cx == 0 || cy == 0 || !Finite(cx) || !Finite(cy)) return;
  state_.viewport_ext = QSizeF(cx, cy);
  mappingDirty_ = true;
}

void GdiCanvas::OffsetWindowOrg(double dx, double dy) {
  SetWindowOrg(state_.window_org.x() + dx, state_.window_org.y() + dy);
}

void GdiCanvas::OffsetViewportOrg(double dx, double dy) {
  SetViewportOrg(state_.viewport_org.x() + dx, state_.viewport_org.y() + dy);
}

void GdiCanvas::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom == 0 || yDenom == 0) return;
  SetWindowExt(state_.window_ext.width() * xNum / xDenom, state_.window_ext.height() * yNum / yDenom);
}

void GdiCanvas::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom == 0 || yDenom == 0) return;
  SetViewportExt(state_.viewport_ext.width() * xNum / xDenom,
                 state_.viewport_ext.height() * yNum / yDenom);
}

void GdiCanvas::SetWorldTransform(const QTransform& transform) {
  if (!FiniteTransform(transform) || transform.determinant() == 0) return;
  state_.world = transform;
  mappingDirty_ = true;
}

void GdiCanvas::ModifyWorldTransform(const QTransform& transform, uint32_t mode) {
  switch (mode) {
    case gdi::MWT_IDENTITY:
      state_.world = QTransform();
      break;
    case gdi::MWT_LEFTMULTIPLY:
      SetWorldTransform(transform * state_.world);
      break;
    case gdi::MWT_RIGHTMULTIPLY:
      SetWorldTransform(state_.world * transform);
      break;
    case gdi::MWT_SET:
      SetWorldTransform(transform);
      break;
    default:
      return;
  }
  mappingDirty_ = true;
}

// ---------------------------------------------------------------------------------------------
// Attributes and saved states

void GdiCanvas::SaveDC() {
  if (saved_.size() < kMaxSavedStates) saved_.push_back(state_);
}

void GdiCanvas::RestoreDC(int level) {
  int64_t index;
  if (level < 0)
    index = static_cast<int64_t>(saved_.size()) + level;
  else if (level > 0)
    index = static_cast<int64_t>(level) - 1;
  else
    return;
  if (index < 0 || index >= static_cast<int64_t>(saved_.size())) return;
  state_ = saved_[static_cast<size_t>(index)];
  saved_.resize(static_cast<size_t>(index));
  mappingDirty_ = clipDirty_ = true;
}

void GdiCanvas::SetBkMode(int mode) {
  if (mode == gdi::TRANSPARENT || mode == gdi::OPAQUE) state_.bk_mode = mode;
}

void GdiCanvas::SetPolyFillMode(int mode) {
  if (mode == gdi::ALTERNATE || mode == gdi::WINDING) state_.poly_fill_mode = mode;
}

void GdiCanvas::SetArcDirection(int direction) {
  if (direction == gdi::AD_COUNTERCLOCKWISE || direction == gdi::AD_CLOCKWISE)
    state_.arc_direction = direction;
}

void GdiCanvas::SetMiterLimit(double limit) {
  if (Finite(limit) && limit >= 1) state_.miter_limit = std::min(limit, 1000.0);
}

// ---------------------------------------------------------------------------------------------
// Objects

void GdiCanvas::CreateObjectAt(uint32_t index, GdiObject object) {
  if (index == 0 || index > kMaxObjectIndex) return;
  objects_[index] = std::move(object);
}

void GdiCanvas::AddObject(GdiObject object) {
  uint32_t index;
  if (!freeSlots_.empty()) {
    index = *freeSlots_.begin();
    freeSlots_.erase(freeSlots_.begin());
  } else if (nextSlot_ < kMaxObjectIndex) {
    index = nextSlot_++;
  } else {
    return;
  }
  objects_[index] = std::move(object);
}

void GdiCanvas::DeleteObject(uint32_t index) {
  if (objects_.erase(index) > 0 && index < nextSlot_) freeSlots_.insert(index);
}

const GdiObject* GdiCanvas::Object(uint32_t index) const {
  const auto it = objects_.find(index);
  return it == objects_.end() ? nullptr : &it->second;
}

void GdiCanvas::SelectObject(uint32_t index) {
  const GdiObject* object = Object(index);
  if (object == nullptr) return;
  if (const auto* pen = std::get_if<GdiPen>(object)) state_.pen = *pen;
  if (const auto* brush = std::get_if<GdiBrush>(object)) state_.brush = *brush;
  if (const auto* font = std::get_if<GdiFont>(object)) state_.font = *font;
  if (const auto* region = std::get_if<GdiRegion>(object)) SelectClipRegion(*region, gdi::RGN_COPY);
}

void GdiCanvas::SelectStockObject(uint32_t id) {
  auto brush = [this](uint32_t style, int grey) {
    state_.brush = GdiBrush{style, QColor(grey, grey, grey), 0, QImage()};
  };
  auto pen = [this](uint32_t style, int grey) {
    state_.pen = GdiPen{style, 0, QColor(grey, grey, grey), {}};
  };
  auto font = [this](int32_t height, int32_t weight, uint8_t pitch, const char* face) {
    GdiFont f;
    f.height = height;
    f.weight = weight;
    f.pitch_and_family = pitch;
    f.face_name = QString::fromLatin1(face);
    state_.font = f;
  };
  switch (id) {
    case 0:
      brush(gdi::BS_SOLID, 255);
      break;
    case 1:
      brush(gdi::BS_SOLID, 192);
      break;
    case 2:
      brush(gdi::BS_SOLID, 128);
      break;
    case 3:
      brush(gdi::BS_SOLID, 64);
      break;
    case 4:
      brush(gdi::BS_SOLID, 0);
      break;
    case 5:
      brush(gdi::BS_NULL, 0);
      break;
    case 6:
      pen(gdi::PS_SOLID, 255);
      break;
    case 7:
      pen(gdi::PS_SOLID, 0);
      break;
    case 8:
      pen(gdi::PS_NULL, 0);
      break;
    case 10:
    case 11:
    case 16:
      font(-13, 400, 0x31, "");
      break;
    case 12:
    case 14:
      font(-13, 400, 0x20, "");
      break;
    case 13:
      font(16, 700, 0x20, "");
      break;
    case 17:
      font(-11, 400, 0x20, "");
      break;
    case 18:
      brush(gdi::BS_SOLID, 255);
      break;
    case 19:
      pen(gdi::PS_SOLID, 0);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Output helpers

void GdiCanvas::ApplyClip() {
  if (!clipDirty_) return;
  painter_.setTransform(QTransform());
  painter_.setClipRegion(state_.has_clip ? state_.clip.intersected(bounds_) : QRegion(bounds_));
  clipDirty_ = false;
}

bool GdiCanvas::Drawable() {
  Mapping();
  if (!mappingValid_ || !painter_.isActive()) return false;
  ApplyClip();
  return !(state_.has_clip && state_.clip.intersected(bounds_).isEmpty());
}

double GdiCanvas::PenScale() {
  const QTransform m = Mapping();
  return std::hypot(m.m11(), m.m12());
}

QPen GdiCanvas::OutputPen(const GdiPen& pen) {
  const uint32_t style = pen.style & gdi::PS_STYLE_MASK;
  if (style == gdi::PS_NULL) return QPen(Qt::NoPen);
  const double width = std::fabs(pen.width) * PenScale();
  QPen out(pen.color);
  const bool thin = !(width > 1.0) || !Finite(width);
  if (thin) {
    // One device pixel; a flat cap leaves the last point out, as line drawing here does.
    out.setWidth(0);
    out.setCapStyle(Qt::FlatCap);
  } else {
    out.setWidthF(std::min(width, 1e6));
    switch (pen.style & gdi::PS_ENDCAP_MASK) {
      case gdi::PS_ENDCAP_SQUARE:
        out.setCapStyle(Qt::SquareCap);
        break;
      case gdi::PS_ENDCAP_FLAT:
        out.setCapStyle(Qt::FlatCap);
        break;
      default:
        out.setCapStyle(Qt::RoundCap);
    }
    switch (pen.style & gdi::PS_JOIN_MASK) {
      case gdi::PS_JOIN_BEVEL:
        out.setJoinStyle(Qt::BevelJoin);
        break;
      case gdi::PS_JOIN_MITER:
        out.setJoinStyle(Qt::MiterJoin);
        break;
      default:
        out.setJoinStyle(Qt::RoundJoin);
    }
    out.setMiterLimit(state_.miter_limit);
  }
  // Dash lengths in pen widths: the cosmetic patterns of the platform for thin pens.
  QList<qreal> dashes;
  switch (style) {
    case gdi::PS_DASH:
      dashes = thin ? QList<qreal>{18, 6} : QList<qreal>{3, 1};
      break;
    case gdi::PS_DOT:
      dashes = thin ? QList<qreal>{3, 3} : QList<qreal>{1, 1};
      break;
    case gdi::PS_DASHDOT:
      dashes = thin ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1};
      break;
    case gdi::PS_DASHDOTDOT:
      dashes = thin ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1};
      break;
    case gdi::PS_ALTERNATE:
      dashes = {1, 1};
      break;
    case gdi::PS_USERSTYLE: {
      const double unit = thin ? 1.0 : width;
      const double scale = PenScale();
      for (double d : pen.dashes) dashes.push_back(std::clamp(d * scale / unit, 0.01, 1e6));
      if (dashes.size() % 2 == 1) dashes.append(QList<qreal>(dashes));
      break;
    }
    default:
      break;
  }
  if (dashes.size() >= 2) out.setDashPattern(dashes);
  return out;
}

QBrush GdiCanvas::OutputBrush(const GdiBrush& brush) const {
  switch (brush.style) {
    case gdi::BS_SOLID:
      return QBrush(brush.color);
    case gdi::BS_NULL:
      return QBrush(Qt::NoBrush);
    case gdi::BS_HATCHED:
      return QBrush(brush.color, HatchStyle(brush.hatch));
    case gdi::BS_PATTERN:
    case gdi::BS_DIBPATTERN:
    case gdi::BS_DIBPATTERNPT:
      if (!brush.pattern.isNull()) return QBrush(brush.pattern);
      return QBrush(QColor(128, 128, 128));
    default:
      return QBrush(brush.color);
  }
}

bool GdiCanvas::SetupRop2(QPen* pen, QBrush* brush) {
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  switch (state_.rop2) {
    case gdi::R2_NOP:
      return false;
    case gdi::R2_BLACK:
    case gdi::R2_WHITE: {
      const QColor c = state_.rop2 == gdi::R2_BLACK ? QColor(0, 0, 0) : QColor(255, 255, 255);
      if (pen && pen->style() != Qt::NoPen) pen->setColor(c);
      if (brush && brush->style() != Qt::NoBrush) *brush = QBrush(c);
      break;
    }
    case 2:
      mode = QPainter::RasterOp_NotSourceAndNotDestination;
      break;
    case 3:
      mode = QPainter::RasterOp_NotSourceAndDestination;
      break;
    case 4:
      mode = QPainter::RasterOp_NotSource;
      break;
    case 5:
      mode = QPainter::RasterOp_SourceAndNotDestination;
      break;
    case gdi::R2_NOT:
      mode = QPainter::RasterOp_NotDestination;
      break;
    case gdi::R2_XORPEN:
      mode = QPainter::RasterOp_SourceXorDestination;
      break;
    case 8:
      mode = QPainter::RasterOp_NotSourceOrNotDestination;
      break;
    case 9:
      mode = QPainter::RasterOp_SourceAndDestination;
      break;
    case 10:
      mode = QPainter::RasterOp_NotSourceXorDestination;
      break;
    case 12:
      mode = QPainter::RasterOp_NotSourceOrDestination;
      break;
    case 14:
      mode = QPainter::RasterOp_SourceOrNotDestination;
      break;
    case 15:
      mode = QPainter::RasterOp_SourceOrDestination;
      break;
    default:
      break;
  }
  painter_.setCompositionMode(mode);
  return true;
}

void GdiCanvas::FillOutput(const QPainterPath& path, const GdiBrush& brush) {
  QBrush qbrush = OutputBrush(brush);
  if (qbrush.style() == Qt::NoBrush || path.isEmpty()) return;
  if (!SetupRop2(nullptr, &qbrush)) return;
  painter_.setPen(Qt::NoPen);
  if (brush.style == gdi::BS_HATCHED && state_.bk_mode == gdi::OPAQUE) {
    painter_.setBrush(state_.bk_color);
    painter_.drawPath(path);
  }
  painter_.setBrush(qbrush);
  painter_.drawPath(path);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void GdiCanvas::StrokeOutput(const QPainterPath& path) {
  QPen pen = OutputPen(state_.pen);
  if (pen.style() == Qt::NoPen || path.isEmpty()) return;
  if (!SetupRop2(&pen, nullptr)) return;
  painter_.setBrush(Qt::NoBrush);
  if (pen.style() != Qt::SolidLine && state_.bk_mode == gdi::OPAQUE) {
    QPen gaps = pen;
    gaps.setStyle(Qt::SolidLine);
    gaps.setColor(state_.bk_color);
    painter_.setPen(gaps);
    painter_.drawPath(path);
  }
  painter_.setPen(pen);
  painter_.drawPath(path);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void GdiCanvas::DrawOutput(const QPainterPath& fill, const QPainterPath& outline,
                                 bool filled) {
  if (!Drawable()) return;
  if (filled) {
    QPainterPath f = fill;
    f.setFillRule(state_.poly_fill_mode == gdi::WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    FillOutput(f, state_.brush);
  }
  StrokeOutput(outline);
}

// Adds a logical figure to the open path, or strokes it.
void GdiCanvas::AddOrStroke(const QPainterPath& logical, bool continueFigure) {
  Mapping();
  if (!mappingValid_) return;
  const QPainterPath output = mapping_.map(logical);
  if (inPath_) {
    if (continueFigure && figureOpen_ && path_.elementCount() > 0) {
      // Join onto the open figure: skip the move to the point the figure already ends at.
      for (int i = 1; i < output.elementCount(); ++i) {
        const QPainterPath::Element& e = output.elementAt(i);
        if (e.type == QPainterPath::LineToElement) {
          path_.lineTo(e.x, e.y);
        } else if (e.type == QPainterPath::CurveToElement && i + 2 < output.elementCount()) {
          const QPainterPath::Element& c2 = output.elementAt(i + 1);
          const QPainterPath::Element& c3 = output.elementAt(i + 2);
          path_.cubicTo(e.x, e.y, c2.x, c2.y, c3.x, c3.y);
          i += 2;
        } else if (e.type == QPainterPath::MoveToElement) {
          path_.moveTo(e.x, e.y);
        }
      }
    } else {
      path_.addPath(output);
    }
    figureOpen_ = true;
    return;
  }
  DrawOutput(QPainterPath(), output, false);
}

// ---------------------------------------------------------------------------------------------
// Lines and shapes

void GdiCanvas::MoveTo(QPointF p) {
  state_.current = p;
  if (inPath_) {
    Mapping();
    if (mappingValid_) path_.moveTo(mapping_.map(p));
    figureOpen_ = true;
  }
}

void GdiCanvas::LineTo(QPointF p) {
  PolylineTo({p});
}

void GdiCanvas::Polyline(const std::vector<QPointF>& points) {
  if (points.size() < 2) return;
  AddOrStroke(PolylinePath(points), false);
}

void GdiCanvas::PolylineTo(const std::vector<QPointF>& points) {
  if (points.empty()) return;
  std::vector<QPointF> all;
  all.reserve(points.size() + 1);
  all.push_back(state_.current);
  all.insert(all.end(), points.begin(), points.end());
  AddOrStroke(PolylinePath(all), true);
  state_.current = points.back();
}

void GdiCanvas::Polygon(const std::vector<QPointF>& points) {
  if (points.size() < 2) return;
  PolyPolygon({points});
}

void GdiCanvas::PolyPolygon(const std::vector<std::vector<QPointF>>& polygons) {
  QPainterPath logical;
  for (const auto& polygon : polygons)
    if (polygon.size() >= 2) logical.addPath(PolygonPath(polygon));
  if (logical.isEmpty()) return;
  Mapping();
  if (!mappingValid_) return;
  const QPainterPath output = mapping_.map(logical);
  if (inPath_) {
    path_.addPath(output);
    figureOpen_ = false;
    return;
  }
  DrawOutput(output, output, true);
}

void GdiCanvas::PolyPolyline(const std::vector<std::vector<QPointF>>& lines) {
  QPainterPath logical;
  for (const auto& line : lines)
    if (line.size() >= 2) logical.addPath(PolylinePath(line));
  if (!logical.isEmpty()) AddOrStroke(logical, false);
}

void GdiCanvas::PolyBezier(const std::vector<QPointF>& points) {
  if (points.size() < 4) return;
  QPainterPath logical(points[0]);
  for (size_t i = 1; i + 2 < points.size(); i += 3)
    logical.cubicTo(points[i], points[i + 1], points[i + 2]);
  AddOrStroke(logical, false);
}

void GdiCanvas::PolyBezierTo(const std::vector<QPointF>& points) {
  if (points.size() < 3) return;
  QPainterPath logical(state_.current);
  size_t i = 0;
  for (; i + 2 < points.size(); i += 3) logical.cubicTo(points[i], points[i + 1], points[i + 2]);
  AddOrStroke(logical, true);
  state_.current = points[i - 1];
}

void GdiCanvas::PolyDraw(const std::vector<QPointF>& points,
                               const std::vector<uint8_t>& types) {
  const size_t n = std::min(points.size(), types.size());
  QPainterPath logical(state_.current);
  QPointF current = state_.current;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t type = types[i] & ~1u;
    if (type == 6) {
      logical.moveTo(points[i]);
    } else if (type == 2) {
      logical.lineTo(points[i]);
    } else if (type == 4 && i + 2 < n) {
      logical.cubicTo(points[i], points[i + 1], points[i + 2]);
      i += 2;
    } else {
      break;
    }
    current = points[i];
    if (types[i] & 1) {
      logical.closeSubpath();
    }
  }
  AddOrStroke(logical, true);
  state_.current = current;
}

void GdiCanvas::BoxShape(QRectF box, bool filled, const ShapeBuilder& build) {
  box = Normalized(box);
  Mapping();
  if (!mappingValid_) return;
  QPainterPath fill, outline;
  if (AxisAligned(mapping_)) {
    // Built in output pixels so the outline runs along the last pixel inside the box.
    const QRectF out = mapping_.mapRect(box);
    const QSizeF scale(std::fabs(mapping_.m11()), std::fabs(mapping_.m22()));
    build(fill, out, scale, mapping_.determinant() < 0);
    if (inPath_) {
      path_.addPath(fill);
      figureOpen_ = false;
      return;
    }
    QRectF inset = out;
    if (inset.width() >= 1) inset.setRight(inset.right() - 1);
    if (inset.height() >= 1) inset.setBottom(inset.bottom() - 1);
    build(outline, inset, scale, mapping_.determinant() < 0);
  } else {
    QPainterPath logical;
    build(logical, box, QSizeF(1, 1), false);
    fill = outline = mapping_.map(logical);
    if (inPath_) {
      path_.addPath(fill);
      figureOpen_ = false;
      return;
    }
  }
  DrawOutput(fill, outline, filled);
}

void GdiCanvas::Rectangle(QRectF box) {
  BoxShape(box, true, [](QPainterPath& p, const QRectF& r, QSizeF, bool) { p.addRect(r); });
}

void GdiCanvas::RoundRect(QRectF box, double cornerWidth, double cornerHeight) {
  BoxShape(box, true,
           [cornerWidth, cornerHeight](QPainterPath& p, const QRectF& r, QSizeF s, bool) {
             const double rx = std::min(std::fabs(cornerWidth) * s.width() / 2, r.width() / 2);
             const double ry = std::min(std::fabs(cornerHeight) * s.height() / 2, r.height() / 2);
             p.addRoundedRect(r, rx, ry);
           });
}

void GdiCanvas::Ellipse(QRectF box) {
  BoxShape(box, true, [](QPainterPath& p, const QRectF& r, QSizeF, bool) { p.addEllipse(r); });
}

// kind: 0 arc, 1 chord, 2 pie.
void GdiCanvas::ArcShape(QRectF box, QPointF start, QPointF end, int kind) {
  box = Normalized(box);
  Mapping();
  if (!mappingValid_) return;
  const bool axis = AxisAligned(mapping_);
  const QPointF s = axis ? mapping_.map(start) : start;
  const QPointF e = axis ? mapping_.map(end) : end;
  const bool ccw = state_.arc_direction == gdi::AD_COUNTERCLOCKWISE;
  BoxShape(box, kind != 0, [&](QPainterPath& p, const QRectF& r, QSizeF, bool flipped) {
    const double a0 = EllipseAngle(r, s), a1 = EllipseAngle(r, e);
    const double sweep = Sweep(a0, a1, flipped ? !ccw : ccw);
    if (kind == 2) {
      p.moveTo(r.center());
      p.arcTo(r, a0, sweep);
      p.closeSubpath();
    } else {
      p.arcMoveTo(r, a0);
      p.arcTo(r, a0, sweep);
      if (kind == 1) p.closeSubpath();
    }
  });
}

void GdiCanvas::Arc(QRectF box, QPointF start, QPointF end) {
  ArcShape(box, start, end, 0);
}
void GdiCanvas::Chord(QRectF box, QPointF start, QPointF end) {
  ArcShape(box, start, end, 1);
}
void GdiCanvas::Pie(QRectF box, QPointF start, QPointF end) {
  ArcShape(box, start, end, 2);
}

void GdiCanvas::ArcTo(QRectF box, QPointF start, QPointF end) {
  box = Normalized(box);
  const double a0 = EllipseAngle(box, start), a1 = EllipseAngle(box, end);
  const double sweep = Sweep(a0, a1, state_.arc_direction == gdi::AD_COUNTERCLOCKWISE);
  QPainterPath logical(state_.current);
  logical.arcTo(box, a0, sweep);
  AddOrStroke(logical, true);
  state_.current = logical.currentPosition();
}

void GdiCanvas::AngleArc(QPointF centre, double radius, double startDegrees,
                               double sweepDegrees) {
  if (!Finite(startDegrees) || !Finite(sweepDegrees)) return;
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  sweepDegrees = std::clamp(sweepDegrees, -360.0, 360.0);
  QPainterPath logical(state_.current);
  logical.arcTo(box, std::fmod(startDegrees, 360.0), sweepDegrees);
  AddOrStroke(logical, true);
  state_.current = logical.currentPosition();
}

void GdiCanvas::SetPixel(QPointF p, QColor color) {
  if (!Drawable()) return;
  const QPointF out = mapping_.map(p);
  if (std::fabs(out.x()) > 1e9 || std::fabs(out.y()) > 1e9) return;
  painter_.fillRect(
      QRect(static_cast<int>(std::floor(out.x())), static_cast<int>(std::floor(out.y())), 1, 1),
      color);
}

// ---------------------------------------------------------------------------------------------
// Paths

void GdiCanvas::BeginPath() {
  path_ = QPainterPath();
  inPath_ = true;
  figureOpen_ = false;
}

void GdiCanvas::EndPath() {
  inPath_ = false;
}

void GdiCanvas::CloseFigure() {
  if (inPath_ && !path_.isEmpty()) path_.closeSubpath();
  figureOpen_ = false;
}

void GdiCanvas::AbortPath() {
  path_ = QPainterPath();
  inPath_ = false;
  figureOpen_ = false;
}

void GdiCanvas::FillPath() {
  inPath_ = false;
  DrawOutput(path_, QPainterPath(), true);
  path_ = QPainterPath();
}

void GdiCanvas::StrokePath() {
  inPath_ = false;
  DrawOutput(QPainterPath(), path_, false);
  path_ = QPainterPath();
}

void GdiCanvas::StrokeAndFillPath() {
  inPath_ = false;
  DrawOutput(path_, path_, true);
  path_ = QPainterPath();
}

void GdiCanvas::WidenPath() {
  if (inPath_ || path_.isEmpty()) return;
  const QPen pen = OutputPen(state_.pen);
  QPainterPathStroker stroker;
  stroker.setWidth(std::max(pen.widthF(), 1.0));
  stroker.setCapStyle(pen.capStyle());
  stroker.setJoinStyle(pen.joinStyle());
  path_ = stroker.createStroke(path_);
}

void GdiCanvas::SelectClipPath(int mode) {
  inPath_ = false;
  const bool winding = state_.poly_fill_mode == gdi::WINDING;
  std::vector<QRegion> parts;
  for (const QPolygonF& polygon : path_.toFillPolygons())
    parts.emplace_back(polygon.toPolygon(), winding ? Qt::WindingFill : Qt::OddEvenFill);
  path_ = QPainterPath();
  CombineClip(Combine(std::move(parts), !winding), mode);
}

// ---------------------------------------------------------------------------------------------
// Clipping and regions

QRegion GdiCanvas::OutputRegion(const QRectF& logical) {
  Mapping();
  if (!mappingValid_) return QRegion();
  const QRectF box = Normalized(logical);
  if (AxisAligned(mapping_)) return QRegion(PixelRect(mapping_.mapRect(box)));
  return QRegion(mapping_.map(QPolygonF(box)).toPolygon());
}

void GdiCanvas::CombineClip(const QRegion& region, int mode) {
  const QRegion current = state_.has_clip ? state_.clip : QRegion(bounds_);
  QRegion result;
  switch (mode) {
    case gdi::RGN_AND:
      result = current.intersected(region);
      break;
    case gdi::RGN_OR:
      result = current.united(region);
      break;
    case gdi::RGN_XOR:
      result = current.xored(region);
      break;
    case gdi::RGN_DIFF:
      result = current.subtracted(region);
      break;
    case gdi::RGN_COPY:
      result = region;
      break;
    default:
      return;
  }
  state_.clip = result.intersected(bounds_);
  state_.has_clip = true;
  clipDirty_ = true;
}

void GdiCanvas::IntersectClipRect(QRectF box) {
  CombineClip(OutputRegion(box), gdi::RGN_AND);
}

void GdiCanvas::ExcludeClipRect(QRectF box) {
  CombineClip(OutputRegion(box), gdi::RGN_DIFF);
}

void GdiCanvas::OffsetClipRgn(double dx, double dy) {
  if (!state_.has_clip) return;
  const QTransform m = Mapping();
  if (!mappingValid_) return;
  const double ox = m.m11() * dx + m.m21() * dy, oy = m.m12() * dx + m.m22() * dy;
  if (std::fabs(ox) > 1e9 || std::fabs(oy) > 1e9) return;
  state_.clip.translate(static_cast<int>(std::lround(ox)), static_cast<int>(std::lround(oy)));
  state_.clip = state_.clip.intersected(bounds_);
  clipDirty_ = true;
}

void GdiCanvas::SelectClipDeviceRects(const std::vector<QRectF>& rects, int mode) {
  if (rects.empty() && mode == gdi::RGN_COPY) {
    state_.has_clip = false;
    state_.clip = QRegion();
    clipDirty_ = true;
    return;
  }
  if (!FiniteTransform(deviceToOutput_)) return;
  std::vector<QRegion> parts;
  parts.reserve(rects.size());
  for (const QRectF& r : rects)
    parts.emplace_back(PixelRect(deviceToOutput_.mapRect(Normalized(r))));
  CombineClip(Combine(std::move(parts), false), mode);
}

void GdiCanvas::SelectClipRegion(const GdiRegion& region, int mode) {
  if (region.rects.empty() && mode == gdi::RGN_COPY) {
    SelectClipDeviceRects({}, mode);
    return;
  }
  std::vector<QRegion> parts;
  parts.reserve(region.rects.size());
  for (const QRectF& r : region.rects) parts.push_back(OutputRegion(r));
  CombineClip(Combine(std::move(parts), false), mode);
}

void GdiCanvas::FillRegion(const GdiRegion& region, const GdiBrush& brush) {
  if (!Drawable()) return;
  QPainterPath path;
  for (const QRectF& r : region.rects) path.addRect(mapping_.mapRect(Normalized(r)));
  path.setFillRule(Qt::WindingFill);
  FillOutput(path, brush);
}

void GdiCanvas::PaintRegion(const GdiRegion& region) {
  FillRegion(region, state_.brush);
}

void GdiCanvas::FrameRegion(const GdiRegion& region, const GdiBrush& brush, double width,
                                  double height) {
  if (!Drawable()) return;
  const double w = std::max(std::fabs(width * mapping_.m11()), 1.0);
  const double h = std::max(std::fabs(height * mapping_.m22()), 1.0);
  QPainterPath path;
  for (const QRectF& r : region.rects) {
    const QRectF out = mapping_.mapRect(Normalized(r));
    QPainterPath frame;
    frame.addRect(out);
    frame.addRect(out.adjusted(w, h, -w, -h));
    frame.setFillRule(Qt::OddEvenFill);
    path.addPath(frame);
  }
  FillOutput(path, brush);
}

void GdiCanvas::InvertRegion(const GdiRegion& region) {
  if (!Drawable()) return;
  painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(QColor(0, 0, 0));
  for (const QRectF& r : region.rects) painter_.drawRect(mapping_.mapRect(Normalized(r)));
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// ---------------------------------------------------------------------------------------------
// Text

void GdiCanvas::TextOut(QPointF reference, const QString& text, const std::vector<double>& dx,
                              uint32_t options, const QRectF* box) {
  if (!Drawable()) return;
  const QTransform m = mapping_;
  if ((options & gdi::ETO_OPAQUE) && box != nullptr) {
    QPainterPath background;
    background.addPolygon(m.map(QPolygonF(Normalized(*box))));
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(state_.bk_color);
    painter_.drawPath(background);
  }
  if (text.isEmpty() || (options & gdi::ETO_GLYPH_INDEX)) return;
  // Glyphs need the font database, which only exists with a GUI application object. A picture
  // without its text would be a wrong picture, so it fails.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    throw MissingFontsError("Cannot draw the text of a metafile without fonts (no QGuiApplication)");

  const bool updateCp = (state_.text_align & gdi::TA_UPDATECP) != 0;
  if (updateCp) reference = state_.current;
  const double scaleX = std::hypot(m.m11(), m.m12());
  const double scaleY = std::hypot(m.m21(), m.m22());
  const GdiFont& lf = state_.font;

  QFont font(lf.face_name.isEmpty() ? DefaultFamily(lf.pitch_and_family) : lf.face_name);
  // Glyph edges are smoothed as the platform does by default, unless the font asks otherwise.
  const bool smooth = lf.quality != gdi::NONANTIALIASED_QUALITY;
  const QFont::StyleStrategy strategy = smooth ? QFont::PreferAntialias : QFont::NoAntialias;
  switch (lf.pitch_and_family & 0xF0) {
    case 0x10:
      font.setStyleHint(QFont::Serif, strategy);
      break;
    case 0x30:
      font.setStyleHint(QFont::Monospace, strategy);
      break;
    case 0x40:
      font.setStyleHint(QFont::Cursive, strategy);
      break;
    case 0x50:
      font.setStyleHint(QFont::Decorative, strategy);
      break;
    default:
      font.setStyleHint(QFont::SansSerif, strategy);
  }
  double emPixels = (lf.height == 0 ? 12.0 : std::fabs(static_cast<double>(lf.height))) * scaleY;
  font.setPixelSize(100);
  if (lf.height > 0) {
    // A positive height is the cell height (ascent + descent), not the em size.
    const QFontMetricsF probe(font);
    const double cell = probe.ascent() + probe.descent();
    if (cell > 0) emPixels = emPixels * 100 / cell;
  }
  if (!Finite(emPixels) || emPixels < 0.5) return;
  font.setPixelSize(static_cast<int>(std::clamp(std::round(emPixels), 1.0, 32767.0)));
  font.setWeight(static_cast<QFont::Weight>(
      std::clamp(lf.weight == 0 ? 400 : static_cast<int>(lf.weight), 100, 900)));
  font.setItalic(lf.italic);
  font.setUnderline(lf.underline);
  font.setStrikeOut(lf.strike_out);
  double stretch = 100;
  if (lf.width != 0) {
    const QFontMetricsF plain(font);
    const double average = plain.averageCharWidth();
    if (average > 0) stretch = std::fabs(lf.width) * scaleX * 100 / average;
  }
  if (!dx.empty()) {
    // A substitute font wider than the one the advances were made for is narrowed to fit them.
    double advances = 0;
    for (size_t i = 0; i < dx.size() && i < static_cast<size_t>(text.size()); ++i)
      advances += dx[i] * scaleX;
    font.setStretch(static_cast<int>(std::clamp(stretch, 1.0, 4000.0)));
    const double natural = QFontMetricsF(font).horizontalAdvance(text);
    if (natural > 0 && advances > 0 && advances < natural) stretch *= advances / natural;
  }
  font.setStretch(static_cast<int>(std::clamp(stretch, 1.0, 4000.0)));
  const QFontMetricsF metrics(font);

  // Advances along the baseline in output pixels.
  std::vector<double> advances(static_cast<size_t>(text.size()));
  double width = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const size_t k = static_cast<size_t>(i);
    advances[k] = k < dx.size() ? dx[k] * scaleX : metrics.horizontalAdvance(text.at(i));
    width += advances[k];
  }
  if (dx.empty()) width = metrics.horizontalAdvance(text);

  // Escapement turns the baseline counter-clockwise on the device; a world transform turns it too.
  const QTransform page = Mapping();
  const QTransform withoutWorld = [&] {
    const QTransform inverseWorld = state_.world.inverted();
    return inverseWorld * page;
  }();
  const double worldAngle =
      std::atan2(m.m12(), m.m11()) - std::atan2(withoutWorld.m12(), withoutWorld.m11());
  const double angle = -lf.escapement / 10.0 * kPi / 180 + worldAngle;
  QTransform local;
  const QPointF origin = m.map(reference);
  local.translate(origin.x(), origin.y());
  local.rotateRadians(angle);

  double x0 = 0;
  switch (state_.text_align & gdi::TA_HMASK) {
    case gdi::TA_RIGHT:
      x0 = -width;
      break;
    case gdi::TA_CENTER:
      x0 = -width / 2;
      break;
    default:
      break;
  }
  double baseline = 0;
  switch (state_.text_align & gdi::TA_VMASK) {
    case gdi::TA_BASELINE:
      baseline = 0;
      break;
    case gdi::TA_BOTTOM:
      baseline = -metrics.descent();
      break;
    default:
      baseline = metrics.ascent();
      break;
  }

  painter_.save();
  if ((options & gdi::ETO_CLIPPED) && box != nullptr) {
    QPainterPath clip;
    clip.addPolygon(m.map(QPolygonF(Normalized(*box))));
    painter_.setClipPath(clip, Qt::IntersectClip);
  }
  painter_.setTransform(local);
  painter_.setFont(font);
  painter_.setRenderHint(QPainter::TextAntialiasing, smooth);
  if (state_.bk_mode == gdi::OPAQUE && !(options & gdi::ETO_OPAQUE))
    painter_.fillRect(
        QRectF(x0, baseline - metrics.ascent(), width, metrics.ascent() + metrics.descent()),
        state_.bk_color);
  painter_.setPen(state_.text_color);
  if (dx.empty()) {
    painter_.drawText(QPointF(x0, baseline), text);
  } else {
    double x = x0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      qsizetype n = 1;
      if (text.at(i).isHighSurrogate() && i + 1 < text.size()) n = 2;
      painter_.drawText(QPointF(x, baseline), text.mid(i, n));
      for (qsizetype j = 0; j < n; ++j) x += advances[static_cast<size_t>(i + j)];
      i += n - 1;
    }
  }
  painter_.restore();
  clipDirty_ = true;

  if (updateCp && scaleX > 0) {
    const double logicalWidth = width / scaleX;
    switch (state_.text_align & gdi::TA_HMASK) {
      case gdi::TA_RIGHT:
        state_.current.rx() -= logicalWidth;
        break;
      case gdi::TA_CENTER:
        break;
      default:
        state_.current.rx() += logicalWidth;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Bitmaps

void GdiCanvas::StretchImage(const QImage& image, QRectF source, QRectF dest, uint32_t rop) {
  QPainter::CompositionMode mode;
  if (!SourceRop(rop, &mode)) {
    PatBlt(dest, rop);
    return;
  }
  if (image.isNull()) return;
  if (source.width() < 0) {
    source = QRectF(source.right(), source.top(), -source.width(), source.height());
    dest = QRectF(dest.right(), dest.top(), -dest.width(), dest.height());
  }
  if (source.height() < 0) {
    source = QRectF(source.left(), source.bottom(), source.width(), -source.height());
    dest = QRectF(dest.left(), dest.bottom(), dest.width(), -dest.height());
  }
  if (source.width() <= 0 || source.height() <= 0 || dest.width() == 0 || dest.height() == 0)
    return;
  const QRectF part = source.intersected(QRectF(image.rect()));
  if (part.isEmpty() || !Drawable()) return;
  const QPointF p0 = mapping_.map(dest.topLeft());
  const QPointF p1 = mapping_.map(QPointF(dest.left() + dest.width(), dest.top()));
  const QPointF p2 = mapping_.map(QPointF(dest.left(), dest.top() + dest.height()));
  const double sw = source.width(), sh = source.height();
  const QTransform toOutput((p1.x() - p0.x()) / sw, (p1.y() - p0.y()) / sw, (p2.x() - p0.x()) / sh,
                            (p2.y() - p0.y()) / sh, p0.x(), p0.y());
  if (!FiniteTransform(toOutput) || toOutput.determinant() == 0) return;
  painter_.setTransform(toOutput);
  painter_.setCompositionMode(mode);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, state_.stretch_mode == gdi::HALFTONE);
  painter_.drawImage(QPointF(part.left() - source.left(), part.top() - source.top()), image, part);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter_.setTransform(QTransform());
}

void GdiCanvas::AlphaBlendImage(const QImage& image, QRectF source, QRectF dest,
                                      int constantAlpha, bool perPixelAlpha) {
  if (image.isNull() || constantAlpha <= 0) return;
  QImage blended = image;
  if (perPixelAlpha) {
    // The source is premultiplied; keep every channel within its alpha so it stays valid.
    blended = image.copy();
    for (int y = 0; y < blended.height(); ++y) {
      QRgb* row = reinterpret_cast<QRgb*>(blended.scanLine(y));
      for (int x = 0; x < blended.width(); ++x) {
        const int a = qAlpha(row[x]);
        row[x] = qRgba(std::min(qRed(row[x]), a), std::min(qGreen(row[x]), a),
                       std::min(qBlue(row[x]), a), a);
      }
    }
    blended.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
  } else {
    blended = image.convertToFormat(QImage::Format_RGB32);
  }
  painter_.setOpacity(std::min(constantAlpha, 255) / 255.0);
  StretchImage(blended, source, dest, gdi::SRCCOPY);
  painter_.setOpacity(1);
}

void GdiCanvas::PatBlt(QRectF dest, uint32_t rop) {
  if (!Drawable()) return;
  QPainterPath path;
  path.addPolygon(mapping_.map(QPolygonF(Normalized(dest))));
  path.closeSubpath();
  painter_.setPen(Qt::NoPen);
  switch ((rop >> 16) & 0xFF) {
    case 0xAA:
      return;
    case 0x00:
      painter_.setBrush(QColor(0, 0, 0));
      break;
    case 0xFF:
      painter_.setBrush(QColor(255, 255, 255));
      break;
    case 0x55:
      painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
      painter_.setBrush(QColor(0, 0, 0));
      break;
    case 0x5A:
      painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter_.setBrush(OutputBrush(state_.brush));
      break;
    case 0x0F:
      painter_.setCompositionMode(QPainter::RasterOp_NotSource);
      painter_.setBrush(OutputBrush(state_.brush));
      break;
    default:
      FillOutput(path, state_.brush);
      return;
  }
  painter_.drawPath(path);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void GdiCanvas::GradientRect(QRectF box, QColor from, QColor to, bool vertical) {
  if (!Drawable()) return;
  box = Normalized(box);
  QPainterPath path;
  path.addPolygon(mapping_.map(QPolygonF(box)));
  path.closeSubpath();
  QLinearGradient gradient(mapping_.map(box.topLeft()),
                           mapping_.map(vertical ? box.bottomLeft() : box.topRight()));
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(gradient);
  painter_.drawPath(path);
}

void GdiCanvas::GradientTriangle(const QPointF (&corners)[3], const QColor (&colors)[3]) {
  if (!Drawable()) return;
  QPolygonF triangle;
  for (const QPointF& p : corners) triangle << mapping_.map(p);
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(Average(colors));
  painter_.drawPolygon(triangle);
}

}  // namespace tessane
