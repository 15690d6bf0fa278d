// --fit, --fill and --gravity through tessane-cli.

#include <gtest/gtest.h>

#include "cli/batch_fixture.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

TEST(CliBoxes, UsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--fit", "0x5", "x"},
           {"--fill", "5x0", "x"},
           {"--fit", "320", "x"},
           {"--fit", "65536x10", "x"},
           {"--fit", "5x5", "--fill", "5x5", "x"},
           {"--fit", "5x5", "-s", "100", "x"},
           {"--fill", "5x5", "-p", "50", "x"},
           {"--fit", "5x5", "-m", "width", "x"},
           {"--fill", "5x5", "--crop-16x9", "x"},
           {"--fit", "5x5", "--copy", "x"},
           {"--gravity", "north", "x"},
           {"--fill", "5x5", "--gravity", "up", "x"},
       }) {
    const ParseResult r = Parse(args);
    EXPECT_FALSE(r.options) << args[0] << " " << args[1];
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_FALSE(r.error.empty());
  }
  const ParseResult ok = Parse({"--fill", "3x2", "--gravity", "southeast", "x"});
  ASSERT_TRUE(ok.options) << ok.error;
  EXPECT_EQ(ok.options->batch.box, (Box{BoxKind::kFill, 3, 2, Gravity::kSouthEast}));
}

TEST(CliBoxes, FitAndFillGiveTheirSizesFromJpegPngAndBmpSources) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  WriteJpeg(in + "/wide.jpg", 1600, 800);  // scaled while decoded
  WritePng(in + "/tall.png", 300, 900);
  Halves(4000, 2).SaveToFile(in + "/strip.bmp");
  struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::pair<int32_t, int32_t>> sizes;
  };
  const Case cases[] = {
      {{"--fit", "200x100"},
       {{"wide.jpg", {200, 100}}, {"tall.png", {33, 100}}, {"strip.bmp", {200, 1}}}},
      {{"--fit", "50x300"},
       {{"wide.jpg", {50, 25}}, {"tall.png", {50, 150}}, {"strip.bmp", {50, 1}}}},
      {{"--fill", "120x90"},
       {{"wide.jpg", {120, 90}}, {"tall.png", {120, 90}}, {"strip.bmp", {120, 90}}}},
      {{"--fill", "1x1"}, {{"wide.jpg", {1, 1}}, {"tall.png", {1, 1}}, {"strip.bmp", {1, 1}}}},
      {{"--fill", "400x400", "--shrink-only"},
       {{"wide.jpg", {400, 400}}, {"tall.png", {300, 400}}, {"strip.bmp", {400, 2}}}},
      {{"--fit", "4000x4000", "--shrink-only"},
       {{"wide.jpg", {1600, 800}}, {"tall.png", {300, 900}}, {"strip.bmp", {4000, 2}}}},
  };
  for (const Case& c : cases) {
    const std::string out = dir.File("out" + c.args[1] + c.args.back());
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-d", out, in});
    const RunOutput run = RunBatch(Options(args));
    ASSERT_EQ(run.status, 0) << c.args[1] << run.err;
    for (const auto& [name, size] : c.sizes)
      EXPECT_EQ(SizeOf(out + "/" + name), size) << c.args[0] << " " << c.args[1] << " " << name;
  }
}

TEST(CliBoxes, GravityPicksThePartThatIsKept) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  Halves(400, 100).SaveToFile(in + "/wide.bmp");  // red left, blue right
  Halves(100, 400).SaveToFile(in + "/tall.bmp");  // green top row, white bottom row
  struct Case {
    const char* gravity;
    uint32_t wideLeft;  // a pixel left of the middle of the wide picture's cut
    uint32_t tallTop;   // top left pixel of the tall picture's cut
  };
  const Case cases[] = {
      {"west", 0xFF0000, 0xFF0000},
      {"east", 0x0000FF, 0xFF0000},
      {"north", 0xFF0000, 0x00FF00},  // wide: a centred cut, red left of its middle
      {"northwest", 0xFF0000, 0x00FF00}};
  for (const Case& c : cases) {
    const std::string out = dir.File(std::string("out-") + c.gravity);
    const RunOutput run =
        RunBatch(Options({"--fill", "50x50", "--gravity", c.gravity, "-F", "none", "-d", out, in}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SizeOf(out + "/wide.bmp"), std::make_pair(50, 50));
    EXPECT_EQ(PixelOf(out + "/wide.bmp", 10, 25), c.wideLeft) << c.gravity;
    EXPECT_EQ(PixelOf(out + "/tall.bmp", 0, 0), c.tallTop) << c.gravity;
  }
}

// A square fit box sizes exactly like the plain largest-side size, JPEG scale included, so the
// two write the same bytes.
TEST(CliBoxes, SquareFitBoxWritesWhatThePlainSizeWrites) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  WriteJpeg(in + "/big.jpg", 2000, 1200);
  WriteJpeg(in + "/upright.jpg", 700, 2900);
  WritePng(in + "/small.png", 90, 60);
  Halves(641, 479).SaveToFile(in + "/odd.bmp");
  ASSERT_EQ(RunBatch(Options({"-s", "200", "-d", dir.File("plain"), in})).status, 0);
  ASSERT_EQ(RunBatch(Options({"--fit", "200x200", "-d", dir.File("fit"), in})).status, 0);
  EXPECT_EQ(Tree(dir.File("plain")), Tree(dir.File("fit")));
  EXPECT_EQ(Tree(dir.File("plain")).size(), 4u);
}

}  // namespace
}  // namespace tessane::cli
