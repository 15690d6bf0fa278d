// What no combination of options may do to the files of a run: replace a source or the report,
// do one file twice, leave temporaries behind, or pile up numbered outputs on every re-run.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "cli/batch_fixture.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

constexpr char kReplaces[] = "The output would replace its own source file; --in-place allows that";

void SetMtime(const std::string& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Every name in a folder (links and folders too), sorted.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The name of an output is final only after the template and the numbering: the source must be
// safe from that name, and so must every other source of the run.
TEST(CliProtection, NoOutputReplacesASourceOfTheRun) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::vector<std::string> sources;  // made before the run (640 x 480), under `in`
    std::vector<std::string> kept;     // sources whose bytes must stay
    std::vector<std::string> failing;  // sources whose output is refused
  };
  const Case cases[] = {
      // {width} is 320 once the picture is scaled: the name is the source's own.
      {"template",
       {"--name", "{width}", "--overwrite", "-s", "320"},
       {"320.png"},
       {"320.png"},
       {"320.png"}},
      // x.png's output x.jpg is the other source; x.jpg's own output is x.jpg itself.
      {"another source",
       {"--overwrite", "-f", "jpg"},
       {"x.png", "x.jpg"},
       {"x.png", "x.jpg"},
       {"x.png", "x.jpg"}},
      // --in-place lets x.jpg replace itself, never x.png's output replace it.
      {"in place",
       {"--overwrite", "--in-place", "-f", "jpg"},
       {"x.png", "x.jpg"},
       {"x.png"},
       {"x.png"}},
      // A fast copy is named once: into a folder that holds another source of the run.
      {"copy",
       {"--copy", "--overwrite", "-d", "{in}/sub"},
       {"c.png", "sub/c.png"},
       {"sub/c.png"},
       {"c.png", "sub/c.png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(in);
    fs::create_directories(in + "/sub");
    std::vector<std::string> args = c.args;
    for (std::string& a : args)
      if (a.starts_with("{in}")) a = in + a.substr(4);
    std::map<std::string, std::vector<uint8_t>> before;
    for (const std::string& s : c.sources) {
      if (s.ends_with(".jpg"))
        WriteJpeg(in + "/" + s, 640, 480);
      else
        WritePng(in + "/" + s, 640, 480);
      before[s] = test::ReadBytes(in + "/" + s);
      args.push_back(in + "/" + s);
    }
    const RunOutput run = RunBatch(Options(args));
    EXPECT_EQ(run.status, 1) << run.err;
    for (const std::string& s : c.kept) EXPECT_EQ(test::ReadBytes(in + "/" + s), before[s]) << s;
    for (const std::string& s : c.failing)
      EXPECT_NE(run.err.find(in + "/" + s + ": " + kReplaces), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'),
              static_cast<std::ptrdiff_t>(c.failing.size()))
        << run.err;
  }
}

// A second hard link of a source, or a link to it, at an output's name is that source.
TEST(CliProtection, LinksAtTheOutputNameLeadToTheSource) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  fs::create_directories(out);
  WritePng(in + "/a.png", 64, 48);
  WritePng(in + "/b.png", 64, 48);
  fs::create_hard_link(in + "/b.png", out + "/a.png");
  fs::create_symlink(in + "/a.png", out + "/b.png");
  const auto a = test::ReadBytes(in + "/a.png"), b = test::ReadBytes(in + "/b.png");
  const RunOutput run = RunBatch(Options({"--overwrite", "-s", "32", "-d", out, in}));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(in + "/a.png: " + kReplaces), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(in + "/b.png: " + kReplaces), std::string::npos) << run.err;
  EXPECT_EQ(test::ReadBytes(in + "/a.png"), a);
  EXPECT_EQ(test::ReadBytes(in + "/b.png"), b);
  EXPECT_TRUE(fs::is_symlink(out + "/b.png"));
}

// A report that would replace a source or an output of the run, or that names a folder, is a
// usage error found before any work: nothing is written.
TEST(CliProtection, ReportThatWouldReplaceAFileOfTheRunIsAUsageError) {
  TempDir dir;
  const std::string src = dir.File("src"), out = dir.File("out");
  fs::create_directories(src);
  WriteJpeg(src + "/p0.jpg", 64, 48);
  WriteJpeg(src + "/p1.jpg", 64, 48);
  fs::create_directories(dir.File("folder"));
  fs::create_directories(out + "/16");
  const auto p0 = test::ReadBytes(src + "/p0.jpg");
  const struct {
    std::string report;
    std::vector<std::string> extra;
    std::string message;
  } cases[] = {
      {src + "/p0.jpg", {"-s", "32"}, "is a source file of this run"},
      {out + "/p1.jpg", {"-s", "32"}, "is the output of " + src + "/p1.jpg in this run"},
      {out + "/p1.jpg", {"-s", "32", "--overwrite"}, "is the output of"},
      {out + "/../out/./p1.jpg", {"-s", "32"}, "is the output of"},
      {dir.File("folder"), {"-s", "32"}, "is a folder, not a file"},
      {out + "/16/p0.jpg", {"-s", "32,16"}, "is the output of " + src + "/p0.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    std::vector<std::string> args = {"-d", out, "--report", c.report};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(src);
    const RunOutput run = RunBatch(Options(args));
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("--report " + c.report + ": " + c.message), std::string::npos)
        << run.err;
    EXPECT_TRUE(!fs::exists(out) || Tree(out).empty());
    EXPECT_EQ(test::ReadBytes(src + "/p0.jpg"), p0);
    EXPECT_TRUE(fs::is_directory(dir.File("folder")));
  }
  // Beside the outputs, under a name of its own, it is written.
  EXPECT_EQ(RunBatch(Options({"-s", "32", "-d", out, "--report", out + "/report.tsv", src})).status,
            0);
  EXPECT_EQ(Names(out), (std::vector<std::string>{"p0.jpg", "p1.jpg", "report.tsv"}));
  EXPECT_EQ(test::ReadBytes(src + "/p0.jpg"), p0);
}

// An output whose name is known only from its pixel size cannot be told apart before the run:
// the report gives way to it.
TEST(CliProtection, ReportGivesWayToAnOutputNamedAfterItsSize) {
  TempDir dir;
  const std::string out = dir.File("out");
  WritePng(dir.File("a.png"), 64, 48);
  const RunOutput run = RunBatch(Options({"-s", "32", "-d", out, "--name", "w{width}", "--report",
                                          out + "/w32.png", dir.File("a.png")}));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the report would replace the output of"), std::string::npos) << run.err;
  EXPECT_EQ(SizeOf(out + "/w32.png").first, 32);
}

// --skip-existing takes a file at the output name for the source's output: an older one is
// replaced under its name, anything else that is no file fails, and re-runs write nothing.
TEST(CliProtection, SkipExistingReplacesOlderOutputsAndWritesNothingOnReRuns) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  fs::create_directories(out + "/folder.png");
  for (const char* name : {"old.png", "new.png", "folder.png", "dangling.png", "link.png"}) {
    WritePng(in + "/" + name, 64, 48);
    SetMtime(in + "/" + name, 1500000000);
  }
  test::WriteBytes(out + "/old.png", {1});
  SetMtime(out + "/old.png", 1400000000);  // before its source: stale
  fs::create_symlink(dir.File("nowhere"), out + "/dangling.png");
  test::WriteBytes(dir.File("target.png"), {2});
  fs::create_symlink(dir.File("target.png"), out + "/link.png");
  const std::vector<std::string> args = {"-s", "32", "-d", out, "--skip-existing", in};

  RunOutput run = RunBatch(Options(args));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(in + "/folder.png: A folder has the output's name"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(in + "/dangling.png: A symbolic link has the output's name"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(in + "/link.png: A symbolic link has the output's name"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(SizeOf(out + "/old.png").first, 32);
  EXPECT_EQ(SizeOf(out + "/new.png").first, 32);
  EXPECT_EQ(test::ReadBytes(dir.File("target.png")), std::vector<uint8_t>{2});
  const std::vector<std::string> entries = Entries(out);
  EXPECT_EQ(entries, (std::vector<std::string>{"dangling.png", "folder.png", "link.png", "new.png",
                                               "old.png"}));
  const auto written = Tree(out);
  for (int again = 0; again < 2; ++again) {
    CliOptions o = Options(args);
    o.quiet = false;
    run = RunBatch(o);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("5 files: 0 written, 3 failed, 0 skipped, 2 up to date"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(Entries(out), entries);
    EXPECT_EQ(Tree(out), written);
  }
}

// Without -d the output name may be the source itself: it is no output of its own, and
// numbering a new file on every run is what --skip-existing is there to prevent.
TEST(CliProtection, SkipExistingNeverNumbersBesideTheSource) {
  TempDir dir;
  WritePng(dir.File("b.png"), 64, 48);
  const auto b = test::ReadBytes(dir.File("b.png"));
  for (int run = 0; run < 2; ++run) {
    const RunOutput r = RunBatch(Options({"-s", "32", "--skip-existing", dir.Path()}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(kReplaces), std::string::npos) << r.err;
  }
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"b.png"});
  EXPECT_EQ(test::ReadBytes(dir.File("b.png")), b);
}

// A name known only from the pixel size is looked at once it is known.
TEST(CliProtection, SkipExistingLooksAtNamesMadeFromThePixelSize) {
  TempDir dir;
  const std::string out = dir.File("out");
  WritePng(dir.File("a.png"), 64, 48);
  SetMtime(dir.File("a.png"), 1500000000);
  const std::vector<std::string> args = {
      "-s", "32", "-d", out, "--name", "{name}_{width}", "--skip-existing", dir.File("a.png")};
  ASSERT_EQ(RunBatch(Options(args)).status, 0);
  ASSERT_EQ(Names(out), std::vector<std::string>{"a_32.png"});
  EXPECT_EQ(RunBatch(Options(args)).status, 0);
  EXPECT_EQ(Names(out), std::vector<std::string>{"a_32.png"});
  SetMtime(out + "/a_32.png", 1400000000);
  test::WriteBytes(out + "/a_32.png", {1});
  SetMtime(out + "/a_32.png", 1400000000);
  EXPECT_EQ(RunBatch(Options(args)).status, 0);
  EXPECT_EQ(Names(out), std::vector<std::string>{"a_32.png"});
  EXPECT_EQ(SizeOf(out + "/a_32.png").first, 32);
}

// A file reached twice is done once, where it was first reached.
TEST(CliProtection, FileReachedTwiceIsDoneOnce) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in + "/sub");
  WritePng(in + "/p.png", 16, 16);
  WritePng(in + "/sub/q.png", 16, 16);
  std::ofstream(dir.File("list.txt")) << in << "/p.png\n"
                                      << in << "/sub/q.png\n"
                                      << in << "/p.png\n";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> rows;  // the report's sources, in order
  };
  const Case cases[] = {
      {{in + "/p.png", in + "/p.png"}, {in + "/p.png"}},
      {{in + "/sub", in, in + "/sub/q.png"}, {in + "/sub/q.png", in + "/p.png"}},
      {{in + "/sub/q.png", in}, {in + "/sub/q.png", in + "/p.png"}},
      {{"--files-from", dir.File("list.txt")}, {in + "/p.png", in + "/sub/q.png"}},
      {{in + "/p.png", in + "/./p.png", in + "/sub/../p.png"}, {in + "/p.png"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string out = dir.File("out" + std::to_string(n++));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-d", out, "--report", dir.File("report.tsv")});
    const RunOutput run = RunBatch(Options(args));
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> expected;
    for (const std::string& row : c.rows) expected.push_back(fs::path(row).filename().string());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(out), expected) << out;  // no p[1].png
    std::istringstream report(ReadText(dir.File("report.tsv")));
    std::string line;
    std::getline(report, line);
    std::vector<std::string> rows;
    while (std::getline(report, line)) rows.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(rows, c.rows) << out;
  }
}

// An empty file says so, rather than "Division by zero".
TEST(CliProtection, EmptyFileFailsWithEmptyFile) {
  TempDir dir;
  for (const char* name : {"e.jpg", "e.png", "e.bmp"}) test::WriteBytes(dir.File(name), {});
  const RunOutput run = RunBatch(Options({"-d", dir.File("out"), dir.Path()}));
  EXPECT_EQ(run.status, 1);
  for (const char* name : {"e.jpg", "e.png", "e.bmp"})
    EXPECT_NE(run.err.find(dir.File(name) + ": Empty file\n"), std::string::npos) << run.err;
  EXPECT_TRUE(Tree(dir.File("out")).empty());
}

// What a killed run left while replacing an output goes with the next run into that folder.
TEST(CliProtection, NextRunRemovesTheTemporariesOfKilledRuns) {
  TempDir dir;
  const std::string out = dir.File("out");
  fs::create_directories(out);
  WritePng(dir.File("a.png"), 16, 16);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string stale = ".tessane-" + std::to_string(child) + "-Ab12Cd";
  const std::string live = ".tessane-" + std::to_string(::getppid()) + "-Ab12Cd";
  test::WriteBytes(out + "/" + stale, {1});
  test::WriteBytes(out + "/" + live, {1});
  for (bool copy : {false, true}) {
    std::vector<std::string> args = {"--overwrite", "-d", out, dir.File("a.png")};
    if (copy) args.insert(args.begin(), "--copy");
    ASSERT_EQ(RunBatch(Options(args)).status, 0);
    EXPECT_EQ(Entries(out), (std::vector<std::string>{live, "a.png"}));
    test::WriteBytes(out + "/" + stale, {1});
  }
}

// Many outputs of one name: each one numbered after the last, none replacing another.
TEST(CliProtection, ManyOutputsOfOneNameAreEachNumbered) {
  TempDir dir;
  constexpr int kFolders = 12;
  std::vector<std::string> sources;
  for (int i = 0; i < kFolders; ++i) {
    const std::string folder = dir.File(std::to_string(i) + "f");
    fs::create_directories(folder);
    WritePng(folder + "/same.png", 8 + i, 8);
    sources.push_back(folder + "/same.png");
  }
  const std::vector<std::vector<std::string>> runs = {
      {"--copy", "-d", dir.File("out")},
      {"--overwrite", "--name", "{name}", "-s", "4", "-d", dir.File("out")},
  };
  for (const std::vector<std::string>& run : runs) {
    SCOPED_TRACE(run[0]);
    fs::remove_all(dir.File("out"));
    std::vector<std::string> args = run;
    args.insert(args.end(), sources.begin(), sources.end());
    ASSERT_EQ(RunBatch(Options(args)).status, 0);
    std::vector<std::string> expected = {"same.png"};
    for (int i = 1; i < kFolders; ++i)
      expected.push_back(std::string("same[").append(std::to_string(i)).append("].png"));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(dir.File("out")), expected);
  }
}

}  // namespace
}  // namespace tessane::cli
