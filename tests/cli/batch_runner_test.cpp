// tessane-cli end to end, through the runner the command uses.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/batch_runner.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "support/test_support.h"

namespace tessane::cli {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

DibImage Solid(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (size_t i = 0; i < b.RowBytes(); ++i) b.ScanLine(y)[i] = static_cast<uint8_t>(i + y);
  return b;
}

// in/: a.bmp 640x480, b.jpg 400x800, c.png 1000x500, broken.jpg, notes.txt, sub/d.bmp 100x100
void MakeSourceTree(const std::string& in) {
  fs::create_directories(in + "/sub");
  Solid(640, 480).SaveToFile(in + "/a.bmp");
  JpegGraphic jpeg;
  jpeg.Assign(Solid(400, 800));
  jpeg.SaveToFile(in + "/b.jpg");
  PngGraphic png;
  png.Assign(Solid(1000, 500));
  png.SaveToFile(in + "/c.png");
  test::WriteBytes(in + "/broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 3, 1});
  test::WriteBytes(in + "/notes.txt", {'h', 'i'});
  Solid(100, 100).SaveToFile(in + "/sub/d.bmp");
}

std::pair<int32_t, int32_t> SizeOf(const std::string& path) {
  Picture p;
  p.LoadPicture(path);
  return {p.Width(), p.Height()};
}

CliOptions Options(const std::string& in, const std::string& out) {
  CliOptions o;
  o.paths = {in};
  o.dest_folder = out;
  o.jobs = 2;
  return o;
}

TEST(CliRun, MixedFolderGivesSizedNamedOutputsAndOneFailureLine) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  MakeSourceTree(in);
  fs::create_directories(out);
  CliOptions o = Options(in, out);
  o.output_ext = ".png";
  o.addition = 1;
  o.addition_text = "_t";
  std::ostringstream sout, serr;
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 1);

  EXPECT_EQ(SizeOf(out + "/a_t.png"), std::make_pair(320, 240));
  EXPECT_EQ(SizeOf(out + "/b_t.png"), std::make_pair(160, 320));
  EXPECT_EQ(SizeOf(out + "/c_t.png"), std::make_pair(320, 160));
  EXPECT_EQ(SizeOf(out + "/d_t.png"), std::make_pair(320, 320));
  EXPECT_FALSE(fs::exists(out + "/broken_t.png"));
  EXPECT_FALSE(fs::exists(out + "/notes_t.png"));
  EXPECT_NE(serr.str().find("broken.jpg: "), std::string::npos) << serr.str();
  EXPECT_NE(sout.str().find("5 files: 4 written, 1 failed"), std::string::npos) << sout.str();
}

TEST(CliRun, SourceFormatKeepsHandledExtensionsAndNumbersTakenNames) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  MakeSourceTree(in);
  fs::remove(in + "/broken.jpg");
  fs::create_directories(out);
  CliOptions o = Options(in, out);
  o.include_subfolders = false;
  std::ostringstream sout, serr;
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 0) << serr.str();
  EXPECT_TRUE(fs::exists(out + "/a.bmp"));
  EXPECT_TRUE(fs::exists(out + "/b.jpg"));
  EXPECT_TRUE(fs::exists(out + "/c.png"));
  EXPECT_FALSE(fs::exists(out + "/d.bmp"));
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 0);
  EXPECT_TRUE(fs::exists(out + "/a[1].bmp"));
  EXPECT_TRUE(fs::exists(out + "/b[1].jpg"));
}

TEST(CliRun, DryRunWritesNothingAndCopyModeCopiesBytes) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  MakeSourceTree(in);
  fs::create_directories(out);
  CliOptions o = Options(in, out);
  o.dry_run = true;
  std::ostringstream sout, serr;
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 0);
  EXPECT_NE(sout.str().find(in + "/a.bmp -> " + out + "/a.bmp"), std::string::npos) << sout.str();
  EXPECT_TRUE(fs::is_empty(out));

  o.dry_run = false;
  o.copy = true;
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 0) << serr.str();
  EXPECT_EQ(test::ReadBytes(out + "/broken.jpg"), test::ReadBytes(in + "/broken.jpg"));
  EXPECT_EQ(test::ReadBytes(out + "/d.bmp"), test::ReadBytes(in + "/sub/d.bmp"));
}

TEST(CliRun, MissingPathIsReportedAndFails) {
  TempDir dir;
  CliOptions o = Options(dir.File("nowhere"), dir.Path());
  std::ostringstream sout, serr;
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 1);
  EXPECT_NE(serr.str().find("nowhere: No such file or folder"), std::string::npos);
}

TEST(CliRun, MissingDestinationIsMadeAndAFileInItsWayStopsTheRun) {
  TempDir dir;
  const std::string in = dir.File("in");
  MakeSourceTree(in);
  std::ostringstream sout, serr;
  CliOptions o = Options(in, dir.File("web/small"));
  o.paths = {in + "/a.bmp"};
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 0) << serr.str();
  EXPECT_TRUE(fs::exists(dir.File("web/small/a.bmp")));

  test::WriteBytes(dir.File("taken"), {1});
  o.dest_folder = dir.File("taken");
  EXPECT_EQ(BatchRunner(o).Run(sout, serr, false), 2);
  EXPECT_NE(serr.str().find("taken: Can't create the destination folder"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(dir.File("taken")), std::vector<uint8_t>{1});
}

}  // namespace
}  // namespace tessane::cli
