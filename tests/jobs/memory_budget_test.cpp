// The memory budget: reservations together never exceed it, a wait ends with room or a stop,
// and a resize job weighs its picture against it from the header, before anything is decoded.

#include "jobs/memory_budget.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "formats/command_line_formats.h"
#include "formats/png/png_graphic.h"
#include "jobs/resize_job.h"
#include "support/hostile_files.h"
#include "support/job_requests.h"
#include "support/png_fixture.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::TempDir;

TEST(MemoryBudget, ReservationsUnderWayNeverExceedItAndAllComeBack) {
  MemoryBudget budget(1000);
  std::atomic<int64_t> held{0};
  std::atomic<int64_t> most{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const int64_t bytes = 150 + 97 * ((t + i) % 9);  // 150 .. 926: some cannot share
        MemoryBudget::Reservation r = budget.Reserve(bytes);
        const int64_t now = held += bytes;
        for (int64_t seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::yield();
        held -= bytes;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_LE(most.load(), 1000);
  EXPECT_GT(most.load(), 926);  // two did share it
  EXPECT_EQ(budget.InUse(), 0);
}

TEST(MemoryBudget, OnePictureAloneMayTakeItAllAndMoreIsClamped) {
  MemoryBudget budget(1000);
  EXPECT_TRUE(budget.Fits(1000));
  EXPECT_FALSE(budget.Fits(1001));
  {
    MemoryBudget::Reservation r = budget.Reserve(5000);
    EXPECT_EQ(r.Bytes(), 1000);
    r.ShrinkTo(300);
    EXPECT_EQ(budget.InUse(), 300);
    MemoryBudget::Reservation moved = std::move(r);
    EXPECT_EQ(budget.InUse(), 300);
  }
  EXPECT_EQ(budget.InUse(), 0);
}

TEST(MemoryBudget, AStopEndsAWaitForRoom) {
  MemoryBudget budget(1000);
  MemoryBudget::Reservation held = budget.Reserve(800);
  std::atomic<bool> stop{false};
  std::atomic<bool> aborted{false};
  std::thread waiter([&] {
    try {
      budget.Reserve(500, &stop);
    } catch (const AbortError&) {
      aborted = true;
    }
  });
  stop = true;
  waiter.join();
  EXPECT_TRUE(aborted.load());
  EXPECT_EQ(budget.InUse(), 800);
}

TEST(MemoryBudget, WaiterGoesOnOnceRoomIsGivenBack) {
  MemoryBudget budget(1000);
  auto held = std::make_unique<MemoryBudget::Reservation>(budget.Reserve(800));
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    MemoryBudget::Reservation r = budget.Reserve(500);
    got = true;
  });
  held.reset();
  waiter.join();
  EXPECT_TRUE(got.load());
  EXPECT_EQ(budget.InUse(), 0);
}

TEST(MemoryBudget, SizesForMessages) {
  EXPECT_EQ(FormatMemorySize(512), "512 bytes");
  EXPECT_EQ(FormatMemorySize(int64_t{3} << 19), "1.5 MiB");
  EXPECT_EQ(FormatMemorySize(int64_t{2} << 30), "2.0 GiB");
  EXPECT_EQ(FormatMemorySize(int64_t{300} << 20), "300 MiB");
  EXPECT_GT(DefaultMemoryBudget(), 0);
  EXPECT_LE(DefaultMemoryBudget(), int64_t{2} << 30);
}

// Each hostile file fails with the budget's message under a budget of 512 MiB, without being
// decoded, and leaves nothing behind.
struct OverBudgetCase {
  const char* name;
  const char* ext;
  std::function<std::vector<uint8_t>()> make;
  std::function<void(ResizeJob&)> adjust = nullptr;
};

void PrintTo(const OverBudgetCase& c, std::ostream* os) {
  *os << c.name;
}

class OverBudget : public ::testing::TestWithParam<OverBudgetCase> {};

TEST_P(OverBudget, FailsWithTheBudgetMessageBeforeDecoding) {
  RegisterCommandLineFormats();
  TempDir dir;
  const std::string source = dir.File(std::string("hostile.") + GetParam().ext);
  test::WriteBytes(source, GetParam().make());
  MemoryBudget budget(int64_t{512} << 20);
  ResizeJob job(test::Request(source, dir.File("out.jpg"), 320));
  job.budget = &budget;
  if (GetParam().adjust) GetParam().adjust(job);
  try {
    job.ProcessFile();
    ADD_FAILURE() << "written";
  } catch (const OutOfResourcesError& e) {
    EXPECT_NE(std::string(e.what()).find("more than the memory budget of 512 MiB"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.jpg")));
  EXPECT_EQ(budget.InUse(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, OverBudget,
    ::testing::Values(
        OverBudgetCase{"GifScreen16384", "gif", test::GifOnHugeScreen},
        OverBudgetCase{"JxlOf16384", "jxl", [] { return test::JxlHeader(16384, 16384); }},
        OverBudgetCase{"WebpCanvas16383", "webp", [] { return test::WebpOnCanvas(16383, 16383); }},
        OverBudgetCase{"PngOf16384WithBackground", "png",
                       [] { return test::PngDeclaring(16384, 16384); },
                       [](ResizeJob& job) { job.extras.background = 0xFFFFFF; }},
        OverBudgetCase{"TiffOf65535Strips", "tif", test::TiffOfManyStrips},
        // Decoded at half its size for this size, still 32750 x 32750.
        OverBudgetCase{"JpegOf65500", "jpg", [] { return test::JpegDeclaring(65500, 65500); },
                       [](ResizeJob& job) { job.size = 30000; }},
        OverBudgetCase{"HeifDeclaring16000", "heic",
                       [] { return test::HeifDeclaring("heif/photo.heic", 16000, 16000); }},
        OverBudgetCase{"AvifDeclaring16000", "avif",
                       [] { return test::HeifDeclaring("avif/photo.avif", 16000, 16000); }}),
    [](const ::testing::TestParamInfo<OverBudgetCase>& info) {
      return std::string(info.param.name);
    });

// A file larger than the budget whose header no reader accepts is not read at all: an 8 GB
// sparse file fails at once, with the budget in the message.
TEST(OverBudget, SparseFileLargerThanTheBudgetIsNotRead) {
  TempDir dir;
  const std::string source = dir.File("sparse.png");
  test::WriteBytes(source, {});
  ASSERT_EQ(truncate(source.c_str(), int64_t{8} << 30), 0);
  MemoryBudget budget(int64_t{512} << 20);
  ResizeJob job(test::Request(source, dir.File("out.jpg"), 320));
  job.budget = &budget;
  try {
    job.ProcessFile();
    ADD_FAILURE() << "written";
  } catch (const OutOfResourcesError& e) {
    EXPECT_STREQ(e.what(), "A file of 8.0 GiB needs more memory than the memory budget of 512 MiB");
  }
}

// A PNG scaled from its rows needs the band, not the picture: it is written under a budget the
// whole picture would not fit, and refused under it when it must be decoded whole (laid over a
// background).
TEST(OverBudget, RowsOfAPngCountTheBandOnly) {
  TempDir dir;
  const std::string source = dir.File("large.png");
  // Grey, 8000 x 8000: 64 MB of rows, four times that as a 32-bit picture.
  test::WriteBytes(source, test::PngDeclaring(8000, 8000, 0, test::ZlibZeros(8000 * 8001)));
  MemoryBudget budget(int64_t{256} << 20);
  {
    ResizeJob job(test::Request(source, dir.File("rows.png"), 100));
    job.budget = &budget;
    job.ProcessFile();
    EXPECT_TRUE(job.Written());
    EXPECT_GT(job.ReservedBytes(), 0);
    EXPECT_LT(job.ReservedBytes(), int64_t{64} << 20);
  }
  ResizeJob whole(test::Request(source, dir.File("whole.png"), 100));
  whole.budget = &budget;
  whole.extras.background = 0xFFFFFF;
  EXPECT_THROW(whole.ProcessFile(), OutOfResourcesError);
  EXPECT_EQ(budget.InUse(), 0);
}

}  // namespace
}  // namespace tessane
