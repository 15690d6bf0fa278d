// JPEG pictures: the public samples against their references, header-only loading, decoding
// scales and the sizes they report, and the writer (byte for byte what cjpeg makes).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "base/errors.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/reference_pixels.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::Pixels;

// A 32-bit picture with smooth and sharp parts and an alpha byte the writer must drop.
DibImage Pattern(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k32Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 4 * x;
      p[0] = static_cast<uint8_t>(((x ^ y) * 5) & 0xFF);
      p[1] = static_cast<uint8_t>((x * y) & 0xFF);
      p[2] = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
      p[3] = static_cast<uint8_t>(x * 31 + y);
    }
  return b;
}

std::vector<uint8_t> Encode(const DibImage& bitmap, int quality = 75) {
  JpegGraphic jpeg;
  jpeg.SetQuality(quality);
  jpeg.Assign(bitmap);
  MemoryStream out;
  jpeg.SaveToStream(out);
  return out.Bytes();
}

std::unique_ptr<JpegGraphic> Load(const std::vector<uint8_t>& bytes) {
  auto jpeg = std::make_unique<JpegGraphic>();
  ReadOnlyMemoryStream in(bytes.data(), bytes.size());
  jpeg->LoadFromStream(in);
  return jpeg;
}

TEST(JpegSamples, DecodeLikeTheReferences) {
  REQUIRE_SHARED_SAMPLES();
  int compared = 0;
  for (const test::ManifestRow& row : test::RowsOf("jpeg")) {
    SCOPED_TRACE(row.file);
    JpegGraphic jpeg;
    std::string error;
    Pixels drawn;
    try {
      jpeg.LoadFromFile(test::SharedPath("testimages/" + row.file));
      drawn = test::Render(jpeg, jpeg.Width(), jpeg.Height(), 0);
    } catch (const InvalidImageError& e) {
      error = e.what();
    }
    if (!error.empty()) {
      EXPECT_NE(row.expected, "loads") << error;
      EXPECT_EQ(error.rfind("JPEG error #", 0), 0u) << error;
      continue;
    }
    if (row.width > 0) {
      EXPECT_EQ(jpeg.Width(), row.width);
      EXPECT_EQ(jpeg.Height(), row.height);
    }
    if (row.expected != "loads" || !test::HasReference(row)) continue;
    // The references come from the integer inverse DCT; ours is the floating-point one, a few
    // levels away at most.
    const Pixels reference = test::LoadReference(test::SharedPath("testimages/" + row.reference));
    const test::Difference d = test::Compare(drawn, reference);
    EXPECT_GE(d.max, 0);
    EXPECT_LE(d.max, 4) << "at " << d.x << "," << d.y;
    EXPECT_LT(d.mean, 0.25);
    ++compared;
  }
  EXPECT_GT(compared, 15);
}

// Adobe CMYK files store inverted inks; decoded right they look like the RGB version.
TEST(JpegSamples, CmykDecodesToTheColoursOfTheRgbVersion) {
  REQUIRE_SHARED_SAMPLES();
  JpegGraphic cmyk, rgb;
  cmyk.LoadFromFile(test::SharedPath("testimages/jpeg/pil_pil_sample_cmyk.jpg"));
  rgb.LoadFromFile(test::SharedPath("testimages/jpeg/pil_pil_sample_rgb.jpg"));
  const test::Difference d =
      test::Compare(test::Render(cmyk, 100, 100, 0), test::Render(rgb, 100, 100, 0));
  EXPECT_GE(d.max, 0);
  EXPECT_LT(d.mean, 8.0);
}

TEST(Jpeg, GreyFilesDrawAsGreyRgb) {
  REQUIRE_SHARED_SAMPLES();
  JpegGraphic jpeg;
  jpeg.LoadFromFile(test::SharedPath("testimages/jpeg/pil_hopper_gray.jpg"));
  EXPECT_TRUE(jpeg.Grayscale());
  const Pixels p = test::Render(jpeg, jpeg.Width(), jpeg.Height(), 0);
  for (uint32_t c : p.argb) {
    ASSERT_EQ(c >> 24, 0xFFu);
    ASSERT_EQ((c >> 16) & 0xFF, c & 0xFF);
    ASSERT_EQ((c >> 8) & 0xFF, c & 0xFF);
  }
}

// Loading reads the header only: a fault in a later scan shows when the picture is first drawn.
TEST(Jpeg, HeaderIsReadAtLoadAndPixelsOnFirstDraw) {
  REQUIRE_SHARED_SAMPLES();
  std::vector<uint8_t> bytes =
      test::ReadBytes(test::SharedPath("testimages/jpeg/irs_progressive_test.jpg"));
  size_t scans = 0;
  for (size_t i = 2; i + 5 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA && ++scans == 2) {
      bytes[i + 5] = 0x7F;  // the second scan names a component the frame does not have
      break;
    }
  ASSERT_EQ(scans, 2u);
  auto jpeg = Load(bytes);
  EXPECT_EQ(jpeg->Width(), 32);
  EXPECT_EQ(jpeg->Height(), 23);
  EXPECT_TRUE(jpeg->ProgressiveEncoding());
  try {
    test::Render(*jpeg, 32, 23, 0);
    FAIL() << "drawn";
  } catch (const InvalidImageError& e) {
    EXPECT_EQ(std::string(e.what()), "JPEG error #" + std::to_string(JERR_BAD_COMPONENT_ID) +
                                         ": Invalid component ID 127 in SOS");
  }
}

// The number, and the library's own words for it.
TEST(Jpeg, ErrorsCarryTheLibraryMessageNumber) {
  const std::vector<uint8_t> notJpeg = {'B', 'M', 0, 0, 0, 0};
  JpegGraphic jpeg;
  ReadOnlyMemoryStream in(notJpeg.data(), notJpeg.size());
  try {
    jpeg.LoadFromStream(in);
    FAIL() << "loaded";
  } catch (const InvalidImageError& e) {
    EXPECT_EQ(std::string(e.what()),
              "JPEG error #" + std::to_string(JERR_NO_SOI) + ": Not a JPEG file: starts with 0x42 0x4d");
  }
  EXPECT_EQ(jpeg.Width(), 0);

  // A frame header beyond the picture limits is refused at load.
  std::vector<uint8_t> big = Encode(Pattern(8, 8));
  for (size_t i = 2; i + 8 < big.size(); ++i)
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = big[i + 7] = 0xFF;  // 65 000 x 65 000
      big[i + 6] = big[i + 8] = 0xE8;
      break;
    }
  ReadOnlyMemoryStream bigIn(big.data(), big.size());
  EXPECT_THROW(jpeg.LoadFromStream(bigIn), InvalidImageError);
}

TEST(Jpeg, EmptyFileIsAnEmptyPicture) {
  auto jpeg = Load({});
  EXPECT_EQ(jpeg->Width(), 0);
  EXPECT_EQ(jpeg->Height(), 0);
  Pixels target{2, 2, std::vector<uint32_t>(4, 7)};
  jpeg->Draw(ArgbView{target.argb.data(), 2, 2, 2}, Rect{0, 0, 2, 2});
  EXPECT_EQ(target.argb, std::vector<uint32_t>(4, 7));
}

std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> bytes, uint16_t w, uint16_t h) {
  for (size_t i = 2; i + 8 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = static_cast<uint8_t>(h >> 8);
      bytes[i + 6] = static_cast<uint8_t>(h);
      bytes[i + 7] = static_cast<uint8_t>(w >> 8);
      bytes[i + 8] = static_cast<uint8_t>(w);
      break;
    }
  return bytes;
}

// Scaled sizes are rounded up; the decoded pixels have exactly the reported size, and changing
// the scale drops pixels decoded at another one.
TEST(Jpeg, DecodingScales) {
  const struct {
    JpegScale scale;
    int32_t w4001, h3001, w33, h17;
  } cases[] = {
      {JpegScale::kFullSize, 4001, 3001, 33, 17},
      {JpegScale::kHalf, 2001, 1501, 17, 9},
      {JpegScale::kQuarter, 1001, 751, 9, 5},
      {JpegScale::kEighth, 501, 376, 5, 3},
  };
  const std::vector<uint8_t> small = Encode(Pattern(33, 17), 95);
  auto large = Load(WithFrameSize(small, 4001, 3001));
  auto jpeg = Load(small);
  const Pixels full = test::Render(*jpeg, 33, 17, 0);
  for (const auto& c : cases) {
    large->SetScale(c.scale);
    EXPECT_EQ(large->Width(), c.w4001);
    EXPECT_EQ(large->Height(), c.h3001);
    jpeg->SetScale(c.scale);
    EXPECT_EQ(jpeg->Scale(), c.scale);
    ASSERT_EQ(jpeg->Width(), c.w33);
    ASSERT_EQ(jpeg->Height(), c.h17);
    // One pixel more than the picture on each side: that border must stay untouched.
    Pixels target{c.w33 + 1, c.h17 + 1,
                  std::vector<uint32_t>(static_cast<size_t>(c.w33 + 1) * (c.h17 + 1), 0x12345678u)};
    jpeg->Draw(ArgbView{target.argb.data(), c.w33 + 1, c.h17 + 1, c.w33 + 1},
               Rect{0, 0, c.w33, c.h17});
    EXPECT_EQ(target.At(c.w33, c.h17), 0x12345678u);
    EXPECT_EQ(target.At(c.w33, 0), 0x12345678u);
    EXPECT_EQ(target.At(0, c.h17), 0x12345678u);
    EXPECT_EQ(target.At(c.w33 - 1, c.h17 - 1) >> 24, 0xFFu);
  }
  // Back at full size the picture is decoded again at full size.
  jpeg->SetScale(JpegScale::kFullSize);
  EXPECT_EQ(test::Compare(test::Render(*jpeg, 33, 17, 0), full, true).max, 0);
  // An eighth of the pattern is close to the average of each 8 x 8 block.
  jpeg->SetScale(JpegScale::kEighth);
  const Pixels eighth = test::Render(*jpeg, 5, 3, 0);
  uint32_t sum = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) sum += (full.At(x, y) >> 16) & 0xFF;
  EXPECT_NEAR(static_cast<int>((eighth.At(0, 0) >> 16) & 0xFF), static_cast<int>(sum / 64), 12);
}

TEST(JpegWriter, WritesABaselineJfifFile) {
  const std::vector<uint8_t> f = Encode(Pattern(16, 8));
  ASSERT_GT(f.size(), 20u);
  EXPECT_EQ(f[0], 0xFF);
  EXPECT_EQ(f[1], 0xD8);
  // APP0: "JFIF", version 1.01, density unit 0, density 1 x 1.
  EXPECT_EQ(
      std::vector<uint8_t>(f.begin() + 2, f.begin() + 20),
      (std::vector<uint8_t>{0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
  bool baselineFrame = false;
  for (size_t i = 0; i + 1 < f.size(); ++i) baselineFrame |= f[i] == 0xFF && f[i + 1] == 0xC0;
  EXPECT_TRUE(baselineFrame);
  // It decodes back to the picture (without its alpha), within what quality 75 loses.
  auto back = Load(f);
  DibImage original = Pattern(16, 8);
  original.SetPixelFormat(DibFormat::k24Bit);
  const test::Difference d =
      test::Compare(test::Render(*back, 16, 8, 0), test::FromBitmap(original));
  EXPECT_LT(d.mean, 12.0);
}

TEST(JpegWriter, WritesNothingForAnEmptyBitmapAndKeepsLoadedBytes) {
  DibImage empty;
  EXPECT_TRUE(Encode(empty).empty());
  JpegGraphic nothing;
  MemoryStream out;
  nothing.SaveToStream(out);
  EXPECT_TRUE(out.Bytes().empty());

  const std::vector<uint8_t> bytes = Encode(Pattern(9, 9));
  auto loaded = Load(bytes);
  MemoryStream again;
  loaded->SaveToStream(again);
  EXPECT_EQ(again.Bytes(), bytes);
}

bool HaveCjpeg() {
  return std::system("command -v cjpeg > /dev/null 2>&1") == 0;
}

// Quality 75, baseline, floating-point DCT: the same bytes libjpeg's own encoder makes.
TEST(JpegWriter, MatchesCjpegByteForByte) {
  if (!HaveCjpeg()) GTEST_SKIP() << "cjpeg is not installed";
  test::TempDir dir;
  for (const auto& [w, h] : {std::pair{61, 47}, std::pair{1, 1}, std::pair{300, 17}}) {
    const DibImage bitmap = Pattern(w, h);
    std::vector<uint8_t> ppm;
    const std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    ppm.insert(ppm.end(), head.begin(), head.end());
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* p = bitmap.ScanLine(y) + 4 * x;
        ppm.insert(ppm.end(), {p[2], p[1], p[0]});
      }
    test::WriteBytes(dir.File("in.ppm"), ppm);
    const std::string command = "cjpeg -quality 75 -baseline -dct float -outfile '" +
                                dir.File("out.jpg") + "' '" + dir.File("in.ppm") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Encode(bitmap, 75), test::ReadBytes(dir.File("out.jpg"))) << w << " x " << h;
  }
}

}  // namespace
}  // namespace tessane
