#include "app/memory_usage.h"

#include <string>

#include "base/errors.h"
#include "support/test_support.h"

namespace tessane {
namespace {

TEST(MemoryUsage, ReadsThisProcessInBytes) {
  const uint64_t current = GetMemoryUsage();
  const uint64_t peak = GetPeakMemoryUsage();
  EXPECT_GT(current, 1024u * 1024u);  // any process linking Qt has more than 1 MiB resident
  EXPECT_EQ(current % 1024, 0u);
  EXPECT_GE(peak, current);
}

TEST(MemoryUsage, StatusTextIsParsedStrictly) {
  const std::string kNoFigure = "System Error.  Code: 0.\r\nA call to an OS function failed";
  const struct {
    const char* text;
    uint64_t rss;  // 0: the read must fail with kNoFigure
    uint64_t hwm;
  } cases[] = {
      {"Name:\tx\nVmHWM:\t    8192 kB\nVmRSS:\t    5120 kB\nThreads:\t1\n", 5120 * 1024,
       8192 * 1024},
      {"VmRSSX:\t1 kB\nVmRSS:\t2 kB\nVmHWM:\t3 kB", 2048, 3072},  // last line without newline
      {"Name:\tx\n", 0, 0},                                       // kernel threads have no figures
      {"VmRSS:\tabc kB\nVmHWM:\t kB\n", 0, 0},
      {"VmRSS:\t5120 MB\nVmHWM:\t5120\n", 0, 0},  // unknown or missing unit
      {"VmRSS:\t99999999999999999999 kB\nVmHWM:\t18014398509481984 kB\n", 0, 0},  // overflow
      {"", 0, 0},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("status");
    test::WriteBytes(path,
                     std::vector<uint8_t>(c.text, c.text + std::char_traits<char>::length(c.text)));
    for (const auto& [expected, read] :
         {std::pair{c.rss, &GetMemoryUsage}, std::pair{c.hwm, &GetPeakMemoryUsage}}) {
      if (expected != 0) {
        EXPECT_EQ(read(path), expected) << c.text;
        continue;
      }
      try {
        read(path);
        ADD_FAILURE() << "no error for: " << c.text;
      } catch (const SystemError& e) {
        EXPECT_EQ(e.what(), kNoFigure) << c.text;
      }
    }
  }
}

TEST(MemoryUsage, UnreadableStatusRaisesTheSystemError) {
  test::TempDir dir;
  const struct {
    std::string path;
    const char* message;
  } cases[] = {
      {dir.File("missing"), "System Error.  Code: 2.\r\nNo such file or directory"},
      {dir.Path(), "System Error.  Code: 21.\r\nIs a directory"},
  };
  for (const auto& c : cases) {
    try {
      GetMemoryUsage(c.path);
      ADD_FAILURE() << "no error for " << c.path;
    } catch (const SystemError& e) {
      EXPECT_EQ(e.what(), std::string(c.message));
    }
  }
}

}  // namespace
}  // namespace tessane
