// Phone photos through a plain run and the metadata options: upright by their orientation tag,
// their colour profile kept (or converted with --colour srgb, or left out with --strip), their
// EXIF, XMP and capture date carried from every format that has them.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cli/batch_fixture.h"
#include "cli/exif_fixture.h"
#include "formats/command_line_formats.h"
#include "formats/picture.h"
#include "pixels/argb_image.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

struct Loaded {
  int32_t width = 0, height = 0;
  PictureFacts facts;
  std::vector<Argb32> pixels;
};

Loaded Load(const std::string& path) {
  RegisterCommandLineFormats();
  Picture picture;
  picture.LoadPicture(path);
  Loaded l{picture.Width(), picture.Height(), picture.graphic()->Facts(), {}};
  ArgbImage image;
  PictureToArgb(picture, image);
  l.pixels.assign(image.Bits(), image.Bits() + size_t(image.Width()) * image.Height());
  return l;
}

std::string Only(const std::string& folder) {
  const std::vector<std::string> names = Names(folder);
  EXPECT_EQ(names.size(), 1u) << folder;
  return names.empty() ? folder : folder + "/" + names.front();
}

std::string RunTo(TempDir& dir, const std::string& source, std::vector<std::string> options) {
  static int n = 0;
  const std::string out = dir.File("out" + std::to_string(n++));
  options.insert(options.end(), {"-d", out, source});
  const RunOutput r = RunBatch(Options(options));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
  return Only(out);
}

// A JPEG stored sideways with orientation 6 comes out upright by default, as with
// --auto-orient; --no-auto-orient keeps the stored order.
TEST(CliPhonePhotos, TurnedPicturesComeOutUprightByDefault) {
  TempDir dir;
  const std::string source = dir.File("turned.jpg");
  WriteJpeg(source, 900, 500);
  test::WriteBytes(source, test::WithSegments(test::ReadBytes(source),
                                              test::Segment(0xE1, test::BuildExif(false, 6))));
  struct Case {
    std::vector<std::string> options;
    int32_t width, height;
  };
  const Case cases[] = {{{}, 355, 640},
                        {{"--auto-orient"}, 355, 640},
                        {{"--no-auto-orient"}, 640, 355},
                        {{"-f", "png"}, 355, 640},
                        {{"--keep-metadata"}, 355, 640}};
  for (const Case& c : cases) {
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"-s", "640"});
    const Loaded out = Load(RunTo(dir, source, options));
    EXPECT_EQ(std::make_pair(out.width, out.height), std::make_pair(c.width, c.height))
        << testing::PrintToString(c.options);
    // Kept EXIF says the pixels are upright now.
    if (!out.facts.metadata.exif.empty()) {
      EXPECT_EQ(out.facts.orientation, 1);
    }
  }
  EXPECT_FALSE(Parse({"--auto-orient", "--no-auto-orient", "x.jpg"}).options);
}

// The source's profile goes with its pixels into every output that holds one, the pixels as
// they are without it; --strip writes none, --colour srgb converts and writes none.
TEST(CliPhonePhotos, ProfilesStayWithTheirPixelsByDefault) {
  TempDir dir;
  const std::vector<uint8_t> p3 = test::ReadBytes(test::DataPath("colour/display_p3.icc"));
  for (const char* fixture : {"colour/p3_ramp.jpg", "colour/p3_ramp.png", "phone/phone.heic",
                              "phone/phone.webp", "phone/phone.jxl"}) {
    const std::string source = test::DataPath(fixture);
    for (const char* format : {"jpg", "png", "webp", "avif"}) {
      SCOPED_TRACE(std::string(fixture) + " to " + format);
      const std::vector<std::string> common = {"-f", format, "-s", "40", "--quality", "100"};
      auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), common.begin(), common.end());
        return Load(RunTo(dir, source, more));
      };
      const Loaded kept = with({});
      const Loaded stripped = with({"--strip"});
      const Loaded converted = with({"--colour", "srgb"});
      EXPECT_EQ(kept.facts.icc, p3);
      EXPECT_TRUE(stripped.facts.icc.empty());
      EXPECT_TRUE(converted.facts.icc.empty());
      EXPECT_EQ(kept.pixels, stripped.pixels);
      EXPECT_NE(converted.pixels, stripped.pixels);
    }
    // JPEG 2000 holds the profile in its colour box.
    const std::vector<uint8_t> jp2 = test::ReadBytes(RunTo(dir, source, {"-f", "jp2", "-s", "40"}));
    EXPECT_NE(std::search(jp2.begin(), jp2.end(), p3.begin(), p3.end()), jp2.end()) << fixture;
    const std::vector<uint8_t> bare =
        test::ReadBytes(RunTo(dir, source, {"-f", "jp2", "-s", "40", "--strip"}));
    EXPECT_EQ(std::search(bare.begin(), bare.end(), p3.begin(), p3.end()), bare.end()) << fixture;
  }
  EXPECT_FALSE(Parse({"--strip", "--keep-metadata", "x.jpg"}).options);
}

// --keep-metadata carries HEIF, AVIF, JPEG XL and WebP metadata as it carries a JPEG's: the
// EXIF with its date (orientation 1: their pixels come out upright), the XMP, the profile.
TEST(CliPhonePhotos, KeepMetadataCarriesEveryFormatsMetadata) {
  TempDir dir;
  const std::vector<uint8_t> p3 = test::ReadBytes(test::DataPath("colour/display_p3.icc"));
  const std::string date = "2021:07:14 09:30:05";
  const std::string xmp = "xmp:Rating";
  struct Case {
    const char* fixture;
    bool xmp;
  };
  for (const Case& c : {Case{"phone/phone.jpg", false}, Case{"phone/phone.heic", false},
                        Case{"phone/phone.avif", false}, Case{"phone/phone.jxl", false},
                        Case{"phone/phone.webp", true}, Case{"heif/rotated.heic", false}}) {
    const bool phone = std::string(c.fixture).find("phone/") != std::string::npos;
    for (const std::string format : {"jpg", "png", "webp", "avif"}) {
      SCOPED_TRACE(std::string(c.fixture) + " to " + format);
      const std::string output =
          RunTo(dir, test::DataPath(c.fixture), {"-f", format, "-s", "40", "--keep-metadata"});
      // The EXIF and XMP are stored as they are in every one of these outputs.
      const std::vector<uint8_t> bytes = test::ReadBytes(output);
      const auto holds = [&bytes](const std::string& text) {
        return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
      };
      EXPECT_EQ(holds(date), phone);
      EXPECT_EQ(holds(xmp), c.xmp);
      if (format == "png") continue;  // the PNG reader records the profile only
      const Loaded out = Load(output);
      ASSERT_FALSE(out.facts.metadata.exif.empty());
      EXPECT_EQ(out.facts.orientation, 1);
      if (phone) {
        ASSERT_TRUE(out.facts.capture_date);
        EXPECT_EQ(out.facts.capture_date->tm_year, 121);
        EXPECT_EQ(out.facts.icc, p3);
      }
    }
  }
}

// --colour srgb converts a Display P3 HEIC (and the other modern formats) from its profile.
TEST(CliPhonePhotos, ColourSrgbUsesTheProfileOfEveryFormat) {
  TempDir dir;
  for (const char* fixture :
       {"phone/phone.heic", "phone/phone.avif", "phone/phone.jxl", "phone/phone.webp"}) {
    SCOPED_TRACE(fixture);
    const std::string source = test::DataPath(fixture);
    const Loaded plain = Load(RunTo(dir, source, {"-f", "png", "-s", "40", "--strip"}));
    const Loaded converted = Load(RunTo(dir, source, {"-f", "png", "-s", "40", "--colour", "srgb"}));
    ASSERT_EQ(plain.pixels.size(), converted.pixels.size());
    // The green quadrant (top right) is more saturated in sRGB numbers than in P3 ones.
    const size_t at = 5 * 40 + 35;
    EXPECT_LT((converted.pixels[at] >> 16) & 0xFF, (plain.pixels[at] >> 16) & 0xFF);
    EXPECT_NE(plain.pixels, converted.pixels);
  }
}

// {date} names by the EXIF capture date of every format that has one.
TEST(CliPhonePhotos, DateNamesUseTheCaptureDateOfEveryFormat) {
  TempDir dir;
  for (const char* fixture : {"phone/phone.jpg", "phone/phone.heic", "phone/phone.avif",
                              "phone/phone.jxl", "phone/phone.webp"}) {
    const std::string path =
        RunTo(dir, test::DataPath(fixture), {"-f", "jpg", "--name", "{date:%Y/%m}/{name}"});
    EXPECT_NE(path.find("/2021/07/phone.jpg"), std::string::npos) << fixture << ": " << path;
  }
}

}  // namespace
}  // namespace tessane::cli
