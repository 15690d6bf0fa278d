#include "jobs/unique_file_name.h"

#include <filesystem>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "jobs/run_files.h"
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
      // A folder takes a name as much as a file does; a gap is not filled from above.
      {{}, {"a.jpg"}, "a.jpg", "a[1].jpg"},
      {{"a.jpg"}, {"a[1].jpg"}, "a.jpg", "a[2].jpg"},
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

// A batch's numbered names go on from the last number it claimed: each claim looks at one or two
// names instead of every earlier one, and a gap that opens behind it is not gone back to.
TEST(UniqueFileName, BatchGoesOnFromItsLastClaimedNumber) {
  test::TempDir dir;
  const std::string name = dir.File("a.jpg");
  test::WriteBytes(name, {1});
  RunFiles run;
  for (const char* expected : {"a[1].jpg", "a[2].jpg", "a[3].jpg"}) {
    AtomicFile file(name);
    EXPECT_EQ(CommitUnique(file, name, &run), dir.File(expected));
  }
  EXPECT_EQ(run.FirstNumber(name), 4u);
  std::filesystem::remove(dir.File("a[1].jpg"));
  EXPECT_EQ(UniqueFileName(name, &run), dir.File("a[4].jpg"));
  EXPECT_EQ(UniqueFileName(name), dir.File("a[1].jpg"));  // without the batch: from the start
  // A number another writer took meanwhile is passed over and remembered too.
  test::WriteBytes(dir.File("a[4].jpg"), {2});
  AtomicFile file(name);
  EXPECT_EQ(CommitUnique(file, name, &run), dir.File("a[5].jpg"));
  EXPECT_EQ(run.FirstNumber(name), 6u);
  EXPECT_EQ(run.FirstNumber(dir.File("b.jpg")), 0u);
}

// Links count by themselves, wherever they point: a dangling one once made every job spin.
TEST(UniqueFileName, LinksTakeTheirNameEvenWhenTheyPointNowhere) {
  test::TempDir dir;
  test::WriteBytes(dir.File("real.jpg"), {1});
  std::filesystem::create_symlink(dir.File("real.jpg"), dir.File("a.jpg"));
  std::filesystem::create_symlink(dir.File("missing"), dir.File("a[1].jpg"));
  std::filesystem::create_symlink(dir.File("loop"), dir.File("loop"));
  EXPECT_EQ(UniqueFileName(dir.File("a.jpg")), dir.File("a[2].jpg"));
  EXPECT_EQ(UniqueFileName(dir.File("loop")), dir.File("loop[1]"));
}

// A name that cannot be used comes back as it is, so that creating it fails with the reason
// instead of the search running on.
TEST(UniqueFileName, UnusableNameIsReturnedForItsCreationToFail) {
  test::TempDir dir;
  const std::string longest = dir.File(std::string(251, 'n') + ".jpg");  // 255 bytes
  test::WriteBytes(longest, {1});
  const std::string numbered = dir.File(std::string(251, 'n') + "[1].jpg");
  EXPECT_EQ(UniqueFileName(longest), numbered);
  AtomicFile file(numbered);
  try {
    file.CommitAs(numbered);
    ADD_FAILURE() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(e.what(), "Cannot create file \"" + numbered + "\". File name too long");
  }
  test::WriteBytes(dir.File("file"), {1});
  EXPECT_EQ(UniqueFileName(dir.File("file/x.jpg")), dir.File("file/x.jpg"));
}

}  // namespace
}  // namespace tessane
