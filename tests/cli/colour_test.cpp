// --colour srgb: wide-gamut sources (JPEG, PNG, TIFF tagged Display P3 by ImageMagick) come out as
// Little CMS's own transform gives them, CMYK and YCCK JPEGs through their profile's inks, a
// background keeps its colour, the converted profile leaves the metadata, an unusable profile
// is a warning; without the option, or without a profile, nothing changes.

#include <gtest/gtest.h>
#include <lcms2.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "base/paths.h"
#include "base/stream.h"
#include "cli/batch_runner.h"
#include "cli/exif_fixture.h"
#include "cli/png_fixture.h"
#include "formats/metadata/icc_profile.h"
#include "formats/metadata/metadata.h"
#include "formats/picture.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane::cli {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

struct Pixels {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> argb;
};

/// A file's pixels as the job's own readers decode them, without any colour conversion.
Pixels Decode(const std::string& path) {
  Picture picture;
  picture.LoadPicture(path);
  ArgbImage b;
  PictureToArgb(picture, b);
  return Pixels{b.Width(), b.Height(), std::vector<uint32_t>(b.Bits(), b.Bits() + size_t(b.Width()) * b.Height())};
}

/// Runs the source through tessane-cli unscaled (-p 100, no filter) into a PNG in `folder`.
FileResult Convert(const std::string& source, const std::string& folder, bool colour,
                    bool keepMetadata = false, std::optional<uint32_t> background = {},
                    bool strict = false, const std::string& ext = ".png") {
  CliOptions o;
  o.paths = {source};
  o.dest_folder = folder;
  o.output_ext = ext;
  o.size_mode = 3;
  o.size = 100;
  o.filter = Filter::kNone;
  o.colour_srgb = colour;
  o.keep_metadata = keepMetadata;
  o.background = background;
  o.strict = strict;
  o.overwrite = true;
  o.quiet = true;
  BatchRunner runner(o);
  fs::create_directories(folder);
  return runner.ProcessOne(source);
}

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
  void operator()(void* t) const { cmsDeleteTransform(t); }
};

/// Little CMS's own transform of `count` pixels of `input` format into sRGB BGRA.
std::vector<uint32_t> LcmsToSrgb(const std::string& profilePath, cmsUInt32Number input,
                                 const void* pixels, size_t count) {
  const std::unique_ptr<void, ProfileCloser> profile(cmsOpenProfileFromFile(profilePath.c_str(), "r"));
  const std::unique_ptr<void, ProfileCloser> srgb(cmsCreate_sRGBProfile());
  const std::unique_ptr<void, TransformDeleter> transform(cmsCreateTransform(
      profile.get(), input, srgb.get(), TYPE_BGRA_8, INTENT_PERCEPTUAL, 0));
  std::vector<uint32_t> out(count, 0);
  if (!transform) return {};
  cmsDoTransform(transform.get(), pixels, out.data(), static_cast<cmsUInt32Number>(count));
  return out;
}

int MaxColourDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size() || a.empty()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int shift = 0; shift < 24; shift += 8)
      worst = std::max(worst, std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)));
  return worst;
}

TEST(ColourSrgb, WideGamutPixelsAreLittleCmsOwnTransform) {
  TempDir dir;
  for (const char* name : {"p3_ramp.jpg", "p3_ramp.png", "p3_ramp.tif"}) {
    SCOPED_TRACE(name);
    const std::string source = test::DataPath(std::string("colour/") + name);
    const Pixels stored = Decode(source);
    ASSERT_EQ(stored.width, 48);
    const std::vector<uint32_t> want = LcmsToSrgb(test::DataPath("colour/display_p3.icc"),
                                                  TYPE_BGRA_8, stored.argb.data(),
                                                  stored.argb.size());
    const FileResult r = Convert(source, dir.File("srgb"), true);
    ASSERT_EQ(r.status, FileStatus::kWritten) << r.message;
    const Pixels converted = Decode(r.dest);
    EXPECT_LE(MaxColourDifference(converted.argb, want), 1);
    // Saturated P3 colours lie well outside sRGB's: the conversion shows.
    EXPECT_GT(MaxColourDifference(converted.argb, stored.argb), 20);

    // Without the option the pixels stay as stored.
    const FileResult plain = Convert(source, dir.File("plain"), false);
    EXPECT_EQ(Decode(plain.dest).argb, stored.argb);
  }
}

/// The inks of a CMYK JPEG read with libjpeg itself, 0 = no ink: files with Adobe's marker
/// store them inverted.
std::vector<uint8_t> JpegInks(const std::string& path, int* width, int* height) {
  const Bytes file = test::ReadBytes(path);
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_CMYK;
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  jpeg_start_decompress(&cinfo);
  *width = static_cast<int>(cinfo.output_width);
  *height = static_cast<int>(cinfo.output_height);
  std::vector<uint8_t> inks(size_t(*width) * *height * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = inks.data() + size_t(cinfo.output_scanline) * *width * 4;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  const bool inverted = cinfo.saw_Adobe_marker;
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (inverted)
    for (uint8_t& ink : inks) ink = uint8_t(255 - ink);
  return inks;
}

TEST(ColourSrgb, CmykAndYcckJpegsGoThroughTheirProfilesInks) {
  TempDir dir;
  // Pillow stores plain CMYK, ImageMagick YCCK; both with Adobe's marker, inverted.
  for (const char* name : {"cmyk_adobe_profile.jpg", "cmyk_ycck_profile.jpg"}) {
    SCOPED_TRACE(name);
    const std::string source = test::DataPath(std::string("colour/") + name);
    int w = 0, h = 0;
    const std::vector<uint8_t> inks = JpegInks(source, &w, &h);
    const std::vector<uint32_t> want =
        LcmsToSrgb(test::DataPath("colour/test_cmyk.icc"), TYPE_CMYK_8, inks.data(), inks.size() / 4);
    const FileResult r = Convert(source, dir.File("srgb"), true);
    ASSERT_EQ(r.status, FileStatus::kWritten) << r.message;
    const Pixels converted = Decode(r.dest);
    ASSERT_EQ(converted.width, w);
    EXPECT_LE(MaxColourDifference(converted.argb, want), 1);
    // The profile's paper and dot gain darken what the plain inversion gives: the inks were
    // read the right way round.
    const Pixels plain = Decode(Convert(source, dir.File("plain"), false).dest);
    for (size_t i = 0; i < plain.argb.size(); i += 97)
      for (int shift = 0; shift < 24; shift += 8)
        EXPECT_LE((converted.argb[i] >> shift) & 0xFF, ((plain.argb[i] >> shift) & 0xFF) + 2) << i;
  }
}

TEST(ColourSrgb, SourcesWithoutAProfileAreWrittenAsWithoutTheOption) {
  REQUIRE_SHARED_SAMPLES();
  TempDir dir;
  // A YCCK JPEG without a profile keeps the plain inversion; an RGB JPEG and a PNG stay as stored.
  for (const char* name : {"jpeg/pil_pil_sample_cmyk.jpg", "jpeg/ljt_testorig.jpg",
                           "png/pngsuite_basn2c08.png"}) {
    SCOPED_TRACE(name);
    const std::string source = test::SharedPath(std::string("testimages/") + name);
    for (const std::string ext : {".png", ".jpg"}) {
      const FileResult with = Convert(source, dir.File("with"), true, false, {}, false, ext);
      const FileResult without = Convert(source, dir.File("without"), false, false, {}, false, ext);
      ASSERT_EQ(with.status, FileStatus::kWritten) << with.message;
      EXPECT_EQ(test::ReadBytes(with.dest), test::ReadBytes(without.dest));
    }
  }
}

TEST(ColourSrgb, KeepMetadataDropsTheProfileOnlyWhenThePixelsWereConverted) {
  TempDir dir;
  const std::string source = test::DataPath("colour/p3_ramp.jpg");
  auto iccOf = [](const std::string& path) {
    FileStream s(path, FileMode::kOpenRead);
    return AssembleIccProfile(ReadJpegMetadata(s).icc);
  };
  const FileResult converted = Convert(source, dir.File("a"), true, true, {}, false, ".jpg");
  EXPECT_TRUE(iccOf(converted.dest).empty());
  const FileResult kept = Convert(source, dir.File("b"), false, true, {}, false, ".jpg");
  EXPECT_EQ(iccOf(kept.dest), test::ReadBytes(test::DataPath("colour/display_p3.icc")));
}

TEST(ColourSrgb, ABackgroundComesOutInTheColourAsked) {
  TempDir dir;
  // A P3-tagged PNG whose left half is fully transparent.
  std::vector<uint8_t> rgba;
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) rgba.insert(rgba.end(), {250, 40, 20, uint8_t(x < 4 ? 0 : 255)});
  SourceMetadata icc;
  const Bytes profile = test::ReadBytes(test::DataPath("colour/display_p3.icc"));
  icc.icc = {test::IccChunk(1, 1, std::string(profile.begin(), profile.end()))};
  const std::string source = dir.File("tagged.png");
  test::WriteBytes(source, SplicePngMetadata(test::RgbaPng(8, 4, rgba), {}, icc));
  ASSERT_EQ(PngIccProfile(test::ReadBytes(source)), profile);

  for (const uint32_t background : {0xFFFFFFu, 0x2060C0u, 0x00FF00u}) {
    SCOPED_TRACE(background);
    const FileResult r = Convert(source, dir.File("out"), true, false, background);
    ASSERT_EQ(r.status, FileStatus::kWritten) << r.message;
    const Pixels out = Decode(r.dest);
    // Within the rounding of a round trip through 8-bit P3.
    EXPECT_LE(MaxColourDifference({out.argb[0]}, {background}), 3);
  }
}

TEST(ColourSrgb, AnUnusableProfileIsAWarningAndStrictFailsOnIt) {
  TempDir dir;
  const std::string source = dir.File("bad.jpg");
  // The ramp with its profile replaced by bytes that are no profile: every APP2 segment dropped,
  // a bad one put in.
  const Bytes jpeg = test::ReadBytes(test::DataPath("colour/p3_ramp.jpg"));
  Bytes bare(jpeg.begin(), jpeg.begin() + 2);
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
    const size_t n = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
    if (jpeg[at + 1] != 0xE2) bare.insert(bare.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + n);
    at += 2 + n;
  }
  bare.insert(bare.end(), jpeg.begin() + at, jpeg.end());
  test::WriteBytes(source, test::WithSegments(
                               bare, test::Segment(0xE2, test::IccChunk(1, 1, std::string(300, 'x')))));
  const FileResult warned = Convert(source, dir.File("out"), true);
  EXPECT_EQ(warned.status, FileStatus::kWrittenWithWarnings);
  EXPECT_EQ(warned.message, "Colour profile not applied: the embedded ICC profile cannot be read");
  EXPECT_EQ(Decode(warned.dest).argb, Decode(source).argb);

  const FileResult strict = Convert(source, dir.File("strict"), true, false, {}, true);
  EXPECT_EQ(strict.status, FileStatus::kFailed);
  EXPECT_FALSE(fs::exists(dir.File("strict/bad.png")));
}

TEST(ColourSrgb, ProfileReadersGiveNothingForDamagedFiles) {
  const Bytes png = test::ReadBytes(test::DataPath("colour/p3_ramp.png"));
  const Bytes tiff = test::ReadBytes(test::DataPath("colour/p3_ramp.tif"));
  const Bytes profile = test::ReadBytes(test::DataPath("colour/display_p3.icc"));
  ASSERT_EQ(PngIccProfile(png), profile);
  ASSERT_EQ(TiffIccProfile(tiff), profile);
  // Every cut of the files, and the files with bytes turned over, read as nothing or as a
  // profile, never beyond the data (the sanitizer build watches).
  for (size_t n = 0; n < png.size(); n += 7) PngIccProfile(Bytes(png.begin(), png.begin() + n));
  for (size_t n = 0; n < tiff.size(); n += 7) TiffIccProfile(Bytes(tiff.begin(), tiff.begin() + n));
  for (size_t i = 8; i < 200 && i < tiff.size(); ++i) {
    Bytes t = tiff, p = png;
    t[i] ^= 0xFF;
    if (i < p.size()) p[i] ^= 0xFF;
    TiffIccProfile(t);
    PngIccProfile(p);
  }
  EXPECT_TRUE(PngIccProfile(Bytes(png.begin(), png.begin() + 60)).empty());
}

}  // namespace
}  // namespace tessane::cli
