// --name templates and --keep-tree through tessane-cli, and the template and EXIF date parts.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "cli/batch_fixture.h"
#include "cli/exif_fixture.h"
#include "cli/name_template.h"
#include "jobs/exif_date.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

// "Exif\0\0", IFD0 {ExifIFD -> 26}, Exif IFD {DateTimeOriginal ASCII 20 at 44}, the date.
test::Bytes ExifWithDate(bool bigEndian, const std::string& date) {
  test::Bytes t = {'E', 'x', 'i', 'f', 0, 0};
  auto u16 = [&](uint32_t v) {
    if (bigEndian)
      t.insert(t.end(), {uint8_t(v >> 8), uint8_t(v)});
    else
      t.insert(t.end(), {uint8_t(v), uint8_t(v >> 8)});
  };
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) t.push_back(uint8_t(v >> (bigEndian ? 8 * (3 - i) : 8 * i)));
  };
  t.insert(t.end(), {uint8_t(bigEndian ? 'M' : 'I'), uint8_t(bigEndian ? 'M' : 'I')});
  u16(42), u32(8);
  u16(1), u16(0x8769), u16(4), u32(1), u32(26), u32(0);
  u16(1), u16(0x9003), u16(2), u32(20), u32(44), u32(0);
  t.insert(t.end(), date.begin(), date.end());
  t.push_back(0);
  return t;
}

std::tm Date(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d, tm.tm_hour = h, tm.tm_min = mi;
  tm.tm_sec = s;
  return tm;
}

TEST(NameTemplate, RefusesBadTemplates) {
  for (const char* bad : {"", "{nope}", "{name", "name}", "{width:3}", "{index:x}", "{index:0}",
                          "/abs/{name}", "../{name}", "a/../../{name}", "{dir}/../x", "x/"}) {
    std::string error;
    EXPECT_FALSE(NameTemplate::Parse(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

// A date format that gives a control character (a line break in a file name) or more than a
// name's 255 bytes is refused when the option is read, and so is a run with it.
TEST(NameTemplate, DateFormatsThatNoNameCanHoldAreUsageErrors) {
  std::string longFormat;
  for (int i = 0; i < 30; ++i) longFormat += "%Y-%m-%d";  // 300 bytes
  const struct {
    std::string text;
    const char* fault;
  } cases[] = {
      {"{date:%n}x", "gives a control character"},
      {"{date:%t}{name}", "gives a control character"},
      {"{date:%Y\x01}{name}", "gives a control character"},
      {"{date:" + longFormat + "}", "gives more than 255 bytes"},
      {"{date:%A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A %A}",
       "gives more than 255 bytes"},                             // too long only on a Wednesday
      {"{date:" + longFormat.substr(0, 8 * 20) + "}", nullptr},  // 200 bytes
  };
  for (const auto& c : cases) {
    std::string error;
    const auto parsed = NameTemplate::Parse(c.text, error);
    EXPECT_EQ(parsed.has_value(), c.fault == nullptr) << c.text;
    if (c.fault) {
      EXPECT_NE(error.find(c.fault), std::string::npos) << error;
      const ParseResult r = cli::batch_test::Parse({"--name", c.text, "x.png"});
      EXPECT_FALSE(r.options) << c.text;
    }
  }
}

TEST(NameTemplate, ExpandsFields) {
  NameFields f;
  f.name = "photo";
  f.ext = "jpg";
  f.width = 320;
  f.height = 240;
  f.index = 7;
  f.dir = "2019/summer";
  f.date = Date(2019, 7, 14, 9, 30, 5);
  f.size = "320";
  struct Case {
    const char* text;
    NameFields fields;
    std::string want;
  };
  NameFields top = f;
  top.dir = "";
  NameFields noDate = f;
  noDate.date.reset();
  NameFields unsized = f;
  unsized.width = unsized.height = -1;
  const Case cases[] = {
      {"{name}", f, "photo.jpg"},  // the extension comes along
      {"{name}.{ext}", f, "photo.jpg"},
      {"{name}_{width}x{height}.png", f, "photo_320x240.png.jpg"},
      {"{index:4}-{name}", f, "0007-photo.jpg"},
      {"{index}", f, "7.jpg"},
      {"{dir}/{name}", f, "2019/summer/photo.jpg"},
      {"{dir}/{name}", top, "photo.jpg"},  // no folder, no leading "/"
      {"{date}/{name}", f, "2019-07-14/photo.jpg"},
      {"{date:%Y/%m}/{name}", f, "2019/07/photo.jpg"},
      {"{date:%H%M%S}", f, "093005.jpg"},
      {"{date}", noDate, "unknown-date.jpg"},
      {"{size}/{name}", f, "320/photo.jpg"},
      {"{{{name}}}", f, "{photo}.jpg"},
      {"./a//b/./{name}", f, "a/b/photo.jpg"},
      {"{name}_{width}", unsized, "photo_{width}.jpg"},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto t = NameTemplate::Parse(c.text, error);
    ASSERT_TRUE(t) << c.text << ": " << error;
    EXPECT_EQ(t->Expand(c.fields), c.want) << c.text;
  }
  std::string error;
  EXPECT_EQ(NameTemplate::Parse("{name}", error)->WithTreeFolder().Expand(f),
            "2019/summer/photo.jpg");
  EXPECT_EQ(NameTemplate::Parse("x/{dir}/{name}", error)->WithTreeFolder().Expand(f),
            "x/2019/summer/photo.jpg");
  // Fields that make a name leave the destination are refused file by file.
  NameFields dots = f;
  dots.name = "..";
  EXPECT_THROW(NameTemplate::Parse("{name}/x", error)->Expand(dots), std::exception);
}

TEST(ExifDate, ReadsDateTimeOriginalInBothByteOrders) {
  for (bool big : {false, true}) {
    const auto date = ExifDateTimeOriginal(ExifWithDate(big, "2019:07:14 09:30:05"));
    ASSERT_TRUE(date) << big;
    EXPECT_EQ(date->tm_year, 119);
    EXPECT_EQ(date->tm_mon, 6);
    EXPECT_EQ(date->tm_mday, 14);
    EXPECT_EQ(date->tm_hour, 9);
    EXPECT_EQ(date->tm_sec, 5);
  }
  for (const char* bad :
       {"0000:00:00 00:00:00", "    :  :     :  :  ", "2019-07-14 09:30:05", "2019:13:14 09:30:05"})
    EXPECT_FALSE(ExifDateTimeOriginal(ExifWithDate(false, bad))) << bad;
  // Cut anywhere: nothing, never a read beyond the data.
  const test::Bytes whole = ExifWithDate(false, "2019:07:14 09:30:05");
  for (size_t n = 0; n + 1 < whole.size(); ++n)
    EXPECT_FALSE(ExifDateTimeOriginal(test::Bytes(whole.begin(), whole.begin() + long(n)))) << n;
  EXPECT_FALSE(ExifDateTimeOriginal(test::BuildExif(false, 1)));  // no date
}

TEST(CliNames, TemplateNamesOutputsAndEqualNamesAreNumbered) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in + "/sub");
  WritePng(in + "/a.png", 64, 32);
  WritePng(in + "/b.png", 32, 64);
  WritePng(in + "/sub/a.png", 16, 16);
  test::WriteBytes(
      in + "/shot.jpg",
      test::WithSegments(test::ReadBytes([&] {
                           WriteJpeg(dir.File("plain.jpg"), 40, 40);
                           return dir.File("plain.jpg");
                         }()),
                         test::Segment(0xE1, ExifWithDate(false, "2019:07:14 09:30:05"))));
  const struct timespec old[2] = {{86400 * 365, 0}, {86400 * 365, 0}};            // 1971-01-01 UTC
  const struct timespec later[2] = {{86400 * 366 * 2, 0}, {86400 * 366 * 2, 0}};  // 1972
  ASSERT_EQ(::utimensat(AT_FDCWD, (in + "/a.png").c_str(), old, 0), 0);
  ASSERT_EQ(::utimensat(AT_FDCWD, (in + "/b.png").c_str(), later, 0), 0);
  ASSERT_EQ(::utimensat(AT_FDCWD, (in + "/shot.jpg").c_str(), later, 0), 0);  // EXIF wins
  ::setenv("TZ", "UTC", 1);
  ::tzset();

  const std::string out = dir.File("out");
  RunOutput run = RunBatch(Options({"--name", "{date:%Y}/{name}_{width}x{height}", "-s", "32",
                                    "--no-subfolders", "-d", out, in}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names(out), (std::vector<std::string>{"1971/a_32x16.png", "1972/b_16x32.png",
                                                  "2019/shot_32x32.jpg"}));

  // A template that gives several files one name: numbered, without and with --overwrite, and
  // a second run with --overwrite replaces exactly the first run's files.
  for (const bool overwrite : {false, true}) {
    const std::string same = dir.File(overwrite ? "same-overwrite" : "same");
    std::vector<std::string> args = {"--name", "pic", "-f", "png", "-d", same, "-j", "1", in};
    if (overwrite) args.insert(args.begin(), "--overwrite");
    CliOptions o = Options(args);
    o.jobs = 1;
    ASSERT_EQ(RunBatch(o).status, 0);
    const std::vector<std::string> want = {"pic.png", "pic[1].png", "pic[2].png", "pic[3].png"};
    EXPECT_EQ(Names(same), want);
    ASSERT_EQ(RunBatch(o).status, 0);
    if (overwrite)
      EXPECT_EQ(Names(same), want);
    else
      EXPECT_EQ(Names(same).size(), 8u);
  }
}

TEST(CliNames, NamesThatLeaveTheDestinationFailAndWriteNothing) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  WritePng(in + "/...png", 8, 8);  // its {name} is ".."
  WritePng(in + "/ok.png", 8, 8);
  const std::string out = dir.File("d/out");
  CliOptions o = Options({"--name", "{name}/x{index}", "-d", out, in + "/...png", in + "/ok.png"});
  o.quiet = false;
  const RunOutput run = RunBatch(o);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Output name \"../x1\" leaves the destination folder"), std::string::npos)
      << run.err;
  EXPECT_EQ(Names(dir.File("d")), (std::vector<std::string>{"out/ok/x2.png"}));

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--name", "../{name}", "x"},
                                             {"--name", "/tmp/{name}", "x"},
                                             {"--name", "{name}", "--prefix", "p", "x"},
                                             {"--name", "{name}", "--copy", "-d", "o", "x"},
                                             {"--keep-tree", "x"}}) {
    const ParseResult r = Parse(args);
    EXPECT_FALSE(r.options) << args[1];
    EXPECT_EQ(r.exit_status, 2);
  }
}

TEST(CliKeepTree, MirrorsFoldersForResizeAndCopyWhereFlatNamesWouldClash) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in + "/sub/deeper");
  WritePng(in + "/a.png", 40, 20);
  WritePng(in + "/sub/a.png", 20, 40);
  WritePng(in + "/sub/deeper/a.png", 10, 10);
  WritePng(dir.File("single.png"), 10, 10);

  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {{}, {"a.png", "a[1].png", "a[2].png", "single.png"}},
      {{"--keep-tree"}, {"a.png", "single.png", "sub/a.png", "sub/deeper/a.png"}},
      {{"--keep-tree", "--copy"}, {"a.png", "single.png", "sub/a.png", "sub/deeper/a.png"}},
      {{"--keep-tree", "--name", "t_{name}"},
       {"sub/deeper/t_a.png", "sub/t_a.png", "t_a.png", "t_single.png"}},
      {{"--keep-tree", "--name", "{name}/{dir}"},  // {dir} placed by the template itself
       {"a.png", "a/sub.png", "a/sub/deeper.png", "single.png"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string out = dir.File("out" + std::to_string(n++));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-s", "16", "-d", out, in, dir.File("single.png")});
    CliOptions o = Options(args);
    o.jobs = 1;
    ASSERT_EQ(RunBatch(o).status, 0) << n;
    EXPECT_EQ(Names(out), c.names) << n;
  }
  // Copies are the sources' bytes.
  EXPECT_EQ(test::ReadBytes(dir.File("out2/sub/deeper/a.png")),
            test::ReadBytes(in + "/sub/deeper/a.png"));
}

}  // namespace
}  // namespace tessane::cli
