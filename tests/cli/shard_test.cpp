// --shard K/N: N runs write exactly what one run writes, and their reports cover every file once.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "cli/batch_fixture.h"
#include "cli/shard.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

TEST(Shard, ParsesKOfNAndHashesWithFnv1a64) {
  EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Fnv1a64("foobar"), 0x85944171f73967e8ull);
  const auto s = ParseShard("3/7");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->index, 3u);
  EXPECT_EQ(s->count, 7u);
  EXPECT_TRUE(ParseShard("1/1"));
  for (const char* bad :
       {"0/3", "4/3", "1/0", "3", "/3", "1/", "a/b", "-1/3", "1/3/4", " 1/3", "1 /3"})
    EXPECT_FALSE(ParseShard(bad)) << bad;
  EXPECT_EQ(Parse({"--shard", "0/2", "x"}).exit_status, 2);
}

std::vector<std::vector<std::string>> ReportRows(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    rows.push_back(fields);
  }
  return rows;
}

TEST(CliShard, ShardRunsTogetherWriteExactlyOneRunsOutputsAndReportEveryFileOnce) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in + "/a/b");
  const char* names[] = {"one.png", "a/two.png", "a/three.jpg", "a/b/four.bmp", "a/b/five.png"};
  int n = 0;
  for (const char* name : names) {
    const std::string path = in + "/" + name;
    const int32_t side = 20 + 7 * n++;
    if (path.ends_with(".jpg"))
      WriteJpeg(path, side, side / 2);
    else if (path.ends_with(".bmp"))
      Halves(side, side / 2).SaveToFile(path);
    else
      WritePng(path, side, side / 2);
  }
  WritePng(dir.File("loose.png"), 30, 30);
  const std::vector<std::string> args = {"-s",
                                         "16",
                                         "--keep-tree",
                                         "--name",
                                         "{index:2}-{name}",
                                         in,
                                         dir.File("loose.png"),
                                         dir.File("missing.png")};
  auto withArgs = [&](std::vector<std::string> more) {
    more.insert(more.end(), args.begin(), args.end());
    return Options(more);
  };
  ASSERT_EQ(RunBatch(withArgs({"-d", dir.File("whole")})).status, 1);  // missing.png
  const auto whole = Tree(dir.File("whole"));
  ASSERT_EQ(whole.size(), 6u);

  for (const uint32_t count : {1u, 2u, 3u, 10u}) {  // 10: more shards than files
    const std::string out = dir.File("sharded" + std::to_string(count));
    std::multiset<std::string> reported;
    for (uint32_t k = 1; k <= count; ++k) {
      const std::string report = out + "-report" + std::to_string(k) + ".tsv";
      const std::string shard = std::to_string(k) + "/" + std::to_string(count);
      const RunOutput run = RunBatch(withArgs({"--shard", shard, "-d", out, "--report", report}));
      EXPECT_LE(run.status, 1) << shard << run.err;
      for (const auto& row : ReportRows(report)) reported.insert(row[0]);
    }
    EXPECT_EQ(Tree(out), whole) << count << " shards";
    std::multiset<std::string> want = {dir.File("loose.png"), dir.File("missing.png")};
    for (const char* name : names) want.insert(in + "/" + name);
    EXPECT_EQ(reported, want) << count << " shards";
  }
}

// The shard of a file does not depend on where its folder is mounted.
TEST(CliShard, MachinesThatMountTheFilesElsewhereAgree) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in + "/x");
  for (int i = 0; i < 12; ++i) WritePng(in + "/x/p" + std::to_string(i) + ".png", 4, 4);
  fs::create_directories(dir.File("mnt/elsewhere"));
  fs::create_directory_symlink(in, dir.File("mnt/elsewhere/photos"));
  for (const std::string shard : {"1/3", "2/3", "3/3"}) {
    const RunOutput here = RunBatch(Options({"-n", "--shard", shard, "-d", "out", in}));
    const RunOutput there =
        RunBatch(Options({"-n", "--shard", shard, "-d", "out", dir.File("mnt/elsewhere/photos")}));
    std::string moved = here.out;
    for (size_t at; (at = moved.find(in)) != std::string::npos;)
      moved.replace(at, in.size(), dir.File("mnt/elsewhere/photos"));
    EXPECT_EQ(moved, there.out) << shard;
    EXPECT_FALSE(here.out.empty()) << shard;  // 12 files fall into each of 3 shards here
  }
}

}  // namespace
}  // namespace tessane::cli
