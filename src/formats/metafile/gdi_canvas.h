#pragma once
// A device context in the manner of the Windows graphics interface, on top of QPainter: mapping
// modes, world transform, pens, brushes, fonts, paths, clipping and saved states. The enhanced
// and Windows metafile players decode their records and call it; it draws into a QImage that
// wraps the target pixels. Coordinates passed in are logical units of the metafile.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <functional>
#include <set>
#include <unordered_map>
#include <variant>
#include <vector>

namespace tessane {

/// Constants of the metafile formats (the names the Windows graphics interface gives them).
namespace gdi {
// Mapping modes.
inline constexpr int MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4,
                     MM_HIENGLISH = 5, MM_TWIPS = 6, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8;
// Pen styles, types, end caps and joins.
inline constexpr uint32_t PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4,
                          PS_NULL = 5, PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8,
                          PS_STYLE_MASK = 0xF;
inline constexpr uint32_t PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00;
inline constexpr uint32_t PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000;
inline constexpr uint32_t PS_GEOMETRIC = 0x10000;
// Brush styles and hatches.
inline constexpr uint32_t BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3,
                          BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6;
inline constexpr uint32_t HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3,
                          HS_CROSS = 4, HS_DIAGCROSS = 5;
// Background modes, fill modes, arc directions.
inline constexpr int TRANSPARENT = 1, OPAQUE = 2;
inline constexpr int ALTERNATE = 1, WINDING = 2;
inline constexpr int AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2;
// Text alignment and text output options.
inline constexpr uint32_t TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_HMASK = 6, TA_BOTTOM = 8,
                          TA_BASELINE = 24, TA_VMASK = 24;
inline constexpr uint32_t ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_GLYPH_INDEX = 0x10, ETO_PDY = 0x2000;
// Foreground mixes (SetROP2).
inline constexpr int R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_NOP = 11, R2_COPYPEN = 13,
                     R2_WHITE = 16;
// Region combination modes.
inline constexpr int RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;
// World transform modification modes.
inline constexpr uint32_t MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3,
                          MWT_SET = 4;
// Stretch modes.
inline constexpr int HALFTONE = 4;
// Raster operations (the three-operand codes of bitmap copies).
inline constexpr uint32_t SRCCOPY = 0x00CC0020, PATCOPY = 0x00F00021, BLACKNESS = 0x00000042,
                          WHITENESS = 0x00FF0062;
// Character sets and font qualities.
inline constexpr uint8_t SYMBOL_CHARSET = 2;
inline constexpr uint8_t NONANTIALIASED_QUALITY = 3;
}  // namespace gdi

/// A colour reference (red in bits 0-7, green 8-15, blue 16-23) as a colour.
inline QColor ColorRef(uint32_t value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

/// 8-bit text in the Windows Latin-1 code page (the symbol character set keeps its codes).
QString AnsiText(const uint8_t* bytes, size_t count, uint8_t charSet);

/// A logical pen. Style carries the style, end cap, join and type bits.
struct GdiPen {
  uint32_t style = gdi::PS_SOLID;
  double width = 0;
  QColor color = QColor(0, 0, 0);
  std::vector<double> dashes;  // PS_USERSTYLE lengths in logical units
};

/// A logical brush; Pattern holds the image of pattern brushes.
struct GdiBrush {
  uint32_t style = gdi::BS_SOLID;
  QColor color = QColor(255, 255, 255);
  uint32_t hatch = 0;
  QImage pattern;
};

/// A logical font.
struct GdiFont {
  int32_t height = 0;
  int32_t width = 0;
  int32_t escapement = 0;  // tenths of a degree, counter-clockwise
  int32_t weight = 0;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  uint8_t char_set = 0;
  uint8_t quality = 0;
  uint8_t pitch_and_family = 0;
  QString face_name;
};

/// Most rectangles a region keeps; a region of more is not drawn from a sane file.
inline constexpr size_t kMaxRegionRects = 65536;

/// A region as rectangles in logical units.
struct GdiRegion {
  std::vector<QRectF> rects;
};

/// Anything the object tables hold. std::monostate keeps a slot for objects that are not drawn
/// with (palettes, colour spaces), so later indices stay right.
using GdiObject = std::variant<std::monostate, GdiPen, GdiBrush, GdiFont, GdiRegion>;

/// The drawing state that SaveDC/RestoreDC keep.
struct GdiState {
  int map_mode = gdi::MM_TEXT;
  QPointF window_org{0, 0};
  QPointF viewport_org{0, 0};
  QSizeF window_ext{1, 1};
  QSizeF viewport_ext{1, 1};
  QTransform world;
  GdiPen pen;
  GdiBrush brush;
  GdiFont font;
  QColor text_color = QColor(0, 0, 0);
  QColor bk_color = QColor(255, 255, 255);
  int bk_mode = gdi::OPAQUE;
  uint32_t text_align = 0;
  int poly_fill_mode = gdi::ALTERNATE;
  int rop2 = gdi::R2_COPYPEN;
  int stretch_mode = 0;
  int arc_direction = gdi::AD_COUNTERCLOCKWISE;
  double miter_limit = 10;
  QPointF current{0, 0};
  bool has_clip = false;
  QRegion clip;  // output pixels
};

/// Plays drawing calls onto an image. Every call is safe with any argument values: non-finite
/// or degenerate mappings draw nothing, tables and the state stack are bounded.
class GdiCanvas {
 public:
  /// Draws onto `target` (which must outlive the player), never outside `bounds`.
  GdiCanvas(QImage& target, const QRect& bounds);
  ~GdiCanvas();
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  // Mapping.
  /// Maps reference-device pixels onto the output image.
  void SetDeviceToOutput(const QTransform& transform);
  /// Pixel and millimetre size of the reference device, for the metric and English modes.
  void SetReferenceDevice(QSizeF pixels, QSizeF millimetres);
  void SetMapMode(int mode);
  void SetWindowOrg(double x, double y);
  void SetWindowExt(double cx, double cy);
  void SetViewportOrg(double x, double y);
  void SetViewportExt(double cx, double cy);
  void OffsetWindowOrg(double dx, double dy);
  void OffsetViewportOrg(double dx, double dy);
  void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
  void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
  void SetWorldTransform(const QTransform& transform);
  void ModifyWorldTransform(const QTransform& transform, uint32_t mode);

  // Attributes.
  void SaveDC();
  /// Negative: relative to the newest saved state; positive: absolute level.
  void RestoreDC(int level);
  void SetTextColor(QColor color) { state_.text_color = color; }
  void SetBkColor(QColor color) { state_.bk_color = color; }
  void SetBkMode(int mode);
  void SetTextAlign(uint32_t align) { state_.text_align = align; }
  void SetPolyFillMode(int mode);
  void SetRop2(int rop) { state_.rop2 = rop; }
  void SetStretchBltMode(int mode) { state_.stretch_mode = mode; }
  void SetArcDirection(int direction);
  void SetMiterLimit(double limit);
  const GdiState& State() const { return state_; }

  // Objects. The enhanced format names every slot; the Windows format takes the lowest free one.
  void CreateObjectAt(uint32_t index, GdiObject object);
  void AddObject(GdiObject object);
  void SelectObject(uint32_t index);
  /// Stock objects: WHITE_BRUSH (0) to DC_PEN (19).
  void SelectStockObject(uint32_t id);
  void DeleteObject(uint32_t index);
  /// The object in a slot, or nullptr.
  const GdiObject* Object(uint32_t index) const;

  // Lines and shapes.
  void MoveTo(QPointF p);
  void LineTo(QPointF p);
  void Polyline(const std::vector<QPointF>& points);
  void PolylineTo(const std::vector<QPointF>& points);
  void Polygon(const std::vector<QPointF>& points);
  void PolyPolygon(const std::vector<std::vector<QPointF>>& polygons);
  void PolyPolyline(const std::vector<std::vector<QPointF>>& lines);
  void PolyBezier(const std::vector<QPointF>& points);
  void PolyBezierTo(const std::vector<QPointF>& points);
  /// Types: PT_MOVETO 6, PT_LINETO 2, PT_BEZIERTO 4, each optionally | PT_CLOSEFIGURE 1.
  void PolyDraw(const std::vector<QPointF>& points, const std::vector<uint8_t>& types);
  void Rectangle(QRectF box);
  void RoundRect(QRectF box, double cornerWidth, double cornerHeight);
  void Ellipse(QRectF box);
  void Arc(QRectF box, QPointF start, QPointF end);
  void ArcTo(QRectF box, QPointF start, QPointF end);
  void Chord(QRectF box, QPointF start, QPointF end);
  void Pie(QRectF box, QPointF start, QPointF end);
  void AngleArc(QPointF centre, double radius, double startDegrees, double sweepDegrees);
  void SetPixel(QPointF p, QColor color);

  // Paths.
  void BeginPath();
  void EndPath();
  void CloseFigure();
  void AbortPath();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  void WidenPath();
  void SelectClipPath(int mode);

  // Clipping and regions.
  void IntersectClipRect(QRectF box);
  void ExcludeClipRect(QRectF box);
  void OffsetClipRgn(double dx, double dy);
  /// Combines the clip with rectangles in reference-device pixels; RGN_COPY of none resets it.
  void SelectClipDeviceRects(const std::vector<QRectF>& rects, int mode);
  void SelectClipRegion(const GdiRegion& region, int mode);
  void FillRegion(const GdiRegion& region, const GdiBrush& brush);
  void PaintRegion(const GdiRegion& region);
  void FrameRegion(const GdiRegion& region, const GdiBrush& brush, double width, double height);
  void InvertRegion(const GdiRegion& region);

  // Text. `dx` holds advances in logical units (empty: the font's own); `box` may be null.
  void TextOut(QPointF reference, const QString& text, const std::vector<double>& dx,
               uint32_t options, const QRectF* box);

  // Bitmaps. `source` is in image pixels (top row 0); `dest` in logical units, may be mirrored.
  void StretchImage(const QImage& image, QRectF source, QRectF dest, uint32_t rop);
  /// Blends an image whose pixels carry alpha (`perPixelAlpha`) with a constant alpha on top.
  void AlphaBlendImage(const QImage& image, QRectF source, QRectF dest, int constantAlpha,
                       bool perPixelAlpha);
  void PatBlt(QRectF dest, uint32_t rop);
  /// Rectangles from upper-left to lower-right vertex, colours blended horizontally or vertically.
  void GradientRect(QRectF box, QColor from, QColor to, bool vertical);
  void GradientTriangle(const QPointF (&corners)[3], const QColor (&colors)[3]);

 private:
  QTransform Mapping();
  void ApplyClip();
  bool Drawable();
  double PenScale();
  QPen OutputPen(const GdiPen& pen);
  QBrush OutputBrush(const GdiBrush& brush) const;
  bool SetupRop2(QPen* pen, QBrush* brush);
  void FillOutput(const QPainterPath& path, const GdiBrush& brush);
  void StrokeOutput(const QPainterPath& path);
  void DrawOutput(const QPainterPath& fill, const QPainterPath& outline, bool filled);
  using ShapeBuilder = std::function<void(QPainterPath&, const QRectF&, QSizeF, bool)>;
  void BoxShape(QRectF box, bool filled, const ShapeBuilder& build);
  void ArcShape(QRectF box, QPointF start, QPointF end, int kind);
  void AddOrStroke(const QPainterPath& logical, bool continueFigure);
  QRegion OutputRegion(const QRectF& logical);
  void CombineClip(const QRegion& region, int mode);
  QPointF Map(QPointF p) { return Mapping().map(p); }

  QImage& target_;
  QPainter painter_;
  QRect bounds_;
  QTransform deviceToOutput_;
  QSizeF devicePixels_{1920, 1080};
  QSizeF deviceMillimetres_{508, 286};
  GdiState state_;
  std::vector<GdiState> saved_;
  std::unordered_map<uint32_t, GdiObject> objects_;
  std::set<uint32_t> freeSlots_;
  uint32_t nextSlot_ = 0;
  QTransform mapping_;
  bool mappingValid_ = false;
  bool mappingDirty_ = true;
  bool clipDirty_ = true;
  QPainterPath path_;
  bool inPath_ = false;
  bool figureOpen_ = false;
};

}  // namespace tessane
