// Several sizes in one pass (-s 320,1024 or several boxes): each size's outputs are exactly
// what a run of that size alone writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "base/paths.h"
#include "cli/batch_fixture.h"
#include "cli/exif_fixture.h"
#include "formats/command_line_formats.h"
#include "formats/format_registry.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

void MakeSources(const std::string& in) {
  fs::create_directories(in + "/sub");
  WriteJpeg(in + "/big.jpg", 1600, 1200);
  // Turned a quarter by its tag under --auto-orient; carries its EXIF under --keep-metadata.
  WriteJpeg(in + "/turned.jpg", 900, 500);
  test::WriteBytes(in + "/turned.jpg",
                   test::WithSegments(test::ReadBytes(in + "/turned.jpg"),
                                      test::Segment(0xE1, test::BuildExif(false, 6))));
  WritePng(in + "/sub/small.png", 120, 90);
  Halves(333, 777).SaveToFile(in + "/tall.bmp");
}

TEST(CliSizes, EachSizeWritesWhatASingleSizeRunWrites) {
  TempDir dir;
  const std::string in = dir.File("in");
  MakeSources(in);
  struct Case {
    std::vector<std::string> several;             // the options of the combined run
    std::vector<std::vector<std::string>> alone;  // ... and of each single run
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {{"-s", "100,400,1600"},
       {{"-s", "100"}, {"-s", "400"}, {"-s", "1600"}},
       {"100", "400", "1600"}},
      {{"-s", "64", "-s", "640", "-m", "height", "--crop-16x9"},
       {{"-s", "64", "-m", "height", "--crop-16x9"}, {"-s", "640", "-m", "height", "--crop-16x9"}},
       {"64", "640"}},
      {{"--fit", "150x100", "--fit", "1000x50"},
       {{"--fit", "150x100"}, {"--fit", "1000x50"}},
       {"150x100", "1000x50"}},
      {{"--fill", "80x80,300x120", "--gravity", "east"},
       {{"--fill", "80x80", "--gravity", "east"}, {"--fill", "300x120", "--gravity", "east"}},
       {"80x80", "300x120"}},
  };
  const std::vector<std::string> common = {"--auto-orient", "--keep-metadata", "--background",
                                           "white", "--shrink-only"};
  int n = 0;
  for (const Case& c : cases) {
    const std::string together = dir.File("together" + std::to_string(n));
    std::vector<std::string> args = c.several;
    args.insert(args.end(), common.begin(), common.end());
    args.insert(args.end(), {"-d", together, in});
    ASSERT_EQ(RunBatch(Options(args)).status, 0) << n;
    for (size_t k = 0; k < c.alone.size(); ++k) {
      const std::string alone = dir.File("alone" + std::to_string(n) + "-" + std::to_string(k));
      std::vector<std::string> single = c.alone[k];
      single.insert(single.end(), common.begin(), common.end());
      single.insert(single.end(), {"-d", alone, in});
      ASSERT_EQ(RunBatch(Options(single)).status, 0);
      const auto files = Tree(alone);
      EXPECT_EQ(files.size(), 4u);
      EXPECT_EQ(Tree(together + "/" + c.labels[k]), files) << c.several[1] << " " << c.labels[k];
    }
    EXPECT_EQ(Tree(together).size(), 4 * c.alone.size());
    ++n;
  }
}

// Each -s, --fit or --fill takes one value (which may list several): paths after it stay paths.
TEST(CliSizes, SizeListsLeaveTheFollowingPathsAlone) {
  struct Case {
    std::vector<std::string> args;
    size_t sizes;
  };
  const Case cases[] = {{{"-s", "1024", "photos", "more"}, 0},
                        {{"-s", "320,1024", "photos", "more"}, 2},
                        {{"-s", "320", "-s", "1024", "photos", "more"}, 2},
                        {{"--fit", "10x10", "photos", "more"}, 0},
                        {{"--fill", "10x10,20x20", "photos", "more"}, 2},
                        {{"--fit", "10x10", "--fit", "20x20", "photos", "more"}, 2}};
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.args);
    ASSERT_TRUE(r.options) << c.args[1] << ": " << r.error;
    EXPECT_EQ(r.options->paths, (std::vector<std::string>{"photos", "more"})) << c.args[1];
    EXPECT_EQ(r.options->batch.sizes.size(), c.sizes) << c.args[1];
  }
  EXPECT_EQ(Parse({"-s", "1024", "photos"}).options->size, 1024);
}

TEST(CliSizes, TemplatesReportsAndUsageErrors) {
  TempDir dir;
  const std::string in = dir.File("in");
  MakeSources(in);
  const std::string out = dir.File("out");
  CliOptions o = Options({"-s", "50,100", "--name", "{name}_{size}_{width}x{height}", "--report",
                           dir.File("report.tsv"), "-d", out, in});
  o.quiet = false;
  const RunOutput run = RunBatch(o);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("4 files, 8 outputs: 8 written, 0 failed, 0 skipped"), std::string::npos)
      << run.out;
  EXPECT_EQ(Names(out), (std::vector<std::string>{"big_100_100x75.jpg", "big_50_50x37.jpg",
                                                  "small_100_100x75.png", "small_50_50x37.png",
                                                  "tall_100_42x100.bmp", "tall_50_21x50.bmp",
                                                  "turned_100_55x100.jpg", "turned_50_27x50.jpg"}));
  const std::vector<uint8_t> report = test::ReadBytes(dir.File("report.tsv"));
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 9);  // header and one row per output

  const RunOutput dry = RunBatch(Options({"-n", "-s", "50,100", "-d", out, in + "/big.jpg"}));
  EXPECT_EQ(dry.out, in + "/big.jpg -> " + out + "/50/big.jpg\n" + in + "/big.jpg -> " + out +
                         "/100/big.jpg\n");

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-s", "50,50", "x"},
                                             {"-s", "50,0", "x"},
                                                                               {"--fit", "5x5,5x5", "x"},
                                             {"-s", "50,100", "--copy", "x"},
                                             {"-s", "50,100", "--name", "{name}", "x"},
                                             {"--fit", "5x5,6x6", "--fill", "7x7", "x"}}) {
    const ParseResult r = Parse(args);
    EXPECT_FALSE(r.options) << args[1];
    EXPECT_EQ(r.exit_status, 2) << args[1];
  }
}

// The fixtures under tests/data with this extension (any letter case), smallest first.
std::vector<fs::path> FixturesFor(const std::string& ext) {
  std::vector<fs::path> found;
  for (const auto& e : fs::recursive_directory_iterator(test::DataPath("")))
    if (e.is_regular_file() && LowerCaseAscii(e.path().extension().string()) == "." + ext)
      found.push_back(e.path());
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    return std::make_pair(fs::file_size(a), a) < std::make_pair(fs::file_size(b), b);
  });
  return found;
}

// Every format the command reads, through one run of two sizes: each output is the single run's.
// Readers that hand their pixels over to the first size's bitmap must still serve the second.
TEST(CliSizes, EveryReadableFormatWritesEachSizeAsASingleRunDoes) {
  RegisterCommandLineFormats();
  TempDir dir;
  std::set<std::string> seen;
  for (const FileFormat& format : Formats().Entries()) {
    if (!seen.insert(format.ext).second) continue;
    SCOPED_TRACE(format.ext);
    // After its own fixtures, an extension tries those of the other extensions of its reader.
    std::vector<fs::path> fixtures = FixturesFor(format.ext);
    for (const FileFormat& other : Formats().Entries()) {
      if (other.create != format.create || other.ext == format.ext) continue;
      const std::vector<fs::path> more = FixturesFor(other.ext);
      fixtures.insert(fixtures.end(), more.begin(), more.end());
    }
    const auto run = [&](const std::string& folder, const std::string& sizes) {
      return RunBatch(Options({"-s", sizes, "-f", "png", "-d", folder, dir.File(format.ext)}));
    };
    bool tried = false;
    for (const fs::path& fixture : fixtures) {
      fs::remove_all(dir.File(format.ext));
      fs::create_directories(dir.File(format.ext));
      fs::copy_file(fixture, dir.File(format.ext) + "/source." + format.ext);
      const std::string alone = dir.File(format.ext + "-alone");
      fs::remove_all(alone);
      if (run(alone + "/40", "40").status != 0) continue;  // a fixture meant to fail
      ASSERT_EQ(run(alone + "/90", "90").status, 0) << fixture;
      const std::string together = dir.File(format.ext + "-together");
      const RunOutput both = run(together, "40,90");
      EXPECT_EQ(both.status, 0) << fixture << "\n" << both.err;
      EXPECT_EQ(Tree(together), Tree(alone)) << fixture;
      tried = true;
      break;
    }
    EXPECT_TRUE(tried) << "no fixture of ." << format.ext << " loads";
  }
  EXPECT_GE(seen.size(), 20u);
}

}  // namespace
}  // namespace tessane::cli
