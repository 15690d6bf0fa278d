// The bitmap's shortcuts for JPEG and PNG pictures (decoding straight into its buffer, taking
// over decoded pixels) must give exactly what drawing the picture gives, and leave the picture
// usable; the JPEG writer's 32-bit input must give the same file as 24-bit input.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::ReadBytes;
using test::SharedPath;

std::vector<Argb32> PixelsOf(const ArgbImage& bitmap) {
  if (bitmap.IsEmpty()) return {};
  return std::vector<Argb32>(bitmap.Bits(),
                               bitmap.Bits() + size_t(bitmap.Width()) * size_t(bitmap.Height()));
}

template <typename Graphic>
std::unique_ptr<Graphic> Load(const std::string& sample) {
  auto graphic = std::make_unique<Graphic>();
  MemoryStream stream(ReadBytes(SharedPath(sample)));
  graphic->LoadFromStream(stream);
  return graphic;
}

// What the drawn-graphic path gives: the graphic handed to the bitmap directly, not through a
// picture, never takes a shortcut.
template <typename Graphic>
std::vector<Argb32> Drawn(const std::string& sample, JpegScale scale = JpegScale::kFullSize) {
  auto graphic = Load<Graphic>(sample);
  if constexpr (std::is_same_v<Graphic, JpegGraphic>) graphic->SetScale(scale);
  ArgbImage bitmap;
  graphic->DrawToArgb(bitmap);
  return PixelsOf(bitmap);
}

struct JpegCase {
  const char* sample;
  bool direct;  // whether the colour space has the straight path
};

class JpegStraightDecode : public testing::TestWithParam<JpegCase> {};

TEST_P(JpegStraightDecode, GivesTheDrawnPixelsAtEveryScale) {
  REQUIRE_SHARED_SAMPLES();
  const std::string sample = std::string("testimages/jpeg/") + GetParam().sample;
  for (JpegScale scale :
       {JpegScale::kFullSize, JpegScale::kHalf, JpegScale::kQuarter, JpegScale::kEighth}) {
    SCOPED_TRACE(static_cast<int>(scale));
    Picture picture;
    picture.SetGraphic(Load<JpegGraphic>(sample));
    static_cast<JpegGraphic*>(picture.graphic())->SetScale(scale);
    ArgbImage bitmap;
    PictureToArgb(picture, bitmap);
    EXPECT_EQ(bitmap.Width(), picture.Width());
    EXPECT_EQ(bitmap.Height(), picture.Height());
    EXPECT_EQ(PixelsOf(bitmap), Drawn<JpegGraphic>(sample, scale));
  }
  // Whether the straight path exists for this file, and that it leaves the target alone when not.
  auto jpeg = Load<JpegGraphic>(sample);
  std::vector<uint32_t> buffer(size_t(jpeg->Width()) * size_t(jpeg->Height()), 0x12345678u);
  const ArgbView surface{buffer.data(), jpeg->Width(), jpeg->Height(), jpeg->Width()};
  EXPECT_EQ(jpeg->DecodeInto(surface), GetParam().direct);
  if (!GetParam().direct) {
    EXPECT_EQ(buffer.front(), 0x12345678u);
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, JpegStraightDecode,
                         testing::Values(JpegCase{"pil_hopper.jpg", true},
                                         JpegCase{"pil_hopper_gray.jpg", true},
                                         JpegCase{"irs_progressive_cat.jpg", true},
                                         JpegCase{"ljt_testorig.jpg", true},
                                         JpegCase{"pil_pil_sample_cmyk.jpg", false}));

TEST(JpegStraightDecodeRefusals, OtherSizesAndDecodedPicturesTakeTheDrawingPath) {
  REQUIRE_SHARED_SAMPLES();
  auto jpeg = Load<JpegGraphic>("testimages/jpeg/pil_hopper.jpg");
  std::vector<uint32_t> buffer(size_t(jpeg->Width() + 1) * size_t(jpeg->Height()), 7);
  EXPECT_FALSE(jpeg->DecodeInto(
      ArgbView{buffer.data(), jpeg->Width() + 1, jpeg->Height(), jpeg->Width() + 1}));
  // Once drawn, the kept pixels serve: the picture is not decoded a second time.
  jpeg->Draw(ArgbView{buffer.data(), jpeg->Width(), jpeg->Height(), jpeg->Width()},
             Rect{0, 0, jpeg->Width(), jpeg->Height()});
  EXPECT_FALSE(
      jpeg->DecodeInto(ArgbView{buffer.data(), jpeg->Width(), jpeg->Height(), jpeg->Width()}));
}

TEST(JpegStraightDecodeRefusals, UndecodableDataFailsLikeDrawingAndLeavesZeros) {
  REQUIRE_SHARED_SAMPLES();
  // The header reads, the body does not.
  std::vector<uint8_t> bytes = ReadBytes(SharedPath("testimages/jpeg/pil_hopper.jpg"));
  for (size_t i = bytes.size() / 2; i + 2 < bytes.size(); ++i) bytes[i] = 0xFF;
  bytes[bytes.size() / 2 + 1] = 0xC8;  // a marker no decoder accepts inside the scan (JPG)
  auto load = [&] {
    auto jpeg = std::make_unique<JpegGraphic>();
    MemoryStream stream(bytes);
    jpeg->LoadFromStream(stream);
    return jpeg;
  };
  std::string drawnError, directError;
  ArgbImage drawn, direct;
  try {
    auto jpeg = load();
    jpeg->DrawToArgb(drawn);
  } catch (const InvalidImageError& e) {
    drawnError = e.what();
  }
  Picture picture;
  picture.SetGraphic(load());
  try {
    PictureToArgb(picture, direct);
  } catch (const InvalidImageError& e) {
    directError = e.what();
  }
  EXPECT_EQ(directError, drawnError);
  EXPECT_EQ(PixelsOf(direct), PixelsOf(drawn));
}

TEST(JpegWriter, ThirtyTwoBitRowsGiveTheSameFileAsTwentyFourBitRows) {
  // Odd sizes exercise the partial blocks at the right and bottom edges.
  for (const auto& [w, h] : {std::pair{37, 23}, std::pair{1, 1}, std::pair{16, 9}}) {
    SCOPED_TRACE(w);
    std::mt19937 rng(static_cast<uint32_t>(w * 131 + h));
    DibImage b24, b32;
    b24.SetPixelFormat(DibFormat::k24Bit);
    b24.SetSize(w, h);
    b32.SetPixelFormat(DibFormat::k32Bit);
    b32.SetSize(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        // Smooth colour plus noise, and an alpha byte the writer must ignore.
        const uint8_t r = uint8_t(x * 7 + rng() % 9), g = uint8_t(y * 11 + rng() % 5),
                      b = uint8_t(rng());
        uint8_t* p24 = b24.ScanLine(y) + 3 * x;
        p24[0] = b, p24[1] = g, p24[2] = r;
        uint8_t* p32 = b32.ScanLine(y) + 4 * x;
        p32[0] = b, p32[1] = g, p32[2] = r, p32[3] = uint8_t(rng());
      }
    auto encode = [](const DibImage& bitmap) {
      JpegGraphic jpeg;
      jpeg.SetQuality(75);
      jpeg.Assign(bitmap);
      MemoryStream out;
      jpeg.SaveToStream(out);
      return out.TakeBytes();
    };
    const std::vector<uint8_t> from24 = encode(b24);
    ASSERT_GT(from24.size(), 100u);
    EXPECT_EQ(encode(b32), from24);
  }
}

class PngTakeover : public testing::TestWithParam<const char*> {};

TEST_P(PngTakeover, GivesTheDrawnPixelsAndKeepsThePictureUsable) {
  REQUIRE_SHARED_SAMPLES();
  const std::string sample = std::string("testimages/png/") + GetParam();
  Picture picture;
  picture.SetGraphic(Load<PngGraphic>(sample));
  ArgbImage bitmap;
  PictureToArgb(picture, bitmap);
  EXPECT_EQ(PixelsOf(bitmap), Drawn<PngGraphic>(sample));
  // The picture still holds its pixels (decoded again when they were handed over).
  auto* png = static_cast<PngGraphic*>(picture.graphic());
  EXPECT_EQ(png->Pixels(), Load<PngGraphic>(sample)->Pixels());
  ArgbImage again;
  PictureToArgb(picture, again);
  EXPECT_EQ(PixelsOf(again), PixelsOf(bitmap));
}

// Opaque grey, colour and palette pictures are taken over; transparent ones are drawn.
INSTANTIATE_TEST_SUITE_P(Samples, PngTakeover,
                         testing::Values("pngsuite_basn0g08.png", "pngsuite_basn2c08.png",
                                         "pngsuite_basn3p08.png", "pngsuite_basi2c16.png",
                                         "pngsuite_basn6a08.png", "pngsuite_basi4a08.png"));

}  // namespace
}  // namespace tessane
