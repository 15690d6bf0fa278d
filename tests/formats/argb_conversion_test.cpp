// Converting graphics into ArgbImage and back: bitmap kinds by pixel copy, other graphics drawn
// over black or over two backgrounds, and the scaled image handed back as a 32-bit bitmap.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "formats/bmp/dib_image.h"
#include "formats/ico/icon_graphic.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "pixels/argb_image.h"

namespace tessane {
namespace {

std::vector<Argb32> RowOf(const ArgbImage& b, int32_t y) {
  return std::vector<Argb32>(b.Row(y), b.Row(y) + b.Width());
}

// A graphic that paints a 4 x 1 pattern into the rectangle it is given: pixel 0 opaque blue,
// pixel 1 untouched, pixel 2 half-transparent red blended over what is there, pixel 3 opaque
// white. It reports its size and can be told to fail while drawing.
template <typename Base>
class PatternGraphic : public Base {
 public:
  void LoadFromStream(ByteStream&) override {}
  void SaveToStream(ByteStream&) override {}
  int32_t Width() const override { return width; }
  int32_t Height() const override { return height; }
  void Draw(const ArgbView& target, const Rect& rect) override {
    drawnInto.push_back(rect);
    if (fail) throw InvalidImageError("cannot draw");
    if (target.IsEmpty() || target.width < 4) return;  // the pattern needs four columns
    for (int32_t y = 0; y < target.height; ++y) {
      uint32_t* row = target.Row(y);
      row[0] = 0xFF0000FF;
      const uint32_t d = row[2];
      auto blend = [&](int shift, uint32_t s) {
        return ((s * 128 + ((d >> shift) & 0xFF) * 127 + 255) >> 8) << shift;
      };
      row[2] = 0xFF000000 | blend(16, 255) | blend(8, 0) | blend(0, 0);
      row[3] = 0xFFFFFFFF;
    }
  }
  int32_t width = 4, height = 1;
  bool fail = false;
  std::vector<Rect> drawnInto;
};

using FakeDrawn = PatternGraphic<Graphic>;
// Stand-ins for the icon and metafile classes: same pattern, derived from those classes.
using FakeIcon = PatternGraphic<IconGraphic>;
using FakeMetafile = PatternGraphic<MetafileGraphic>;

// A 3 x 2 DibImage of the given format with distinct pixels; 32-bit rows carry alpha 0x40.
std::unique_ptr<DibImage> SmallBitmap(DibFormat format) {
  auto b = std::make_unique<DibImage>();
  b->SetPixelFormat(format);
  b->SetSize(3, 2);
  const uint8_t colours[2][3][3] = {{{10, 20, 30}, {0, 255, 0}, {40, 50, 60}},
                                    {{0, 255, 0}, {1, 255, 0}, {70, 80, 90}}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint8_t* c = colours[y][x];  // r, g, b
      uint8_t* p = b->ScanLine(y) + x * (format == DibFormat::k32Bit ? 4 : 3);
      p[0] = c[2];
      p[1] = c[1];
      p[2] = c[0];
      if (format == DibFormat::k32Bit) p[3] = 0x40;
    }
  return b;
}

TEST(ArgbConversion, BitmapGraphicsCopyTheirPixels) {
  ArgbImage b;
  Picture picture;

  picture.SetGraphic(SmallBitmap(DibFormat::k24Bit));
  PictureToArgb(picture, b);
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0xFF0A141E, 0xFF00FF00, 0xFF28323C}));
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>{0xFF00FF00, 0xFF01FF00, 0xFF46505A}));

  // A 32-bit graphic keeps its fourth byte as alpha.
  picture.SetGraphic(SmallBitmap(DibFormat::k32Bit));
  PictureToArgb(picture, b);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0x400A141E, 0x4000FF00, 0x4028323C}));

  // Transparent with pure green: exactly the pure green pixels lose their alpha.
  auto transparent = SmallBitmap(DibFormat::k24Bit);
  transparent->SetTransparent(true, 0x0000FF00);
  picture.SetGraphic(std::move(transparent));
  PictureToArgb(picture, b);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0xFF0A141E, 0x0000FF00, 0xFF28323C}));
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>{0x0000FF00, 0xFF01FF00, 0xFF46505A}));

  // Converted on its own, a bitmap graphic takes the same path.
  ArgbImage direct;
  auto graphic = SmallBitmap(DibFormat::k24Bit);
  graphic->ConvertTo(direct);
  EXPECT_EQ(RowOf(direct, 1), (std::vector<Argb32>{0xFF00FF00, 0xFF01FF00, 0xFF46505A}));
}

TEST(ArgbConversion, OtherGraphicsAreDrawnOverBlackAndOpaque) {
  Picture picture;
  auto graphic = std::make_unique<FakeDrawn>();
  graphic->height = 2;
  FakeDrawn* fake = graphic.get();
  picture.SetGraphic(std::move(graphic));
  ArgbImage b;
  PictureToArgb(picture, b);
  ASSERT_EQ(fake->drawnInto.size(), 1u);
  EXPECT_EQ(fake->drawnInto[0], (Rect{0, 0, 4, 2}));
  // Unpainted: black; blended: over black; everything opaque.
  for (int32_t y = 0; y < 2; ++y)
    EXPECT_EQ(RowOf(b, y), (std::vector<Argb32>{0xFF0000FF, 0xFF000000, 0xFF800000, 0xFFFFFFFF}));

  // Drawn on its own, the rectangle is the image's own size.
  FakeDrawn direct;
  direct.width = 2;
  direct.DrawToArgb(b);
  EXPECT_EQ(direct.drawnInto.at(0), (Rect{0, 0, 2, 1}));

  // A graphic with a zero side leaves the bitmap empty without an error or a draw.
  fake->drawnInto.clear();
  fake->width = 0;
  PictureToArgb(picture, b);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_TRUE(fake->drawnInto.empty());

  Picture none;
  b.Resize(3, 3);
  PictureToArgb(none, b);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
}

TEST(ArgbConversion, IconsAndMetafilesAreTransparentWhereTheBackgroundShows) {
  std::vector<std::pair<const char*, std::unique_ptr<Graphic>>> graphics;
  graphics.emplace_back("icon", std::make_unique<FakeIcon>());
  graphics.emplace_back("metafile", std::make_unique<FakeMetafile>());
  for (auto& [name, graphic] : graphics) {
    Picture picture;
    picture.SetGraphic(std::move(graphic));
    ArgbImage b;
    PictureToArgb(picture, b);
    // Painted opaque: kept with alpha 255 (white too). Untouched: white, alpha 0. Partly
    // covering: its colour over white, alpha 0.
    EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0xFF0000FF, 0x00FFFFFF, 0x00FF7F7F, 0xFFFFFFFF}))
        << name;
  }
}

TEST(ArgbConversion, DrawErrorsPassOutUnchanged) {
  for (bool icon : {false, true}) {
    Picture picture;
    std::unique_ptr<Graphic> graphic;
    if (icon) {
      auto g = std::make_unique<FakeIcon>();
      g->fail = true;
      graphic = std::move(g);
    } else {
      auto g = std::make_unique<FakeDrawn>();
      g->fail = true;
      graphic = std::move(g);
    }
    picture.SetGraphic(std::move(graphic));
    ArgbImage b;
    try {
      PictureToArgb(picture, b);
      ADD_FAILURE() << "no error";
    } catch (const InvalidImageError& e) {
      EXPECT_STREQ(e.what(), "cannot draw");
    }
  }
}

TEST(ArgbConversion, BackToAPictureGivesA32BitBitmapOfTheSameWords) {
  ArgbImage b;
  b.Resize(3, 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x)
      b.Row(y)[x] = 0x01020304u * static_cast<uint32_t>(x + 3 * y + 1);

  Picture picture;
  picture.SetGraphic(std::make_unique<FakeDrawn>());  // not a bitmap kind: replaced
  ArgbToPicture(b, picture);
  auto* bitmap = dynamic_cast<DibImage*>(picture.graphic());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), DibFormat::k32Bit);
  ASSERT_EQ(bitmap->Width(), 3);
  ASSERT_EQ(bitmap->Height(), 2);
  for (int32_t y = 0; y < 2; ++y) {
    std::vector<Argb32> words(3);
    std::memcpy(words.data(), bitmap->ScanLine(y), 12);
    EXPECT_EQ(words, RowOf(b, y));
  }

  // A bitmap kind is reused, whatever its format was.
  picture.SetGraphic(SmallBitmap(DibFormat::k24Bit));
  Graphic* before = picture.graphic();
  ArgbToPicture(b, picture);
  EXPECT_EQ(picture.graphic(), before);
  EXPECT_EQ(static_cast<DibImage*>(before)->PixelFormat(), DibFormat::k32Bit);

  // An empty bitmap gives a bitmap graphic of its reported size, no pixels copied.
  ArgbImage empty;
  empty.Resize(0, 10);
  DibImage target;
  target.Assign(empty);
  EXPECT_EQ(target.Width(), 0);
  EXPECT_EQ(target.Height(), 10);

  FakeDrawn other;
  try {
    ArgbToGraphic(b, other);
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TBitmap32 to a TGraphic");
  }
}

// A bitmap that took over a PNG's pixels hands them on for the next picture its thread decodes:
// the next bitmap gets the right pixels from the reused buffer, and a bitmap that outlives the
// thread's spare buffer (a thread_local made before it) keeps its pixels to itself.
TEST(ArgbConversion, AdoptedPngPixelsAreReusedSafely) {
  DibImage plain;
  plain.SetPixelFormat(DibFormat::k24Bit);
  plain.SetSize(5, 3);
  PngGraphic writer;
  writer.Assign(plain);
  MemoryStream file;
  writer.SaveToStream(file);
  const std::vector<uint8_t> bytes = file.TakeBytes();
  auto adopt = [&bytes](ArgbImage& into, uint8_t shade) {
    std::vector<uint8_t> shaded = bytes;
    Picture picture;
    MemoryStream stream(std::move(shaded));
    picture.LoadFromStream(std::make_unique<PngGraphic>(), stream);
    PictureToArgb(picture, into);
    std::fill_n(into.Bits(), 15, 0xFF000000u | shade);  // marks the buffer handed on
  };
  std::thread([&] {
    thread_local ArgbImage held;  // made before the spare buffer, so destroyed after it
    adopt(held, 1);
    {
      ArgbImage first;
      adopt(first, 2);
    }
    ArgbImage second;
    Picture picture;
    MemoryStream stream(bytes);
    picture.LoadFromStream(std::make_unique<PngGraphic>(), stream);
    PictureToArgb(picture, second);
    ASSERT_EQ(second.Width(), 5);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(second.Bits()[i], 0xFF000000u) << i;
  }).join();
}

}  // namespace
}  // namespace tessane
