// HEIF/HEIC, AVIF, WebP and JPEG XL sources through tessane-cli: a folder of phone-style files
// to upright JPEGs, orientation applied exactly once, damaged files reported without output.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/batch_runner.h"
#include "formats/picture.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane::cli {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Output {
  int32_t width = 0, height = 0;
  uint32_t top_left = 0, bottom_right = 0;  // $RRGGBB a few pixels in from the corners
};

Output Read(const std::string& path) {
  Picture picture;
  picture.LoadPicture(path);
  ArgbImage b;
  PictureToArgb(picture, b);
  Output o{b.Width(), b.Height()};
  const int32_t inset = b.Width() / 16;
  o.top_left = b.Bits()[size_t(inset) * b.Width() + inset] & 0xFFFFFF;
  o.bottom_right =
      b.Bits()[size_t(b.Height() - 1 - inset) * b.Width() + (b.Width() - 1 - inset)] & 0xFFFFFF;
  return o;
}

// The fixtures' upright picture has a red quadrant top left and a yellow one bottom right.
bool Upright(const Output& o) {
  const auto channel = [](uint32_t c, int shift) { return (c >> shift) & 0xFF; };
  return o.width == 1024 && o.height == 768 && channel(o.top_left, 16) > 180 &&
         channel(o.top_left, 8) < 90 && channel(o.bottom_right, 16) > 180 &&
         channel(o.bottom_right, 8) > 160 && channel(o.bottom_right, 0) < 110;
}

struct Source {
  const char* fixture;  // under tests/data
  const char* name;     // in the source folder
  bool stored_sideways;  // upright only by an EXIF orientation that --auto-orient applies
};

const Source kSources[] = {
    {"heif/photo.heic", "photo.heic", false},
    {"heif/rotated.heic", "rotated.heic", false},  // rotation property + EXIF orientation 6
    {"heif/alpha.heic", "alpha.heif", false},
    {"avif/photo.avif", "photo.avif", false},
    {"avif/rotated.avif", "rotated.avif", false},  // rotation property + EXIF orientation 6
    {"avif/deep10.avif", "deep10.avif", false},
    {"webp/lossy.webp", "lossy.webp", false},
    {"webp/animated.webp", "animated.webp", false},
    {"webp/exif_o6.webp", "exif_o6.webp", true},
    {"jxl/lossy.jxl", "lossy.jxl", false},
    {"jxl/rotated.jxl", "rotated.jxl", false},  // header orientation 6 + EXIF orientation 6
};

// `tessane-cli -f jpg --auto-orient -s 1024 folder/`: every file upright, the ones whose own
// rotation the decoder applies not turned a second time by their EXIF orientation. Without
// --auto-orient those stay upright too, and only the WebP whose EXIF alone says how it is
// turned stays as stored. A cut-off file of each kind fails with its reader's message and
// leaves no output.
TEST(CliModernInputs, FolderGoesToUprightJpegsWithAndWithoutAutoOrient) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  for (const Source& s : kSources)
    fs::copy_file(test::DataPath(s.fixture), in + "/" + s.name);
  for (const char* broken : {"heif/photo.heic", "avif/photo.avif", "webp/lossy.webp",
                             "jxl/lossy.jxl"}) {
    std::vector<uint8_t> bytes = test::ReadBytes(test::DataPath(broken));
    bytes.resize(bytes.size() / 2);
    test::WriteBytes(in + "/cut_" + fs::path(broken).filename().string(), bytes);
  }

  for (const bool orient : {true, false}) {
    SCOPED_TRACE(orient ? "--auto-orient" : "as stored");
    const std::string out = dir.File(orient ? "oriented" : "plain");
    CliOptions o;
    o.paths = {in};
    o.dest_folder = out;
    o.output_ext = ".jpg";
    o.size = 1024;
    o.auto_orient = orient;
    o.jobs = 2;
    std::ostringstream sout, serr;
    EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 1);
    EXPECT_NE(sout.str().find("15 files: 11 written, 4 failed"), std::string::npos) << sout.str();
    for (const char* message : {"HEIF", "AVIF", "WebP", "JPEG XL"}) {
      EXPECT_NE(serr.str().find(std::string("Invalid or unexpected ") + message + " image format"),
                std::string::npos)
          << serr.str();
    }
    // Each with the library's reason: a cut file says so, on one line.
    for (const char* message : {"WebP image format. (truncated data)",
                                "JPEG XL image format. (truncated data)",
                                "HEIF image format. (Invalid input: ",
                                "AVIF image format. (Invalid input: "})
      EXPECT_NE(serr.str().find(message), std::string::npos) << serr.str();
    EXPECT_EQ(serr.str().find("\n)"), std::string::npos) << serr.str();
    for (const char* cut : {"cut_photo", "cut_lossy"})
      EXPECT_FALSE(fs::exists(out + "/" + cut + ".jpg"));

    for (const Source& s : kSources) {
      SCOPED_TRACE(s.name);
      const std::string output = out + "/" + fs::path(s.name).stem().string() + ".jpg";
      ASSERT_TRUE(fs::exists(output));
      const Output o = Read(output);
      if (orient || !s.stored_sideways) {
        EXPECT_TRUE(Upright(o)) << o.width << " x " << o.height << std::hex << " " << o.top_left
                                << " " << o.bottom_right;
      } else {
        EXPECT_EQ(std::make_pair(o.width, o.height), std::make_pair(768, 1024));
      }
    }
  }
}

}  // namespace
}  // namespace tessane::cli
