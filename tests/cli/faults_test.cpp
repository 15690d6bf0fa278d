// tessane-cli under faults: odd things at output names, sources that are no files, folders that
// cannot be read, damaged pictures, a full disk, a stop request in the middle of a run. Every
// run must end, say what went wrong and leave nothing half-made behind.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>

#include "cli/batch_runner.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace tessane::cli {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

DibImage Pattern(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (size_t i = 0; i < b.RowBytes(); ++i) b.ScanLine(y)[i] = static_cast<uint8_t>(i * 7 + y);
  return b;
}

void WriteJpeg(const std::string& path, int32_t w, int32_t h) {
  JpegGraphic jpeg;
  jpeg.Assign(Pattern(w, h));
  jpeg.SaveToFile(path);
}

int32_t WidthOf(const std::string& path) {
  Picture p;
  p.LoadPicture(path);
  return p.Width();
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome RunCli(const CliOptions& o) {
  std::ostringstream out, err;
  const int status = BatchRunner(o).Run(out, err, false);
  return {status, out.str(), err.str()};
}

CliOptions Options(std::vector<std::string> paths, const std::string& dest) {
  CliOptions o;
  o.paths = std::move(paths);
  o.dest_folder = dest;
  o.jobs = 2;
  return o;
}

// `tessane-cli --overwrite photo.jpg` once replaced the photo by its 320-pixel version.
TEST(CliFaults, SourceIsReplacedByItsOutputOnlyWithInPlace) {
  TempDir dir;
  const std::string photo = dir.File("photo.jpg");
  WriteJpeg(photo, 800, 600);
  const auto original = test::ReadBytes(photo);
  for (bool copy : {false, true}) {
    CliOptions o = Options({photo}, "");
    o.overwrite = true;
    o.copy = copy;
    const Outcome r = RunCli(o);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(photo + ": The output would replace its own source file; --in-place "
                                 "allows that"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadBytes(photo), original);
  }
  // Without --overwrite the output takes a number and the source stays.
  EXPECT_EQ(RunCli(Options({photo}, "")).status, 0);
  EXPECT_EQ(WidthOf(dir.File("photo[1].jpg")), 320);
  CliOptions o = Options({photo}, "");
  o.overwrite = true;
  o.in_place = true;
  EXPECT_EQ(RunCli(o).status, 0);
  EXPECT_EQ(WidthOf(photo), 320);
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"photo.jpg", "photo[1].jpg"}));
}

// Folders and links at the output names, a FIFO among the sources: the run ends, each fault has
// its line, and every other file is written.
TEST(CliFaults, RunEndsWhateverStandsAtTheNamesOrAmongTheSources) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  fs::create_directories(out + "/a.bmp");                         // a folder
  fs::create_symlink(dir.File("nowhere"), out + "/a[1].bmp");     // a dangling link
  fs::create_symlink(dir.File("nowhere"), out + "/b.bmp");
  Pattern(100, 50).SaveToFile(in + "/a.bmp");
  Pattern(100, 50).SaveToFile(in + "/b.bmp");
  ASSERT_EQ(::mkfifo((in + "/pipe.jpg").c_str(), 0644), 0);
  for (bool copy : {false, true}) {
    SCOPED_TRACE(copy ? "copy" : "resize");
    CliOptions o = Options({in}, out);
    o.copy = copy;
    const Outcome r = RunCli(o);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(in + "/pipe.jpg: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Not a regular file (named pipe)"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("3 files: 2 written, 1 failed"), std::string::npos) << r.out;
  }
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"a.bmp", "a[1].bmp", "a[2].bmp", "a[3].bmp",
                                                    "b.bmp", "b[1].bmp", "b[2].bmp"}));
}

// Several sources with one output name and two workers: k.bmp, k[1].bmp, ... - never k[1][1].bmp.
TEST(CliFaults, SameOutputNameFromParallelWorkersIsNumberedFromTheOriginal) {
  TempDir dir;
  std::vector<std::string> paths;
  for (const char* sub : {"a", "b", "c", "d", "e"}) {
    fs::create_directories(dir.File(sub));
    Pattern(60, 40).SaveToFile(dir.File(std::string(sub) + "/k.bmp"));
    paths.push_back(dir.File(sub));
  }
  for (bool copy : {false, true}) {
    SCOPED_TRACE(copy ? "copy" : "resize");
    const std::string out = dir.File(copy ? "copies" : "resized");
    CliOptions o = Options(paths, out);
    o.copy = copy;
    EXPECT_EQ(RunCli(o).status, 0);
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"k.bmp", "k[1].bmp", "k[2].bmp", "k[3].bmp",
                                                      "k[4].bmp"}));
  }
}

TEST(CliFaults, UnreadableFoldersAreReportedAndMakeTheRunFail) {
  TempDir dir;
  const std::string in = dir.File("in"), locked = dir.File("locked");
  fs::create_directories(in + "/sub");
  fs::create_directories(locked);
  Pattern(60, 40).SaveToFile(in + "/a.bmp");
  Pattern(60, 40).SaveToFile(in + "/sub/b.bmp");
  Pattern(60, 40).SaveToFile(locked + "/c.bmp");
  ::chmod((in + "/sub").c_str(), 0);
  ::chmod(locked.c_str(), 0);
  Outcome r;
  test::WithoutFileRights([&] { r = RunCli(Options({in, locked}, dir.File("out"))); });
  ::chmod((in + "/sub").c_str(), 0755);
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tessane-cli: " + in + "/sub: Permission denied\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("tessane-cli: " + locked + ": Permission denied\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{"a.bmp"});
}

// A JPEG whose data stop early was written as a partly grey picture and reported "written".
TEST(CliFaults, DamagedPictureIsWrittenWithAWarningOrFailsWhenStrict) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  WriteJpeg(in + "/cut.jpg", 400, 300);
  auto bytes = test::ReadBytes(in + "/cut.jpg");
  bytes.resize(bytes.size() / 2);
  test::WriteBytes(in + "/cut.jpg", bytes);
  WriteJpeg(in + "/whole.jpg", 400, 300);

  CliOptions o = Options({in}, dir.File("out"));
  o.report_path = dir.File("report.tsv");
  Outcome r = RunCli(o);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("tessane-cli: warning: " + in + "/cut.jpg: Premature end of JPEG file"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("2 files: 2 written (1 with warnings), 0 failed"), std::string::npos)
      << r.out;
  const auto report = test::ReadBytes(dir.File("report.tsv"));
  const std::string text(report.begin(), report.end());
  EXPECT_NE(text.find(in + "/cut.jpg\t" + dir.File("out/cut.jpg") +
                      "\twritten-with-warnings\tPremature end of JPEG file\t"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("/whole.jpg\twritten\t\t"), std::string::npos) << text;

  o.dest_folder = dir.File("strict");
  o.strict = true;
  r = RunCli(o);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tessane-cli: " + in + "/cut.jpg: Premature end of JPEG file"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Listing(dir.File("strict")), std::vector<std::string>{"whole.jpg"});
}

// A stop request (what SIGINT, SIGTERM and SIGHUP make) ends the run after the files under way,
// leaves no partial output, lists the rest as not started and returns 128 + signal.
TEST(CliFaults, StopRequestEndsTheRunWithItsSummaryAndLeavesNothingPartial) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  for (int i = 0; i < 6; ++i) Pattern(200, 100).SaveToFile(in + "/f" + std::to_string(i) + ".bmp");
  for (const auto& [signal, name] : std::vector<std::pair<int, std::string>>{
           {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(name);
    const std::string out = dir.File("out" + std::to_string(signal));
    CliOptions o = Options({in}, out);
    o.jobs = 1;
    o.report_path = dir.File("report.tsv");
    std::ostringstream sout, serr;
    BatchRunner runner(o);
    runner.on_file_done = [sig = signal](const FileResult&) { RequestStop(sig); };
    const int status = runner.Run(sout, serr, false);
    ClearStop();
    EXPECT_EQ(status, 128 + signal);
    EXPECT_NE(sout.str().find("6 files: 1 written, 0 failed, 5 skipped"), std::string::npos)
        << sout.str();
    EXPECT_NE(sout.str().find("Interrupted (" + name + "): 5 files not started"), std::string::npos)
        << sout.str();
    EXPECT_EQ(Listing(out).size(), 1u);
    const auto report = test::ReadBytes(dir.File("report.tsv"));
    const std::string text(report.begin(), report.end());
    size_t notStarted = 0;
    for (size_t at = 0; (at = text.find("\tskipped\tInterrupted before it was started\t", at)) !=
                        std::string::npos;
         ++at)
      ++notStarted;
    EXPECT_EQ(notStarted, 5u);
  }
}

// A small file system fills up part-way: the message gives the system's reason, nothing stays.
TEST(CliFaults, FullDiskNamesTheCauseAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  TempDir dir;
  const std::string full = dir.File("full");
  fs::create_directories(full);
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no tmpfs mount here";
  Pattern(400, 300).SaveToFile(dir.File("big.bmp"));  // 360 KB, as a copy and as a BMP output
  Outcome copied, resized;
  {
    CliOptions o = Options({dir.File("big.bmp")}, full);
    o.copy = true;
    copied = RunCli(o);
    o.copy = false;
    o.size = 400;
    resized = RunCli(o);
  }
  const auto left = Listing(full);
  ::umount(full.c_str());
  EXPECT_EQ(copied.status, 1);
  EXPECT_NE(copied.err.find("Error: Can't write destination file![" + full +
                            "/big.bmp] No space left on device"),
            std::string::npos)
      << copied.err;
  EXPECT_EQ(resized.status, 1);
  EXPECT_NE(resized.err.find("Stream write error: No space left on device"), std::string::npos)
      << resized.err;
  EXPECT_TRUE(left.empty());
}

}  // namespace
}  // namespace tessane::cli
