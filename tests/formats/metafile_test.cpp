// Loading metafiles: the kind by content, the reported sizes, the failures, the public samples.

#include <gtest/gtest.h>

#include <algorithm>

#include "base/errors.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/metafile_test_builder.h"
#include "formats/picture.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

void ExpectInvalid(const std::vector<uint8_t>& bytes) {
  MetafileGraphic m;
  MemoryStream stream(bytes);
  try {
    m.LoadFromStream(stream);
    ADD_FAILURE() << "loaded";
  } catch (const InvalidImageError& e) {
    EXPECT_STREQ(e.what(), "Metafile is not valid");
  }
}

TEST(MetafileLoad, ContentNotExtensionDecidesTheKind) {
  TempDir dir;
  const std::vector<uint8_t> emf = EmfBuilder(20, 10).Build();
  const std::vector<uint8_t> wmf = WmfBuilder(0, 0, 30, 15, 96).Build();
  struct Case {
    const char* name;
    const std::vector<uint8_t>& bytes;
    bool enhanced;
    int width, height;
  } cases[] = {{"a.emf", emf, true, 20, 10},
               {"enhanced_named.wmf", emf, true, 20, 10},
               {"b.wmf", wmf, false, 30, 15},
               {"placeable_named.emf", wmf, false, 30, 15}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir.File(c.name), c.bytes);
    Picture picture;
    picture.LoadPicture(dir.File(c.name));
    const auto* metafile = dynamic_cast<const MetafileGraphic*>(picture.graphic());
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(metafile->Enhanced(), c.enhanced);
    EXPECT_EQ(picture.Width(), c.width);
    EXPECT_EQ(picture.Height(), c.height);
  }
}

TEST(MetafileLoad, WindowsMetafileWithoutPlaceableHeaderFailsAndKeepsThePicture) {
  TempDir dir;
  // A valid placeable file without its first 22 bytes is a bare Windows metafile.
  std::vector<uint8_t> bare = WmfBuilder(0, 0, 30, 15, 96).Build();
  bare.erase(bare.begin(), bare.begin() + 22);
  WriteBytes(dir.File("bare.wmf"), bare);
  WriteBytes(dir.File("good.emf"), EmfBuilder(20, 10).Build());

  Picture picture;
  picture.LoadPicture(dir.File("good.emf"));
  try {
    picture.LoadPicture(dir.File("bare.wmf"));
    FAIL() << "loaded";
  } catch (const InvalidImageError& e) {
    EXPECT_STREQ(e.what(), "Metafile is not valid");
  }
  EXPECT_EQ(picture.Width(), 20);
  EXPECT_EQ(picture.Height(), 10);
}

TEST(MetafileLoad, EnhancedSizeFromFrameAndReferenceDevice) {
  struct Case {
    int32_t frame[4];
    int32_t device[4];
    int width, height;
  } cases[] = {
      {{0, 0, 200, 100}, {1000, 1000, 100, 100}, 20, 10},
      {{-50, 30, 150, 130}, {1000, 1000, 100, 100}, 20, 10},  // origin does not matter
      {{0, 0, 205, 204}, {1000, 1000, 100, 100}, 21, 20},     // 20.5 rounds up, 20.4 down
      {{0, 0, 2646, 2646}, {1920, 1080, 508, 286}, 100, 100},
      {{0, 0, 2899, 2899}, {10205, 13181, 216, 279}, 1370, 1370},
      {{0, 0, 0, 0}, {1000, 1000, 100, 100}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frame[2] << "x" << c.frame[3] << " on " << c.device[0]);
    const MetafileGraphic m = Load(EmfBuilder(1, 1)
                                 .Frame(c.frame[0], c.frame[1], c.frame[2], c.frame[3])
                                 .Device(c.device[0], c.device[1], c.device[2], c.device[3])
                                 .Build());
    EXPECT_TRUE(m.Enhanced());
    EXPECT_EQ(m.Width(), c.width);
    EXPECT_EQ(m.Height(), c.height);
    EXPECT_EQ(m.MMWidth(), c.frame[2] - c.frame[0]);
  }
}

TEST(MetafileLoad, PlaceableSizeFromBoundingBoxAndUnitsPerInch) {
  struct Case {
    int16_t box[4];
    uint16_t inch;
    int width, height;
  } cases[] = {
      {{0, 0, 1440, 720}, 1440, 96, 48},
      {{-100, -50, 100, 50}, 1000, 19, 10},  // 5.08 mm = 19.2 px, 2.54 mm = 9.6 px
      {{0, 0, 960, 960}, 96, 960, 960},
      // 0 units per inch counts as 96 for the millimetres; the pixels are then those of the
      // reference screen, whose vertical resolution is not exactly 96 per inch.
      {{0, 0, 960, 960}, 0, 960, 959},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.box[2] << " at " << c.inch);
    const MetafileGraphic m = Load(WmfBuilder(c.box[0], c.box[1], c.box[2], c.box[3], c.inch).Build());
    EXPECT_FALSE(m.Enhanced());
    EXPECT_EQ(m.Width(), c.width);
    EXPECT_EQ(m.Height(), c.height);
  }
}

TEST(MetafileLoad, MalformedHeadersAreNotValid) {
  const std::vector<uint8_t> emf = EmfBuilder(20, 10).Build();
  const std::vector<uint8_t> wmf = WmfBuilder(0, 0, 30, 15, 96).Build();
  auto patched = [](std::vector<uint8_t> bytes, size_t at, std::vector<uint8_t> with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
  };
  auto cut = [](std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
  };
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"enhanced of 100 bytes", cut(emf, 100)},
      {"enhanced cut short of its size", cut(emf, emf.size() - 4)},
      {"header record larger than the file", patched(emf, 4, {0, 0, 1, 0})},
      {"header record too small", patched(emf, 4, {40, 0, 0, 0})},
      {"device millimetres zero", patched(emf, 80, {0, 0, 0, 0})},
      {"device pixels negative", patched(emf, 76, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"frame right of left", patched(emf, 32, {0x9C, 0xFF, 0xFF, 0xFF})},
      {"pixels beyond 32 bits",
       patched(patched(emf, 36, {0xFF, 0xFF, 0xFF, 0x7F}), 76, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"placeable checksum", patched(wmf, 20, {0, 0})},
      {"placeable box upside down", WmfBuilder(0, 40, 30, 15, 96).Build()},
      {"metafile type 3", patched(wmf, 22, {3, 0})},
      {"metafile header size", patched(wmf, 24, {8, 0})},
      {"metafile version", patched(wmf, 26, {0, 2})},
      {"placeable without metafile header", cut(wmf, 30)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    ExpectInvalid(bytes);
  }
}

TEST(MetafileLoad, FailedLoadLeavesTheGraphicAsItWas) {
  MetafileGraphic m = Load(EmfBuilder(20, 10).Build());
  MemoryStream bad(std::vector<uint8_t>{1, 2, 3});
  EXPECT_THROW(m.LoadFromStream(bad), InvalidImageError);
  EXPECT_TRUE(m.Enhanced());
  EXPECT_EQ(m.Width(), 20);
  MemoryStream saved;
  m.SaveToStream(saved);
  EXPECT_EQ(saved.Bytes(), EmfBuilder(20, 10).Build());
}

TEST(MetafileLoad, SaveWritesTheFileAsRead) {
  for (const std::vector<uint8_t>& bytes :
       {EmfBuilder(5, 5).Build(), WmfBuilder(-3, 4, 30, 15, 1440).Build()}) {
    MetafileGraphic m = Load(bytes);
    MemoryStream out;
    m.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), bytes);
  }
}

// Every public sample loads with its listed size or fails cleanly, and draws without harm both
// at its own size (when small) and shrunk into a small rectangle.
TEST(MetafileSamples, LoadWithListedSizesAndDraw) {
  REQUIRE_SHARED_SAMPLES();
  int seen = 0;
  for (const ManifestRow& row : ReadManifest()) {
    if (row.format != "emf" && row.format != "wmf") continue;
    ++seen;
    SCOPED_TRACE(row.file);
    MetafileGraphic m;
    bool loaded = false;
    try {
      m.LoadFromFile(SharedPath("testimages/" + row.file));
      loaded = true;
    } catch (const InvalidImageError& e) {
      EXPECT_STREQ(e.what(), "Metafile is not valid");
    }
    if (row.expected == "loads") {
      EXPECT_TRUE(loaded);
    }
    if (row.expected.rfind("must fail", 0) == 0) {
      EXPECT_FALSE(loaded);
    }
    if (!loaded) continue;
    EXPECT_EQ(m.Width(), row.width);
    EXPECT_EQ(m.Height(), row.height);

    if (m.Width() <= 1400 && m.Height() <= 1400) {
      Canvas full(m.Width(), m.Height(), 0xFFFFFFFF);
      DrawUpToText(m, full.Surface(), Rect{0, 0, m.Width(), m.Height()});
    }
    // A margin of untouched pixels around the rectangle shows nothing is drawn outside it.
    Canvas small(64, 48, 0xFF00FF00);
    DrawUpToText(m, small.Surface(), Rect{4, 4, 60, 44});
    for (int y = 0; y < small.height; ++y)
      for (int x = 0; x < small.width; ++x)
        if (x < 4 || y < 4 || x >= 60 || y >= 44) {
          ASSERT_EQ(small.At(x, y), 0xFF00FF00u);
        }
  }
  EXPECT_GT(seen, 0);
}

// Samples whose drawing is known to hold visible vector shapes leave marks on the canvas.
TEST(MetafileSamples, VectorSamplesDrawSomething) {
  REQUIRE_SHARED_SAMPLES();
  for (const char* file : {"emf/pil_drawing.emf", "emf/e2s_test-008.emf", "emf/e2s_test-104.emf",
                           "emf/e2s_test-123.emf", "emf/e2s_test-061.emf", "wmf/pil_drawing.wmf",
                           "wmf/libwmf_sample2.wmf", "wmf/libwmf_anim0002.wmf", "wmf/im_clock.wmf",
                           "wmf/libwmf_2doorvan.wmf"}) {
    SCOPED_TRACE(file);
    MetafileGraphic m;
    m.LoadFromFile(SharedPath(std::string("testimages/") + file));
    Canvas canvas(std::min(m.Width(), 400), std::min(m.Height(), 400), 0xFFFFFFFF);
    DrawUpToText(m, canvas.Surface(), Rect{0, 0, canvas.width, canvas.height});
    EXPECT_LT(canvas.Count(0xFFFFFFFF), canvas.width * canvas.height * 99 / 100);
  }
}

}  // namespace
}  // namespace tessane::test
