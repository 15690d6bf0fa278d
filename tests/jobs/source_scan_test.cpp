#include "jobs/source_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/cancel.h"
#include "base/errors.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace tessane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void Touch(const std::string& path) {
  test::WriteBytes(path, {0});
}

// Runs one scan and returns what it added, in order.
std::vector<std::string> Added(const std::string& path, bool includeSubfolders) {
  std::vector<std::string> out;
  AddPath(path, includeSubfolders, [&](const std::string& p) { out.push_back(p); });
  return out;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// root/a.jpg  root/.b.jpg  root/notes.txt  root/.hidden/d.png
// root/sub/c.png  root/sub/deeper/e.gif  root/sub/deeper/f.tif  root/z.bmp
class SourceScanTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"/.hidden", "/sub", "/sub/deeper"}) fs::create_directory(root() + d);
    for (const char* f : {"/a.jpg", "/.b.jpg", "/notes.txt", "/.hidden/d.png", "/sub/c.png",
                          "/sub/deeper/e.gif", "/sub/deeper/f.tif", "/z.bmp"})
      Touch(root() + f);
  }
  std::string root() const { return dir_.Path(); }
  std::string at(const std::string& rel) const { return root() + "/" + rel; }

  TempDir dir_;
};

TEST_F(SourceScanTree, SkipsDotNamesAndDescendsOnlyWithSubfolders) {
  EXPECT_EQ(Sorted(Added(root(), false)), Sorted({at("a.jpg"), at("z.bmp")}));
  const auto all = Added(root(), true);
  EXPECT_EQ(Sorted(all), Sorted({at("a.jpg"), at("z.bmp"), at("sub/c.png"), at("sub/deeper/e.gif"),
                                 at("sub/deeper/f.tif")}));
  // Depth first: everything below sub/ arrives in one run, before the next entry of the root.
  std::vector<bool> inSub;
  for (const auto& p : all) inSub.push_back(p.starts_with(at("sub/")));
  const auto first = std::find(inSub.begin(), inSub.end(), true);
  const auto last = std::find(inSub.rbegin(), inSub.rend(), true).base();
  EXPECT_EQ(std::count(first, last, true), 3);
  EXPECT_EQ(last - first, 3);
}

// A stop of the work that scans (a large tree) ends the scan at once.
TEST_F(SourceScanTree, StopOfTheWorkEndsTheScan) {
  std::atomic<bool> stop{false};
  const CancelScope scope(&stop);
  std::vector<std::string> out;
  EXPECT_THROW(AddPath(root(), true,
                       [&](const std::string& p) {
                         out.push_back(p);
                         stop = true;
                       }),
               AbortError);
  EXPECT_EQ(out.size(), 1u);
}

// Lists and the command's numbering follow the names, not the order the file system keeps.
TEST(SourceScanOrder, FilesAndFoldersComeInNaturalNameOrder) {
  TempDir dir;
  fs::create_directory(dir.File("pic_5"));
  const std::vector<std::string> names = {"pic_1855.jpg", "pic_10.jpg", "pic_2.jpg",  "Pic_1.png",
                                          "pic_0877.jpg", "pic_02.jpg", "pic_5/x.jpg"};
  for (const std::string& name : names) Touch(dir.File(name));
  const std::vector<std::string> expected = {"Pic_1.png",   "pic_02.jpg", "pic_2.jpg",
                                             "pic_5/x.jpg", "pic_10.jpg", "pic_0877.jpg",
                                             "pic_1855.jpg"};
  std::vector<std::string> listed;
  for (const std::string& path : Added(dir.Path(), true))
    listed.push_back(path.substr(dir.Path().size() + 1));
  EXPECT_EQ(listed, expected);

  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  for (const Case& c :
       {Case{"a2", "a10", true}, Case{"a10", "a2", false}, Case{"b", "A", false},
        Case{"x9y", "x09y", false}, Case{"x09y", "x9y", true}, Case{"a", "a1", true},
        Case{"same", "same", false}, Case{"z99999999999999999999", "z100", false}})
    EXPECT_EQ(NaturalNameLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

TEST_F(SourceScanTree, TrailingSeparatorStillGetsOneInserted) {
  EXPECT_EQ(Sorted(Added(root() + "/", false)), Sorted({root() + "//a.jpg", root() + "//z.bmp"}));
}

TEST_F(SourceScanTree, SameFolderTwiceListsItsFilesTwice) {
  std::vector<std::string> out;
  auto add = [&](const std::string& p) { out.push_back(p); };
  AddPath(root(), true, add);
  const size_t once = out.size();
  ASSERT_EQ(once, 5u);
  AddPath(root(), true, add);
  EXPECT_EQ(out.size(), 2 * once);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + once, out.begin() + once));
}

TEST_F(SourceScanTree, SymbolicLinkLoopsEndAndEachFolderIsEnteredOnce) {
  fs::create_directory_symlink(root(), at("sub/deeper/up"));  // back to the root
  fs::create_directory_symlink(".", at("sub/self"));          // to itself
  fs::create_directory_symlink(at("sub"), at("sub2"));        // a second way into sub
  fs::create_symlink(at("a.jpg"), at("link.png"));            // a link to a file is a file
  fs::create_symlink(at("missing"), at("dangling.jpg"));      // counts as an empty folder
  const auto all = Added(root(), true);
  // Each real folder is listed once, whichever way the scan reached it first.
  EXPECT_EQ(all.size(), 6u);
  std::vector<std::string> names;
  for (const auto& p : all) names.push_back(fs::path(p).filename().string());
  EXPECT_EQ(Sorted(names), Sorted({"a.jpg", "z.bmp", "link.png", "c.png", "e.gif", "f.tif"}));
}

// A file reached twice (the same path, a folder and its own sub-folder, a link, a second hard
// link) is kept once, where it was first reached.
TEST_F(SourceScanTree, FileReachedTwiceIsKeptOnceInItsFirstPlace) {
  fs::create_symlink(at("z.bmp"), at("sub/link.bmp"));
  fs::create_hard_link(at("a.jpg"), at("sub/hard.jpg"));
  std::vector<std::string> paths = Added(root(), true);
  const std::vector<std::string> firstScan = paths;  // every file of the tree once
  for (const std::string& p : Added(at("sub"), false)) paths.push_back(p);  // again, by sub/
  paths.push_back(at("a.jpg"));                                             // again, by name
  paths.push_back(at("missing.jpg"));  // cannot be examined: kept for its job to fail
  paths.push_back(at("missing.jpg"));
  // Of two ways to one file, the one the scan reached first stays.
  const auto later = [&](const std::string& a, const std::string& b) {
    const auto pa = std::find(firstScan.begin(), firstScan.end(), a);
    const auto pb = std::find(firstScan.begin(), firstScan.end(), b);
    return pa < pb ? b : a;
  };
  const std::string dropped[] = {later(at("z.bmp"), at("sub/link.bmp")),
                                 later(at("a.jpg"), at("sub/hard.jpg"))};
  std::vector<std::string> expected;
  for (const std::string& p : firstScan)
    if (p != dropped[0] && p != dropped[1]) expected.push_back(p);
  expected.push_back(at("missing.jpg"));
  expected.push_back(at("missing.jpg"));
  EXPECT_EQ(WithoutRepeats(paths), expected);
}

// An unreadable folder adds nothing, but is no longer passed over in silence.
TEST_F(SourceScanTree, UnreadableFolderAddsNothingAndIsReported) {
  ::chmod(at("sub").c_str(), 0);
  std::vector<std::string> added;
  std::vector<std::pair<std::string, std::string>> failed;
  auto add = [&](const std::string& p) { added.push_back(p); };
  auto fail = [&](const std::string& p, const std::string& m) { failed.emplace_back(p, m); };
  test::WithoutFileRights([&] {
    AddPath(root(), true, add, fail);
    AddPath(at("sub"), true, add, fail);
  });
  ::chmod(at("sub").c_str(), 0755);
  EXPECT_EQ(Sorted(added), Sorted({at("a.jpg"), at("z.bmp")}));
  const std::pair<std::string, std::string> denied{at("sub"), "Permission denied"};
  EXPECT_EQ(failed, (std::vector<std::pair<std::string, std::string>>{denied, denied}));
}

// Removes `name` below `parent`: its p.jpg and the chain of same-named folders below it.
void RemoveChain(int parent, const std::string& name) {
  const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::unlinkat(fd, "p.jpg", 0);
  RemoveChain(fd, name);
  ::close(fd);
  ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// The walk goes down by relative names, so depth never breaks it; a folder whose path is too
// long for a job to open its files is reported rather than left out without a word.
TEST(SourceScan, TreeDeeperThanAPathIsWalkedAndItsTooDeepPartReported) {
  TempDir dir;
  const std::string level(200, 'd');
  int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
  std::string path = dir.Path();
  std::string deepest;
  while (path.size() < PATH_MAX + 300) {
    ASSERT_EQ(::mkdirat(fd, level.c_str(), 0755), 0);
    const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    path += "/" + level;
    ::close(::openat(fd, "p.jpg", O_CREAT | O_WRONLY, 0644));
    if (path.size() < PATH_MAX) deepest = path + "/p.jpg";
  }
  ::close(fd);
  std::vector<std::string> added;
  std::vector<std::string> failed;
  AddPath(
      dir.Path(), true, [&](const std::string& p) { added.push_back(p); },
      [&](const std::string& p, const std::string& m) {
        EXPECT_EQ(m, "Folder too deep for a path");
        failed.push_back(p);
      });
  ASSERT_FALSE(added.empty());
  // Names in order put each folder before its p.jpg: the deepest file reachable is the longest.
  EXPECT_EQ(*std::max_element(
                added.begin(), added.end(),
                [](const std::string& a, const std::string& b) { return a.size() < b.size(); }),
            deepest);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_GE(failed[0].size(), size_t{PATH_MAX});
  // Removing it needs relative names as well.
  const int top = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
  RemoveChain(top, level);
  ::close(top);
}

TEST(SourceScan, MissingPathCountsAsFolderAndAddsNothing) {
  TempDir dir;
  EXPECT_TRUE(IsFolder(dir.File("gone.jpg")));
  EXPECT_TRUE(Added(dir.File("gone.jpg"), true).empty());
  Touch(dir.File("here.jpg"));
  EXPECT_FALSE(IsFolder(dir.File("here.jpg")));
  EXPECT_EQ(Added(dir.File("here.jpg"), false), std::vector<std::string>{dir.File("here.jpg")});
  Touch(dir.File("here.txt"));
  EXPECT_TRUE(Added(dir.File("here.txt"), false).empty());
}

TEST(SourceScan, ExtensionIsAcceptedWhenItOccursAnywhereInTheFilterText) {
  const struct {
    const char* path;
    bool accepted;
  } cases[] = {
      {"/p/photo.jpg", true},       {"/p/PHOTO.JPG", true},         {"/p/photo.Jp2", true},
      {"/p/photo.jp", true},   // a piece of ".jpg"
      {"/p/capture.x", true},  // a piece of the caption "Word 5.x"
      {"/p/trailing.", true},  // "." alone occurs in every "*.ext"
      {"/p/noextension", false},    {"/p/folder.jpg/noext", false}, {"/p/notes.txt", false},
      {"/p/archive.tar.gz", false}, {"/p/photo.jpgx", false},       {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(AcceptedExtension(c.path), c.accepted) << c.path;
}

}  // namespace
}  // namespace tessane
