// --max-memory: sizes with units, the budget's message for a picture that needs more, and
// parallel workers that wait for room instead of failing or exceeding it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_fixture.h"
#include "jobs/memory_budget.h"
#include "jobs/resize_job.h"
#include "support/hostile_files.h"
#include "support/job_requests.h"

namespace tessane::cli::batch_test {
namespace {

TEST(MaxMemory, SizesTakeBinaryUnits) {
  const std::pair<const char*, int64_t> accepted[] = {
      {"1048576", 1048576},     {"64K", 64 << 10},          {"512m", 512 << 20},
      {"3G", int64_t{3} << 30}, {"2GiB", int64_t{2} << 30}, {"100MB", 100 << 20}};
  for (const auto& [text, bytes] : accepted) {
    EXPECT_EQ(ParseMemorySize(text), bytes) << text;
    EXPECT_EQ(Options({"--max-memory", text, "x"}).max_memory, bytes) << text;
  }
  for (const char* text : {"", "0", "0G", "G", "1.5G", "-1G", "12X", "99999999999999G"}) {
    EXPECT_FALSE(ParseMemorySize(text).has_value()) << text;
    const ParseResult r = Parse({"--max-memory", text, "x"});
    EXPECT_EQ(r.exit_status, 2) << text;
    EXPECT_FALSE(r.options.has_value()) << text;
  }
  EXPECT_EQ(Options({"x"}).max_memory, 0);  // the default budget
}

TEST(MaxMemory, PictureOverTheBudgetFailsWithItsSizeNeedAndTheBudget) {
  test::TempDir dir;
  WriteJpeg(dir.File("a.jpg"), 1200, 900);
  test::WriteBytes(dir.File("gif.gif"), test::GifOnHugeScreen());
  const RunOutput run = RunBatch(Options(
      {"--max-memory", "1M", "-d", dir.File("out"), dir.File("a.jpg"), dir.File("gif.gif")}));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("A picture of 1200 x 900 pixels needs about "), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("A picture of 16384 x 16384 pixels needs about 1."), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("of memory, more than the memory budget of 1.0 MiB"), std::string::npos)
      << run.err;
  EXPECT_TRUE(Names(dir.File("out")).empty());
}

// Eight workers over eight pictures under a budget that holds one picture's need but not two:
// they take turns, and every picture is written.
TEST(MaxMemory, WorkersWaitForRoomAndAllPicturesAreWritten) {
  test::TempDir dir;
  std::vector<std::string> args;
  for (const char* base :
       {"p0.png", "p1.png", "p2.png", "p3.png", "p4.png", "p5.png", "p6.png", "p7.png"}) {
    const std::string name = dir.File(base);
    WritePng(name, 640, 480);
    args.push_back(name);
  }
  MemoryBudget probe(int64_t{1} << 30);
  ResizeJob one(test::Request(args.front(), dir.File("probe.jpg"), 320));
  one.budget = &probe;
  one.ProcessFile();
  const int64_t need = one.ReservedBytes();
  ASSERT_GT(need, 0);
  std::filesystem::remove(dir.File("probe.jpg"));

  args.insert(args.begin(),
              {"--max-memory", std::to_string(need + need / 2), "-d", dir.File("out"), "-j", "8"});
  CliOptions options = Options(args);
  options.jobs = 8;
  const RunOutput run = RunBatch(options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names(dir.File("out")).size(), 8u);
}

}  // namespace
}  // namespace tessane::cli::batch_test
