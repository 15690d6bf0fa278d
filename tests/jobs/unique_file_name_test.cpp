#include "jobs/unique_file_name.h"

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tessane {
namespace {

struct UniqueCase {
  std::vector<std::string> files;    // made before the call
  std::vector<std::string> folders;  // made before the call
  const char* path;
  const char* expected;
};

TEST(UniqueFileName, FirstFreeNumberedName) {
  const UniqueCase cases[] = {
      {{}, {}, "a.jpg", "a.jpg"},
      {{"a.jpg"}, {}, "a.jpg", "a[1].jpg"},
      {{"a.jpg", "a[1].jpg"}, {}, "a.jpg", "a[2].jpg"},
      // Numbers never accumulate: each candidate is made from the given path.
      {{"a.jpg", "a[1].jpg", "a[2].jpg", "a[1][1].jpg"}, {}, "a.jpg", "a[3].jpg"},
      {{"a.b.jpg"}, {}, "a.b.jpg", "a.b[1].jpg"},
      {{"a"}, {}, "a", "a[1]"},
      {{"d.x/a"}, {"d.x"}, "d.x/a", "d.x/a[1]"},
      // A folder of that name does not count as taken, and a gap is not filled from above.
      {{}, {"a.jpg"}, "a.jpg", "a.jpg"},
      {{"a[1].jpg"}, {}, "a.jpg", "a.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    test::TempDir dir;
    for (const auto& f : c.folders) std::filesystem::create_directories(dir.File(f));
    for (const auto& f : c.files) test::WriteBytes(dir.File(f), {1});
    EXPECT_EQ(UniqueFileName(dir.File(c.path)), dir.File(c.expected));
  }
}

}  // namespace
}  // namespace tessane
