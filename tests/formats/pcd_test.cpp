#include "formats/pcd/pcd_graphic.h"

#include <gtest/gtest.h>

#include <functional>

#include "formats/reference_pixels.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected PCD image format.";

constexpr size_t kBase = 0x30000;
constexpr size_t kPair = 768 * 3;  // two luma rows and a row of each chroma

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<PcdGraphic>(bytes);
}

// An image pack whose base image has luma(x, y) and chroma c1(cx, cy), c2(cx, cy) per 2 x 2 block.
std::vector<uint8_t> Pcd(int orientation, const std::function<uint8_t(int, int)>& luma,
                         const std::function<uint8_t(int, int)>& c1 = nullptr,
                         const std::function<uint8_t(int, int)>& c2 = nullptr) {
  std::vector<uint8_t> f(kBase + kPair * 256, 0);
  const char signature[] = "PCD_IPI";
  std::copy(signature, signature + 7, f.begin() + 0x800);
  f[0xE02] = static_cast<uint8_t>(orientation);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 768; ++x) f[kBase + (y / 2) * kPair + (y % 2) * 768 + x] = luma(x, y);
  for (int cy = 0; cy < 256; ++cy)
    for (int cx = 0; cx < 384; ++cx) {
      f[kBase + cy * kPair + 1536 + cx] = c1 ? c1(cx, cy) : 156;
      f[kBase + cy * kPair + 1920 + cx] = c2 ? c2(cx, cy) : 137;
    }
  return f;
}

uint32_t Rgb(uint8_t y, uint8_t c1, uint8_t c2) {
  uint8_t r, g, b;
  PhotoYccToRgb(y, c1, c2, r, g, b);
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

TEST(PcdTest, PhotoYccConversion) {
  struct Case {
    uint8_t y, c1, c2;
    uint32_t rgb;
  } cases[] = {
      {100, 156, 137, 0xFF888888u},  // neutral chroma: grey of 1.3584 x luma
      {0, 156, 137, 0xFF000000u},
      {255, 156, 137, 0xFFFFFFFFu},  // highlights beyond white are clipped
      {100, 200, 137, 0xFF8875E9u},  // more blue
      {100, 156, 180, 0xFFD66088u},  // more red
      {0, 0, 255, 0xFFD70000u},      // negative results are clipped to 0
  };
  for (const Case& c : cases)
    EXPECT_EQ(Rgb(c.y, c.c1, c.c2), c.rgb) << int(c.y) << " " << int(c.c1) << " " << int(c.c2);
}

TEST(PcdTest, BaseImageLayout) {
  // Luma varies per pixel and row; chroma block (1, 0) is bluer than the rest.
  auto luma = [](int x, int y) { return static_cast<uint8_t>((x + 3 * y) % 180); };
  auto c1 = [](int cx, int cy) { return static_cast<uint8_t>(cx == 1 && cy == 0 ? 200 : 156); };
  const auto bitmap = Load(Pcd(0, luma, c1));
  EXPECT_EQ(bitmap->PixelFormat(), DibFormat::k24Bit);
  ASSERT_EQ(bitmap->Width(), 768);
  ASSERT_EQ(bitmap->Height(), 512);
  EXPECT_EQ(PixelAt(*bitmap, 10, 7), Rgb(luma(10, 7), 156, 137));
  EXPECT_EQ(PixelAt(*bitmap, 767, 511), Rgb(luma(767, 511), 156, 137));
  // Chroma samples sit on even pixels; the pixels between take the mean of their neighbours.
  EXPECT_EQ(PixelAt(*bitmap, 2, 0), Rgb(luma(2, 0), 200, 137));
  EXPECT_EQ(PixelAt(*bitmap, 3, 0), Rgb(luma(3, 0), 178, 137));
  EXPECT_EQ(PixelAt(*bitmap, 2, 1), Rgb(luma(2, 1), 178, 137));
  EXPECT_EQ(PixelAt(*bitmap, 3, 1), Rgb(luma(3, 1), 167, 137));
  EXPECT_EQ(PixelAt(*bitmap, 5, 0), Rgb(luma(5, 0), 156, 137));
}

TEST(PcdTest, OrientationTurnsThePicture) {
  // A white mark at the stored top-left corner.
  auto luma = [](int x, int y) { return static_cast<uint8_t>(x == 0 && y == 0 ? 255 : 0); };
  struct Case {
    int orientation;
    int32_t width, height, mark_x, mark_y;
  } cases[] = {
      {0, 768, 512, 0, 0}, {1, 512, 768, 0, 767}, {2, 768, 512, 767, 511}, {3, 512, 768, 511, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation);
    const auto bitmap = Load(Pcd(c.orientation, luma));
    ASSERT_EQ(bitmap->Width(), c.width);
    ASSERT_EQ(bitmap->Height(), c.height);
    EXPECT_EQ(PixelAt(*bitmap, c.mark_x, c.mark_y), 0xFFFFFFFFu);
  }
}

TEST(PcdTest, BadFilesFailWithTheirMessage) {
  const auto good = Pcd(0, [](int, int) { return uint8_t{50}; });
  auto without_signature = good;
  without_signature[0x800] = 'X';
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } cases[] = {
      {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 0x900), kReadError},
      {"no signature", without_signature, kInvalid},
      {"base image cut short", std::vector<uint8_t>(good.begin(), good.end() - 1), kReadError},
  };
  ExpectFailedLoadsLeaveNothing<PcdGraphic>(good, cases);
}

TEST(PcdTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("pcd", Load, {kReadError, kInvalid});
}

TEST(PcdTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("pcd", Load, {kReadError, kInvalid},
                      [](const std::vector<uint8_t>&) { return kBase + kPair * 256; });
}

TEST(PcdTest, AgreesWithPillowOnTheSample) {
  REQUIRE_SHARED_SAMPLES();
  std::string python;
  for (const char* candidate : {"/usr/bin/python3", "python3"})
    if (RunQuietly(std::string(candidate) + " -c 'import PIL'")) {
      python = candidate;
      break;
    }
  if (python.empty()) GTEST_SKIP() << "no Python with Pillow";
  TempDir dir;
  const std::string sample = SharedPath("testimages/pcd/pil_hopper.pcd");
  const std::string png = dir.File("pillow.png");
  ASSERT_TRUE(RunQuietly(python +
                         " -c 'import sys; from PIL import Image; "
                         "Image.open(sys.argv[1]).convert(\"RGBA\").save(sys.argv[2])' '" +
                         sample + "' '" + png + "'"));
  // Pillow widens chroma and clips highlights its own way: close on average, not pixel for pixel.
  const auto bitmap = Load(ReadBytes(sample));
  const Difference d = Compare(FromBitmap(*bitmap), LoadReference(png));
  ASSERT_GE(d.max, 0) << "sizes differ";
  EXPECT_LT(d.mean, 4.0);
}

}  // namespace
}  // namespace tessane::test
