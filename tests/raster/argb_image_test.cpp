// ArgbImage: sizing, filling, the stretch filter setter, update counting, and the conversions
// from and to pictures and bitmap graphics.

#include "raster/argb_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "formats/ico/icon_graphic.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "raster/draft_resampler.h"
#include "raster/filters.h"
#include "raster/kernel_resampler.h"
#include "raster/linear_resampler.h"
#include "raster/nearest_resampler.h"
#include "raster_test_util.h"

namespace tessane {
namespace {

using test::RowOf;

// A graphic that paints a 4 x 1 pattern into the rectangle it is given: pixel 0 opaque blue,
// pixel 1 untouched, pixel 2 half-transparent red blended over what is there, pixel 3 opaque
// white. It reports its size and can be told to fail while drawing. `Base` is the graphic kind
// it stands in for.
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
    if (target.IsEmpty() || target.Width < 4) return;  // the pattern needs four columns
    for (int32_t y = 0; y < target.Height; ++y) {
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
// Stand-ins for the icon and metafile classes: same pattern, classes derived from theirs.
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
      uint8_t* p = b->ScanLine(y) + x * (format == DibFormat::pf32bit ? 4 : 3);
      p[0] = c[2];
      p[1] = c[1];
      p[2] = c[0];
      if (format == DibFormat::pf32bit) p[3] = 0x40;
    }
  return b;
}

TEST(Bitmap32, StartsEmptyWithNearestResampler) {
  ArgbImage b;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_EQ(b.draw_mode(), DrawMode::kDrawOpaque);
  ASSERT_NE(b.resampler(), nullptr);
  EXPECT_STREQ(b.resampler()->ClassName(), "TNearestResampler");
  EXPECT_EQ(b.resampler()->Bitmap(), &b);
  EXPECT_EQ(b.ClipArea(), (Rect{0, 0, 0, 0}));
}

TEST(Bitmap32, ResizeRules) {
  ArgbImage b;
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  b.Resize(-5, 10);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 10);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Bits(), nullptr);

  b.Resize(3, 2);
  EXPECT_EQ(b.ClipArea(), (Rect{0, 0, 3, 2}));
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>(3, 0)));  // fresh buffers are all zero
  EXPECT_EQ(b.Row(1) - b.Row(0), 3);                      // rows without padding
  b.Fill(0x11223344);
  changes = 0;
  b.Resize(3, 2);  // same size: pixels stay, nothing notified
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>(3, 0x11223344)));
  EXPECT_EQ(changes, 0);

  // Beyond the size limits: an error, and the bitmap is empty at 0 x 0.
  for (auto [w, h] : {std::pair{70000, 1}, std::pair{20000, 20000}, std::pair{1, 65536}}) {
    b.Resize(3, 2);
    try {
      b.Resize(w, h);
      ADD_FAILURE() << w << " x " << h << " accepted";
    } catch (const OutOfResourcesError& e) {
      EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
    }
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_EQ(b.Bits(), nullptr);
  }
}

TEST(Bitmap32, FillAndSetAllAlpha) {
  ArgbImage b;
  b.Fill(0xFFFFFFFF);  // empty: nothing happens
  b.Resize(2, 2);
  b.Fill(0x80102030);
  b.SetAllAlpha(0xFF);
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>(2, 0xFF102030)));
  b.SetAllAlpha(0);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>(2, 0x00102030)));
}

TEST(Bitmap32, SetResamplerAndKernelNotify) {
  ArgbImage b;
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  b.SetResampler(nullptr);
  EXPECT_EQ(changes, 0);
  auto owned = std::make_unique<KernelResampler>();
  KernelResampler* kernelResampler = owned.get();
  b.SetResampler(std::move(owned));
  EXPECT_EQ(b.resampler(), kernelResampler);
  EXPECT_EQ(kernelResampler->Bitmap(), &b);
  EXPECT_EQ(changes, 1);
  kernelResampler->SetKernel(nullptr);
  EXPECT_EQ(changes, 1);
  kernelResampler->SetKernel(std::make_unique<SplineKernel>());
  EXPECT_EQ(changes, 2);
  EXPECT_STREQ(kernelResampler->kernel().ClassName(), "TSplineKernel");
}

TEST(Bitmap32, UpdateCountingSuppressesNotifications) {
  ArgbImage b;
  int changes = 0;
  std::vector<Rect> areas;
  b.OnChange = [&] { ++changes; };
  b.OnAreaChanged = [&](const Rect& r) { areas.push_back(r); };
  b.BeginUpdate();
  b.Resize(4, 4);
  b.Fill(1);
  EXPECT_EQ(changes, 0);
  b.EndUpdate();
  b.NotifyChanged();
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], (Rect{0, 0, 4, 4}));
  try {
    b.EndUpdate();
    ADD_FAILURE() << "unpaired EndUpdate accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
  }

  // Assign sends exactly one notification at its end, also when the graphic fails to draw.
  Picture picture;
  auto graphic = std::make_unique<FakeDrawn>();
  FakeDrawn* fake = graphic.get();
  picture.SetGraphic(std::move(graphic));
  changes = 0;
  b.Assign(picture);
  EXPECT_EQ(changes, 1);
  fake->fail = true;
  EXPECT_THROW(b.Assign(picture), InvalidImageError);
  EXPECT_EQ(changes, 2);
  EXPECT_THROW(b.EndUpdate(), Exception);  // the counter is back at 0
}

TEST(Bitmap32, AssignBitmapGraphicCopiesPixels) {
  ArgbImage b;
  Picture picture;

  picture.SetGraphic(SmallBitmap(DibFormat::pf24bit));
  b.Assign(picture);
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0xFF0A141E, 0xFF00FF00, 0xFF28323C}));
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>{0xFF00FF00, 0xFF01FF00, 0xFF46505A}));

  // A 32-bit graphic keeps its fourth byte as alpha.
  picture.SetGraphic(SmallBitmap(DibFormat::pf32bit));
  b.Assign(picture);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0x400A141E, 0x4000FF00, 0x4028323C}));

  // Transparent with pure green: exactly the pure green pixels lose their alpha.
  auto transparent = SmallBitmap(DibFormat::pf24bit);
  transparent->SetTransparent(true, 0x0000FF00);
  picture.SetGraphic(std::move(transparent));
  b.Assign(picture);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0xFF0A141E, 0x0000FF00, 0xFF28323C}));
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>{0x0000FF00, 0xFF01FF00, 0xFF46505A}));

  // Given directly, a bitmap graphic takes the same path.
  ArgbImage direct;
  auto graphic = SmallBitmap(DibFormat::pf24bit);
  direct.Assign(static_cast<Graphic&>(*graphic));
  EXPECT_EQ(RowOf(direct, 1), (std::vector<Argb32>{0xFF00FF00, 0xFF01FF00, 0xFF46505A}));
}

TEST(Bitmap32, AssignOtherGraphicDrawsOverBlackAndIsOpaque) {
  Picture picture;
  auto graphic = std::make_unique<FakeDrawn>();
  graphic->height = 2;
  FakeDrawn* fake = graphic.get();
  picture.SetGraphic(std::move(graphic));
  ArgbImage b;
  b.Assign(picture);
  ASSERT_EQ(fake->drawnInto.size(), 1u);
  EXPECT_EQ(fake->drawnInto[0], (Rect{0, 0, 4, 2}));
  // Unpainted: black; blended: over black; everything opaque.
  for (int32_t y = 0; y < 2; ++y)
    EXPECT_EQ(RowOf(b, y), (std::vector<Argb32>{0xFF0000FF, 0xFF000000, 0xFF800000, 0xFFFFFFFF}));

  // Given directly, the rectangle is the bitmap's own size.
  FakeDrawn direct;
  direct.width = 2;
  b.Assign(direct);
  EXPECT_EQ(direct.drawnInto.at(0), (Rect{0, 0, 2, 1}));

  // A graphic with a zero side leaves the bitmap empty without an error or a draw.
  fake->drawnInto.clear();
  fake->width = 0;
  b.Assign(picture);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_TRUE(fake->drawnInto.empty());

  Picture none;
  b.Resize(3, 3);
  b.Assign(none);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
}

TEST(Bitmap32, IconsAndMetafilesAreTransparentWhereTheBackgroundShows) {
  std::vector<std::pair<const char*, std::unique_ptr<Graphic>>> graphics;
  graphics.emplace_back("icon", std::make_unique<FakeIcon>());
  graphics.emplace_back("metafile", std::make_unique<FakeMetafile>());
  for (auto& [name, graphic] : graphics) {
    Picture picture;
    picture.SetGraphic(std::move(graphic));
    ArgbImage b;
    b.Assign(picture);
    // Painted opaque: kept with alpha 255 (white too). Untouched: white, alpha 0. Partly
    // covering: its colour over white, alpha 0.
    EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>{0xFF0000FF, 0x00FFFFFF, 0x00FF7F7F, 0xFFFFFFFF}))
        << name;
  }
}

TEST(Bitmap32, DrawErrorsPassOutUnchanged) {
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
      b.Assign(picture);
      ADD_FAILURE() << "no error";
    } catch (const InvalidImageError& e) {
      EXPECT_STREQ(e.what(), "cannot draw");
    }
  }
}

TEST(Bitmap32, AssignToPictureGivesA32BitBitmapOfTheSameWords) {
  ArgbImage b;
  b.Resize(3, 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x)
      b.Row(y)[x] = 0x01020304u * static_cast<uint32_t>(x + 3 * y + 1);

  Picture picture;
  picture.SetGraphic(std::make_unique<FakeDrawn>());  // not a bitmap kind: replaced
  b.AssignTo(picture);
  auto* bitmap = dynamic_cast<DibImage*>(picture.graphic());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), DibFormat::pf32bit);
  ASSERT_EQ(bitmap->Width(), 3);
  ASSERT_EQ(bitmap->Height(), 2);
  for (int32_t y = 0; y < 2; ++y) {
    std::vector<Argb32> words(3);
    std::memcpy(words.data(), bitmap->ScanLine(y), 12);
    EXPECT_EQ(words, RowOf(b, y));
  }

  // A bitmap kind is reused, whatever its format was.
  picture.SetGraphic(SmallBitmap(DibFormat::pf24bit));
  Graphic* before = picture.graphic();
  b.AssignTo(picture);
  EXPECT_EQ(picture.graphic(), before);
  EXPECT_EQ(static_cast<DibImage*>(before)->PixelFormat(), DibFormat::pf32bit);

  // An empty bitmap gives a bitmap graphic of its reported size, no pixels copied.
  ArgbImage empty;
  empty.Resize(0, 10);
  DibImage target;
  empty.AssignTo(target);
  EXPECT_EQ(target.Width(), 0);
  EXPECT_EQ(target.Height(), 10);

  FakeDrawn other;
  try {
    b.AssignTo(static_cast<Graphic&>(other));
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TBitmap32 to a TGraphic");
  }
}

TEST(Bitmap32, AssignFromAnotherBitmap32CopiesPixelsAndSettings) {
  ArgbImage a, b;
  test::MakeNoise(a, 5, 4, 3);
  a.SetResampler(MakeResampler(Filter::kLanczos3));
  static_cast<KernelResampler*>(a.resampler())->SetKernel([] {
    auto k = std::make_unique<LanczosKernel>();
    k->SetWidth(2);
    return k;
  }());
  b.Assign(a);
  EXPECT_EQ(test::FirstDifference(a, b), "");
  ASSERT_NE(b.resampler(), a.resampler());
  EXPECT_EQ(b.resampler()->Bitmap(), &b);
  const auto& kernel =
      static_cast<const LanczosKernel&>(static_cast<KernelResampler*>(b.resampler())->kernel());
  EXPECT_EQ(kernel.Width(), 2.0f);
}

TEST(ToColor32, ConvertsPlatformColours) {
  struct Case {
    int32_t color;
    Argb32 expected;
  };
  const Case cases[] = {
      {0x000000FF, 0xFFFF0000},
      {0x0000FF00, 0xFF00FF00},
      {0x00FF0000, 0xFF0000FF},
      {0x00123456, 0xFF563412},
      {static_cast<int32_t>(0x80000005), 0xFFFFFFFF},  // window background
      {static_cast<int32_t>(0x80000008), 0xFF000000},  // window text
  };
  for (const Case& c : cases) EXPECT_EQ(ToColor32(c.color), c.expected) << std::hex << c.color;
}

// A bitmap that took over a PNG's pixels hands them on for the next picture its thread decodes:
// the next bitmap gets the right pixels from the reused buffer, and a bitmap that outlives the
// thread's spare buffer (a thread_local made before it) keeps its pixels to itself.
TEST(Bitmap32, AdoptedPngPixelsAreReusedSafely) {
  DibImage plain;
  plain.SetPixelFormat(DibFormat::pf24bit);
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
    into.Assign(picture);
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
    second.Assign(picture);
    ASSERT_EQ(second.Width(), 5);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(second.Bits()[i], 0xFF000000u) << i;
  }).join();
}

}  // namespace
}  // namespace tessane
