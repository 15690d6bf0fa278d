// Playback of hand-made metafiles, one record family at a time, compared with expected pixels;
// and files with lying lengths, counts and values, which must play their valid part or nothing.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QRect>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <tuple>

#include "base/errors.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/metafile_test_builder.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00,
                   kYellow = 0xFFFFFF00;
// Colour references (red in the low byte).
constexpr int32_t kRefRed = 0x0000FF, kRefBlue = 0xFF0000, kRefGreen = 0x00FF00;
const std::map<char, uint32_t> kColors = {
    {'.', kWhite}, {'R', kRed}, {'B', kBlue}, {'G', kGreen}, {'Y', kYellow}};

// Red solid brush selected, no pen: shapes show their fill only.
EmfBuilder RedFill(int width, int height) {
  EmfBuilder b(width, height);
  b.Record(EMR_CREATEBRUSHINDIRECT, {1, 0, kRefRed, 0}).Record(EMR_SELECTOBJECT, {1});
  b.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(kStockObject | 8)});
  return b;
}

std::vector<uint8_t> Poly16(std::initializer_list<std::vector<int>> polygons) {
  ByteBuilder body;
  body.I32s({0, 0, 0, 0}).U32(static_cast<uint32_t>(polygons.size()));
  uint32_t total = 0;
  for (const auto& p : polygons) total += static_cast<uint32_t>(p.size() / 2);
  body.U32(total);
  for (const auto& p : polygons) body.U32(static_cast<uint32_t>(p.size() / 2));
  for (const auto& p : polygons)
    for (int v : p) body.U16(static_cast<uint32_t>(v));
  return body.data;
}

std::vector<uint8_t> Points16(std::vector<int> xy) {
  ByteBuilder body;
  body.I32s({0, 0, 0, 0}).U32(static_cast<uint32_t>(xy.size() / 2));
  for (int v : xy) body.U16(static_cast<uint32_t>(v));
  return body.data;
}

TEST(MetafilePlayback, RectangleFillAndPenOutline) {
  EXPECT_TRUE(MatchesArt(Play(RedFill(10, 6).Record(EMR_RECTANGLE, {2, 1, 6, 4}).Build()),
                         {
                             "..........",
                             "..RRRR....",
                             "..RRRR....",
                             "..RRRR....",
                             "..........",
                             "..........",
                         },
                         kColors));
  // A one-pixel pen runs along the last pixels inside the box; the null brush leaves it hollow.
  EmfBuilder pen(10, 6);
  pen.Record(EMR_CREATEPEN, {2, 0, 1, 0, kRefBlue}).Record(EMR_SELECTOBJECT, {2});
  pen.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(kStockObject | 5)});
  pen.Record(EMR_RECTANGLE, {1, 1, 7, 5});
  EXPECT_TRUE(MatchesArt(Play(pen.Build()),
                         {
                             "..........",
                             ".BBBBBB...",
                             ".B....B...",
                             ".B....B...",
                             ".BBBBBB...",
                             "..........",
                         },
                         kColors));
}

TEST(MetafilePlayback, PolygonsFollowTheFillMode) {
  // Two overlapping 5 x 5 squares: the alternate rule leaves their 3 x 3 overlap empty.
  for (auto [mode, filled, overlap] : {std::tuple{1, 32, kWhite}, std::tuple{2, 41, kRed}}) {
    SCOPED_TRACE(mode);
    EmfBuilder b = RedFill(10, 10);
    b.Record(EMR_SETPOLYFILLMODE, {mode});
    b.Raw(EMR_POLYPOLYGON16, Poly16({{1, 1, 6, 1, 6, 6, 1, 6}, {3, 3, 8, 3, 8, 8, 3, 8}}));
    const Canvas c = Play(b.Build());
    EXPECT_EQ(c.Count(kRed), filled);
    EXPECT_EQ(c.At(4, 4), overlap);
  }
  // Pixels whose centres lie inside are filled.
  EXPECT_TRUE(
      MatchesArt(Play(RedFill(6, 4).Raw(EMR_POLYGON16, Points16({1, 0, 5, 0, 5, 3})).Build()),
                 {
                     "..RRR.",
                     "...RR.",
                     "....R.",
                     "......",
                 },
                 kColors));
}

TEST(MetafilePlayback, LinesInEveryPointForm) {
  EmfBuilder b(10, 6);
  b.Record(EMR_CREATEPEN, {1, 0, 1, 0, kRefBlue}).Record(EMR_SELECTOBJECT, {1});
  b.Record(EMR_MOVETOEX, {1, 0}).Record(EMR_LINETO, {8, 0});
  b.Record(EMR_POLYLINE, {0, 0, 0, 0, 2, 1, 2, 8, 2});
  b.Raw(EMR_POLYLINE16, Points16({1, 4, 8, 4}));
  // The end point itself is left out, as the platform draws lines.
  EXPECT_TRUE(MatchesArt(Play(b.Build()),
                         {
                             ".BBBBBBB..",
                             "..........",
                             ".BBBBBBB..",
                             "..........",
                             ".BBBBBBB..",
                             "..........",
                         },
                         kColors));
}

TEST(MetafilePlayback, EllipseAndPie) {
  const Canvas ellipse = Play(RedFill(10, 8).Record(EMR_ELLIPSE, {0, 0, 10, 8}).Build());
  EXPECT_EQ(ellipse.At(5, 4), kRed);
  EXPECT_EQ(ellipse.At(0, 0), kWhite);
  EXPECT_EQ(ellipse.At(9, 7), kWhite);
  EXPECT_EQ(ellipse.At(0, 4), kRed);
  // From three o'clock counter-clockwise to twelve: the upper right quarter.
  const Canvas pie = Play(RedFill(10, 8).Record(EMR_PIE, {0, 0, 10, 8, 10, 4, 5, 0}).Build());
  EXPECT_EQ(pie.At(7, 2), kRed);
  EXPECT_EQ(pie.At(2, 2), kWhite);
  EXPECT_EQ(pie.At(7, 6), kWhite);
  EXPECT_EQ(pie.At(2, 6), kWhite);
}

TEST(MetafilePlayback, PathsAreFilledAndStroked) {
  EmfBuilder b = RedFill(10, 8);
  b.Record(EMR_BEGINPATH, {}).Record(EMR_MOVETOEX, {1, 1}).Record(EMR_LINETO, {8, 1});
  b.Record(EMR_LINETO, {8, 6}).Record(EMR_LINETO, {1, 6}).Record(EMR_CLOSEFIGURE, {});
  b.Record(EMR_ENDPATH, {}).Record(EMR_FILLPATH, {0, 0, 0, 0});
  // Nothing is drawn while the path is being recorded, only by the fill.
  b.Record(EMR_BEGINPATH, {}).Record(EMR_RECTANGLE, {0, 7, 10, 8}).Record(EMR_ENDPATH, {});
  EXPECT_TRUE(MatchesArt(Play(b.Build()),
                         {
                             "..........",
                             ".RRRRRRR..",
                             ".RRRRRRR..",
                             ".RRRRRRR..",
                             ".RRRRRRR..",
                             ".RRRRRRR..",
                             "..........",
                             "..........",
                         },
                         kColors));
  EmfBuilder s(6, 4);
  s.Record(EMR_CREATEPEN, {1, 0, 1, 0, kRefBlue}).Record(EMR_SELECTOBJECT, {1});
  s.Record(EMR_BEGINPATH, {}).Record(EMR_MOVETOEX, {1, 1}).Record(EMR_LINETO, {5, 1});
  s.Record(EMR_ENDPATH, {}).Record(EMR_STROKEPATH, {0, 0, 0, 0});
  EXPECT_TRUE(MatchesArt(Play(s.Build()),
                         {
                             "......",
                             ".BBBB.",
                             "......",
                             "......",
                         },
                         kColors));
}

TEST(MetafilePlayback, MappingModesAndWorldTransform) {
  const std::vector<std::string> expected = {
      "..........", "..RRRR....", "..RRRR....", "..RRRR....", "..........", "..........",
  };
  auto xform = [](float m11, float m12, float m21, float m22, float dx, float dy) {
    ByteBuilder b;
    b.F32(m11).F32(m12).F32(m21).F32(m22).F32(dx).F32(dy);
    return b;
  };
  struct Case {
    const char* name;
    std::function<void(EmfBuilder&)> setup;
    std::vector<int32_t> box;
  } cases[] = {
      {"anisotropic window onto viewport",
       [](EmfBuilder& b) {
         b.Record(EMR_SETMAPMODE, {8}).Record(EMR_SETWINDOWEXTEX, {100, 60});
         b.Record(EMR_SETVIEWPORTEXTEX, {10, 6});
       },
       {20, 10, 60, 40}},
      {"window origin",
       [](EmfBuilder& b) {
         b.Record(EMR_SETWINDOWORGEX, {-1, -1});
       },
       {1, 0, 5, 3}},
      // Tenths of a millimetre upwards on a device of ten pixels per millimetre.
      {"metric mode, y up", [](EmfBuilder& b) { b.Record(EMR_SETMAPMODE, {2}); }, {2, -1, 6, -4}},
      {"world scale",
       [&](EmfBuilder& b) { b.Raw(EMR_SETWORLDTRANSFORM, xform(2, 0, 0, 1, 0, 0).data); },
       {1, 1, 3, 4}},
      // Right-multiplied, the translation applies after the scale: x' = 2x - 2.
      {"world scale then translation",
       [&](EmfBuilder& b) {
         b.Raw(EMR_SETWORLDTRANSFORM, xform(2, 0, 0, 1, 0, 0).data);
         b.Raw(EMR_MODIFYWORLDTRANSFORM, xform(1, 0, 0, 1, -2, 0).U32(3).data);
       },
       {2, 1, 4, 4}},
      {"not finite transform ignored",
       [&](EmfBuilder& b) {
         const float nan = std::numeric_limits<float>::quiet_NaN();
         b.Raw(EMR_SETWORLDTRANSFORM, xform(nan, 0, 0, 1, 0, 0).data);
       },
       {2, 1, 6, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmfBuilder b = RedFill(10, 6);
    c.setup(b);
    b.Record(EMR_RECTANGLE, {c.box[0], c.box[1], c.box[2], c.box[3]});
    EXPECT_TRUE(MatchesArt(Play(b.Build()), expected, kColors));
  }
}

TEST(MetafilePlayback, ClippingAndSavedStates) {
  EmfBuilder b = RedFill(10, 8);
  b.Record(EMR_SAVEDC, {});
  b.Record(EMR_INTERSECTCLIPRECT, {2, 2, 8, 6}).Record(EMR_EXCLUDECLIPRECT, {4, 3, 6, 5});
  b.Record(EMR_RECTANGLE, {0, 0, 10, 8});
  // Restoring the state drops the clip: the blue stripe is drawn in full.
  b.Record(EMR_RESTOREDC, {-1});
  b.Record(EMR_CREATEBRUSHINDIRECT, {2, 0, kRefBlue, 0}).Record(EMR_SELECTOBJECT, {2});
  b.Record(EMR_RECTANGLE, {0, 7, 10, 8});
  EXPECT_TRUE(MatchesArt(Play(b.Build()),
                         {
                             "..........",
                             "..........",
                             "..RRRRRR..",
                             "..RR..RR..",
                             "..RR..RR..",
                             "..RRRRRR..",
                             "..........",
                             "BBBBBBBBBB",
                         },
                         kColors));
}

TEST(MetafilePlayback, HatchBackgroundFollowsBackgroundMode) {
  for (auto [mode, background] : {std::pair{2, kGreen}, std::pair{1, kWhite}}) {
    SCOPED_TRACE(mode);
    EmfBuilder b(16, 16);
    b.Record(EMR_CREATEBRUSHINDIRECT, {1, 2, kRefRed, 0}).Record(EMR_SELECTOBJECT, {1});
    b.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(kStockObject | 8)});
    b.Record(EMR_SETBKCOLOR, {kRefGreen}).Record(EMR_SETBKMODE, {mode});
    b.Record(EMR_RECTANGLE, {0, 0, 16, 16});
    const Canvas c = Play(b.Build());
    EXPECT_GT(c.Count(kRed), 0);
    EXPECT_GT(c.Count(background), 0);
    EXPECT_EQ(c.Count(kRed) + c.Count(background), 16 * 16);
    // Horizontal hatching: every row is all one colour.
    for (int y = 0; y < 16; ++y) EXPECT_EQ(c.At(0, y), c.At(15, y));
  }
}

// A 2 x 2 DIB: red, green on top; blue, yellow below.
std::vector<uint8_t> Quad(bool topDown) {
  return Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}, topDown);
}

std::vector<uint8_t> StretchDibits(const std::vector<uint8_t>& dib, std::vector<int32_t> dest,
                                   std::vector<int32_t> source) {
  ByteBuilder r;
  r.I32s({0, 0, 0, 0, dest[0], dest[1], source[0], source[1], source[2], source[3]});
  r.U32(80).U32(40).U32(120).U32(static_cast<uint32_t>(dib.size() - 40)).U32(0).U32(kSrcCopy);
  r.I32(dest[2]).I32(dest[3]).Append(dib);
  return r.data;
}

TEST(MetafilePlayback, EnhancedBitmapRecords) {
  const std::vector<std::string> quadrants = {
      "RRGG",
      "RRGG",
      "BBYY",
      "BBYY",
  };
  for (bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    EmfBuilder b(4, 4);
    b.Raw(EMR_STRETCHDIBITS, StretchDibits(Quad(topDown), {0, 0, 4, 4}, {0, 0, 2, 2}));
    EXPECT_TRUE(MatchesArt(Play(b.Build()), quadrants, kColors));
    // The source origin of a bottom-up DIB is its lower left corner.
    EmfBuilder one(4, 4);
    one.Raw(EMR_STRETCHDIBITS, StretchDibits(Quad(topDown), {0, 0, 4, 4}, {1, 0, 1, 1}));
    EXPECT_EQ(Play(one.Build()).Count(topDown ? kGreen : kYellow), 16);
  }
  // A copy at one to one, with the source's own coordinates from the top.
  ByteBuilder blt;
  blt.I32s({0, 0, 0, 0, 1, 1, 2, 1}).U32(kSrcCopy).I32s({0, 1});
  blt.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0).U32(0).U32(0);
  const std::vector<uint8_t> dib = Quad(false);
  blt.U32(100).U32(40).U32(140).U32(static_cast<uint32_t>(dib.size() - 40)).Append(dib);
  EXPECT_TRUE(MatchesArt(Play(EmfBuilder(4, 4).Raw(EMR_BITBLT, blt.data).Build()),
                         {
                             "....",
                             ".BY.",
                             "....",
                             "....",
                         },
                         kColors));
  // Bits holding only the upper scan line of the DIB place it on the upper row.
  ByteBuilder band;
  band.I32s({0, 0, 0, 0, 0, 0, 0, 0, 2, 2});
  std::vector<uint8_t> top = dib;
  top.erase(top.begin() + 40, top.begin() + 48);  // drop the bottom row (first stored)
  band.U32(76).U32(40).U32(116).U32(8).U32(0).U32(1).U32(1).Append(top);
  EXPECT_TRUE(MatchesArt(Play(EmfBuilder(2, 2).Raw(EMR_SETDIBITSTODEVICE, band.data).Build()),
                         {
                             "RG",
                             "..",
                         },
                         kColors));
}

TEST(MetafilePlayback, WindowsBitmapRecords) {
  const std::vector<uint8_t> dib = Quad(false);
  ByteBuilder stretch;
  stretch.U32(kSrcCopy).I16s({0, 2, 2, 0, 0, 4, 4, 0, 0}).Append(dib);
  EXPECT_TRUE(
      MatchesArt(Play(WmfBuilder(0, 0, 4, 4, 96).Raw(META_STRETCHDIB, stretch.data).Build()),
                 {
                     "RRGG",
                     "RRGG",
                     "BBYY",
                     "BBYY",
                 },
                 kColors));
  ByteBuilder blt;
  blt.U32(kSrcCopy).I16s({2, 2, 0, 0, 4, 4, 0, 0}).Append(dib);
  EXPECT_TRUE(MatchesArt(Play(WmfBuilder(0, 0, 4, 4, 96).Raw(META_DIBSTRETCHBLT, blt.data).Build()),
                         {
                             "RRGG",
                             "RRGG",
                             "BBYY",
                             "BBYY",
                         },
                         kColors));
  ByteBuilder bit;
  bit.U32(kSrcCopy).I16s({1, 0, 1, 2, 1, 1}).Append(dib);  // the lower row at (1, 1)
  EXPECT_TRUE(MatchesArt(Play(WmfBuilder(0, 0, 4, 4, 96).Raw(META_DIBBITBLT, bit.data).Build()),
                         {
                             "....",
                             ".BY.",
                             "....",
                             "....",
                         },
                         kColors));
}

// Red brush in slot 0 and the null pen in slot 1 of the Windows object table.
WmfBuilder WmfRedFill(int16_t left, int16_t top, int16_t right, int16_t bottom) {
  WmfBuilder b(left, top, right, bottom, 96);
  b.Record(META_CREATEBRUSHINDIRECT, {0, 0x00FF, 0, 0}).Record(META_SELECTOBJECT, {0});
  b.Record(META_CREATEPENINDIRECT, {5, 0, 0, 0, 0}).Record(META_SELECTOBJECT, {1});
  return b;
}

TEST(MetafilePlayback, WindowsShapesAndMapping) {
  const std::vector<std::string> expected = {
      "..........", "..RRRR....", "..RRRR....", "..RRRR....", "..........", "..........",
  };
  // Rectangles are stored bottom, right, top, left.
  EXPECT_TRUE(MatchesArt(Play(WmfRedFill(0, 0, 10, 6).Record(META_RECTANGLE, {4, 6, 1, 2}).Build()),
                         expected, kColors));
  // The bounding box, wherever it lies, fills the picture.
  EXPECT_TRUE(MatchesArt(
      Play(WmfRedFill(100, 200, 110, 206).Record(META_RECTANGLE, {204, 106, 201, 102}).Build()),
      expected, kColors));
  // The records' own window replaces it (origin and extent are stored y first).
  WmfBuilder w = WmfRedFill(0, 0, 10, 6);
  w.Record(META_SETWINDOWORG, {0, -10}).Record(META_SETWINDOWEXT, {60, 100});
  w.Record(META_RECTANGLE, {40, 50, 10, 10});
  EXPECT_TRUE(MatchesArt(Play(w.Build()), expected, kColors));
  EXPECT_TRUE(
      MatchesArt(Play(WmfRedFill(0, 0, 6, 4).Record(META_POLYGON, {3, 1, 0, 5, 0, 5, 3}).Build()),
                 {
                     "..RRR.",
                     "...RR.",
                     "....R.",
                     "......",
                 },
                 kColors));
}

TEST(MetafilePlayback, WindowsObjectsTakeTheLowestFreeSlot) {
  WmfBuilder b(0, 0, 4, 1, 96);
  b.Record(META_CREATEBRUSHINDIRECT, {0, 0x00FF, 0, 0});  // slot 0: red
  b.Record(META_CREATEBRUSHINDIRECT, {0, 0, 0x00FF, 0});  // slot 1: blue
  b.Record(META_DELETEOBJECT, {0});
  b.Record(META_CREATEBRUSHINDIRECT, {0, 0xFF00, 0, 0});  // slot 0 again: green
  b.Record(META_CREATEPENINDIRECT, {5, 0, 0, 0, 0});      // slot 2: null pen
  b.Record(META_SELECTOBJECT, {2}).Record(META_SELECTOBJECT, {0});
  b.Record(META_RECTANGLE, {1, 2, 0, 0}).Record(META_SELECTOBJECT, {1});
  b.Record(META_RECTANGLE, {1, 4, 0, 2});
  EXPECT_TRUE(MatchesArt(Play(b.Build()), {"GGBB"}, kColors));
}

std::vector<uint8_t> FontRecord(int32_t index, int32_t height, int32_t escapement) {
  ByteBuilder f;
  f.I32(index).I32(height).I32(0).I32(escapement).I32(0).I32(700).U32(0).U32(0);
  for (char c : std::string("DejaVu Sans")) f.U16(static_cast<uint8_t>(c));
  while (f.data.size() < 4 + 92) f.U8(0);
  return f.data;
}

std::vector<uint8_t> TextRecord(int32_t x, int32_t y, const std::u16string& text, uint32_t options,
                                std::vector<int32_t> box) {
  ByteBuilder t;
  t.I32s({0, 0, 0, 0}).U32(1).F32(1).F32(1);
  t.I32(x).I32(y).U32(static_cast<uint32_t>(text.size())).U32(76).U32(options);
  t.I32s({box[0], box[1], box[2], box[3]}).U32(0);
  for (char16_t c : text) t.U16(c);
  return t.data;
}

// Text in a 40 x 30 picture: big bold "HI" at (2, 2) in red, escapement in tenths of degrees.
std::vector<uint8_t> TextFile(int32_t escapement, uint32_t options) {
  EmfBuilder b(40, 30);
  b.Raw(EMR_EXTCREATEFONTINDIRECTW, FontRecord(1, -20, escapement)).Record(EMR_SELECTOBJECT, {1});
  b.Record(EMR_SETTEXTCOLOR, {kRefRed}).Record(EMR_SETBKMODE, {1});
  b.Record(EMR_SETBKCOLOR, {kRefBlue});
  b.Raw(EMR_EXTTEXTOUTW,
        TextRecord(escapement ? 10 : 2, escapement ? 28 : 2, u"HI", options, {30, 20, 40, 30}));
  b.Record(EMR_CREATEBRUSHINDIRECT, {2, 0, kRefGreen, 0}).Record(EMR_SELECTOBJECT, {2});
  b.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(kStockObject | 8)});
  b.Record(EMR_RECTANGLE, {0, 0, 1, 1});
  return b.Build();
}

// Bounding box of the pixels of one colour.
QRect Extent(const Canvas& c, uint32_t color) {
  QRect r;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      if (c.At(x, y) == color) r = r.united(QRect(x, y, 1, 1));
  return r;
}

// Without fonts the text cannot be drawn; the picture fails rather than being written without
// it. A picture without text plays as ever.
TEST(MetafilePlayback, TextWithoutGuiApplicationFails) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  try {
    Play(TextFile(0, 2));
    ADD_FAILURE() << "text dropped without an error";
  } catch (const MissingFontsError& e) {
    EXPECT_STREQ(e.what(), "Cannot draw the text of a metafile without fonts (no QGuiApplication)");
  }
  EXPECT_THROW(Play(TextFile(900, 0)), MissingFontsError);
  EXPECT_GT(Play(RedFill(4, 2).Record(EMR_RECTANGLE, {0, 0, 4, 2}).Build()).Count(kRed), 0);
}

// Runs in a child process: the application object changes the process for good.
[[noreturn]] void DrawTextWithGuiApplication() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "metafile_text";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  const QRect across = Extent(Play(TextFile(0, 0)), kRed);
  const QRect upwards = Extent(Play(TextFile(900, 0)), kRed);
  bool ok = true;
  auto check = [&ok](bool condition, const char* what) {
    if (!condition) std::fprintf(stderr, "failed: %s\n", what);
    ok = ok && condition;
  };
  // Top-left aligned at (2, 2): glyphs below and right of the point, about 20 high.
  check(!across.isEmpty(), "text drawn");
  check(across.left() >= 2 && across.top() >= 2, "text right of and below its point");
  check(across.height() >= 10 && across.height() <= 22, "text height from the font");
  check(across.width() > across.height(), "two letters side by side");
  // Turned a quarter counter-clockwise, the letters stack upwards.
  check(!upwards.isEmpty() && upwards.height() > upwards.width(), "escapement turns text");
  std::_Exit(ok ? 0 : 1);
}

TEST(MetafilePlayback, TextWithGuiApplication) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(DrawTextWithGuiApplication(), ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------------------------
// Files that lie

TEST(MetafilePlayback, LyingRecordsPlayTheValidPart) {
  // A record that claims to run past the end stops playback; what came before stays drawn.
  std::vector<uint8_t> overrun =
      RedFill(4, 2).Record(EMR_RECTANGLE, {0, 0, 2, 1}).Record(EMR_RECTANGLE, {2, 1, 4, 2}).Build();
  const size_t second = overrun.size() - 20 - 24;
  overrun[second + 5] = 0x10;  // its size becomes 0x1018
  EXPECT_TRUE(MatchesArt(Play(overrun),
                         {
                             "RR..",
                             "....",
                         },
                         kColors));

  struct Case {
    const char* name;
    std::function<void(EmfBuilder&)> lie;
  } cases[] = {
      {"point count beyond the record",
       [](EmfBuilder& b) {
         std::vector<uint8_t> body = Points16({0, 0, 4, 0, 4, 2});
         body[16] = 0xFF;
         body[17] = 0xFF;
         body[18] = 0xFF;
         b.Raw(EMR_POLYGON16, body);
       }},
      {"polygon counts beyond the total",
       [](EmfBuilder& b) {
         std::vector<uint8_t> body = Poly16({{0, 0, 4, 0, 4, 2}});
         body[24] = 200;
         b.Raw(EMR_POLYPOLYGON16, body);
       }},
      {"bitmap offsets outside the record",
       [](EmfBuilder& b) {
         std::vector<uint8_t> body = StretchDibits(Quad(false), {0, 0, 4, 2}, {0, 0, 2, 2});
         body[48] = 0xF0;
         b.Raw(EMR_STRETCHDIBITS, body);
       }},
      {"bitmap bits too short",
       [](EmfBuilder& b) {
         std::vector<uint8_t> body = StretchDibits(Quad(false), {0, 0, 4, 2}, {0, 0, 2, 2});
         body.resize(body.size() - 10);
         body[52] = 6;  // cbBitsSrc
         b.Raw(EMR_STRETCHDIBITS, body);
       }},
      {"bitmap of absurd size",
       [](EmfBuilder& b) {
         std::vector<uint8_t> body = StretchDibits(Quad(false), {0, 0, 4, 2}, {0, 0, 2, 2});
         body[72 + 4 + 3] = 0x7F;  // width
         body[72 + 8 + 3] = 0x7F;  // height
         b.Raw(EMR_STRETCHDIBITS, body);
       }},
      {"text longer than its record",
       [](EmfBuilder& b) {
         std::vector<uint8_t> body = TextRecord(0, 0, u"x", 0, {0, 0, 0, 0});
         body[36] = 9;  // character count
         b.Raw(EMR_EXTTEXTOUTW, body);
       }},
      {"objects out of range",
       [](EmfBuilder& b) {
         b.Record(EMR_CREATEBRUSHINDIRECT, {0, 0, kRefBlue, 0});
         b.Record(EMR_CREATEBRUSHINDIRECT, {70000, 0, kRefBlue, 0});
         b.Record(EMR_SELECTOBJECT, {0}).Record(EMR_SELECTOBJECT, {70000});
         b.Record(EMR_SELECTOBJECT, {5000}).Record(EMR_SELECTOBJECT, {int32_t(kStockObject | 999)});
         b.Record(EMR_DELETEOBJECT, {5000});
       }},
      {"unbalanced saved states",
       [](EmfBuilder& b) {
         for (int i = 0; i < 3000; ++i) b.Record(EMR_SAVEDC, {});
         b.Record(EMR_RESTOREDC, {-5000}).Record(EMR_RESTOREDC, {7});
         b.Record(EMR_RESTOREDC, {-3000}).Record(EMR_RESTOREDC, {1});
       }},
      {"unknown records",
       [](EmfBuilder& b) {
         b.Record(9999, {1, 2, 3}).Record(70, {});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmfBuilder b = RedFill(4, 2);
    c.lie(b);
    b.Record(EMR_RECTANGLE, {0, 0, 4, 2});
    EXPECT_EQ(Play(b.Build()).Count(kRed), 8);
  }
}

TEST(MetafilePlayback, HugeCoordinatesAreClippedToThePicture) {
  const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  EmfBuilder b = RedFill(8, 4);
  b.Record(EMR_RECTANGLE, {lo, lo, hi, hi});
  b.Record(EMR_CREATEPEN, {2, 0, 1000000, 0, kRefBlue}).Record(EMR_SELECTOBJECT, {2});
  b.Record(EMR_ELLIPSE, {lo, 100, hi, hi});
  b.Record(EMR_SETMAPMODE, {8}).Record(EMR_SETWINDOWEXTEX, {1, 1});
  b.Record(EMR_SETVIEWPORTEXTEX, {hi, hi}).Record(EMR_RECTANGLE, {hi, hi, lo, lo});
  const Canvas c = Play(b.Build());
  EXPECT_EQ(c.Count(kRed) + c.Count(kBlue), 32);
}

// Random damage to valid files never gets past the readers' checks: every damaged file loads
// or fails with the metafile error, and plays without touching memory it should not.
TEST(MetafilePlayback, DamagedFilesNeverCrash) {
  std::vector<std::vector<uint8_t>> seeds = {
      TextFile(450, 6),
      RedFill(8, 8)
          .Raw(EMR_STRETCHDIBITS, StretchDibits(Quad(true), {0, 0, 8, 8}, {0, 0, 2, 2}))
          .Raw(EMR_POLYPOLYGON16, Poly16({{1, 1, 6, 1, 6, 6}, {3, 3, 8, 3, 8, 8}}))
          .Record(EMR_PIE, {0, 0, 8, 8, 8, 4, 4, 0})
          .Record(EMR_ROUNDRECT, {0, 0, 8, 8, 3, 3})
          .Build(),
      WmfRedFill(0, 0, 8, 8)
          .Record(META_ELLIPSE, {8, 8, 0, 0})
          .Record(META_POLYGON, {3, 1, 0, 5, 0, 5, 3})
          .Build(),
  };
  REQUIRE_SHARED_SAMPLES();
  for (const char* f : {"emf/e2s_test-119.emf", "emf/e2s_test-022.emf", "wmf/libwmf_fulltest.wmf",
                        "wmf/libwmf_Eg.wmf"})
    seeds.push_back(ReadBytes(SharedPath(std::string("testimages/") + f)));
  std::mt19937 random(20240611);
  int loaded = 0;
  for (int round = 0; round < 1500; ++round) {
    std::vector<uint8_t> bytes = seeds[round % seeds.size()];
    const int changes = 1 + static_cast<int>(random() % 6);
    for (int k = 0; k < changes; ++k) {
      const size_t at = 8 + random() % (bytes.size() - 8);
      bytes[at] = (k % 3 == 0) ? 0xFF : static_cast<uint8_t>(random());
    }
    if (round % 7 == 0) bytes.resize(bytes.size() - random() % (bytes.size() / 2));
    try {
      MetafileGraphic m = Load(bytes);
      ++loaded;
      Canvas c(24, 24, kWhite);
      m.Draw(c.Surface(), Rect{2, 2, 22, 22});
    } catch (const InvalidImageError& e) {
      ASSERT_STREQ(e.what(), "Metafile is not valid");
    } catch (const MissingFontsError&) {
      // text records survived the damage
    }
  }
  EXPECT_GT(loaded, 500);
}

}  // namespace
}  // namespace tessane::test
