#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace tessane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Every name in the folder, sorted: temporaries show up here.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void Put(AtomicFile& file, const std::string& text) {
  file.Stream().WriteBuffer(text.data(), text.size());
}

std::string Text(const std::string& path) {
  const auto bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class AtomicFileKinds : public ::testing::TestWithParam<bool> {};

// Both kinds of temporary: the unnamed file, and the hidden sibling of file systems without one.
INSTANTIATE_TEST_SUITE_P(Temporaries, AtomicFileKinds, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

TEST_P(AtomicFileKinds, NothingIsLeftUnlessCommitted) {
  TempDir dir;
  {
    AtomicFile file(dir.File("out.jpg"), GetParam());
    Put(file, "data");
    if (file.Unnamed()) {
      EXPECT_TRUE(Listing(dir.Path()).empty());  // invisible while written
    }
  }
  EXPECT_TRUE(Listing(dir.Path()).empty());
  AtomicFile file(dir.File("out.jpg"), GetParam());
  Put(file, "data");
  file.Commit();
  EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"out.jpg"});
  EXPECT_EQ(Text(dir.File("out.jpg")), "data");
}

// Anything at the name refuses the claim, and the data wait for the next name.
TEST_P(AtomicFileKinds, ClaimRefusesEveryKindOfTakenName) {
  TempDir dir;
  test::WriteBytes(dir.File("file.jpg"), {'o', 'l', 'd'});
  fs::create_directory(dir.File("folder.jpg"));
  fs::create_symlink(dir.File("file.jpg"), dir.File("link.jpg"));
  fs::create_symlink(dir.File("nowhere"), dir.File("dangling.jpg"));
  AtomicFile file(dir.File("x.jpg"), GetParam());
  Put(file, "new");
  for (const char* name : {"file.jpg", "folder.jpg", "link.jpg", "dangling.jpg"})
    EXPECT_FALSE(file.CommitAs(dir.File(name))) << name;
  EXPECT_TRUE(file.CommitAs(dir.File("free.jpg")));
  EXPECT_EQ(file.Target(), dir.File("free.jpg"));
  EXPECT_EQ(Text(dir.File("free.jpg")), "new");
  EXPECT_EQ(Text(dir.File("file.jpg")), "old");
  EXPECT_FALSE(fs::exists(dir.File("nowhere")));
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"dangling.jpg", "file.jpg",
                                                           "folder.jpg", "free.jpg", "link.jpg"}));
}

TEST_P(AtomicFileKinds, CommitReplacesFilesAndLinksButNotFolders) {
  TempDir dir;
  test::WriteBytes(dir.File("file.jpg"), {'o', 'l', 'd'});
  fs::create_symlink(dir.File("nowhere"), dir.File("dangling.jpg"));
  fs::create_directory(dir.File("folder.jpg"));
  for (const char* name : {"file.jpg", "dangling.jpg"}) {
    AtomicFile file(dir.File(name), GetParam());
    Put(file, "new");
    file.Commit();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.File(name)))) << name;
    EXPECT_EQ(Text(dir.File(name)), "new");
  }
  EXPECT_FALSE(fs::exists(dir.File("nowhere")));  // the link was replaced, not followed
  {
    AtomicFile file(dir.File("folder.jpg"), GetParam());
    Put(file, "new");
    EXPECT_THROW(file.Commit(), FileCreateError);
  }
  EXPECT_TRUE(fs::is_directory(dir.File("folder.jpg")));
  EXPECT_EQ(Listing(dir.Path()),
            (std::vector<std::string>{"dangling.jpg", "file.jpg", "folder.jpg"}));
}

// A name of the longest length the file system takes leaves no room for a longer temporary.
TEST_P(AtomicFileKinds, LongestNameWorks) {
  TempDir dir;
  const std::string name = std::string(251, 'x') + ".jpg";
  ASSERT_EQ(name.size(), 255u);
  AtomicFile file(dir.File(name), GetParam());
  Put(file, "data");
  EXPECT_TRUE(file.CommitAs(dir.File(name)));
  EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{name});
}

// The id of a process that has ended (and been reaped): no temporary of it will be committed.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// A replaced output's temporary carries the writer's process id: what a kill leaves behind can be
// told from what a running writer still needs.
TEST(AtomicFile, HiddenTemporaryCarriesTheProcessId) {
  TempDir dir;
  AtomicFile file(dir.File("out.jpg"), /*unnamed=*/false);
  const std::vector<std::string> names = Listing(dir.Path());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].rfind(".tessane-" + std::to_string(::getpid()) + "-", 0), 0u) << names[0];
}

TEST(AtomicFile, StaleTemporariesOfEndedProcessesAreRemoved) {
  TempDir dir;
  const std::string dead = std::to_string(EndedProcess());
  const std::string self = std::to_string(::getpid());
  const std::vector<std::string> stale = {".tessane-" + dead + "-abc123"};
  const std::vector<std::string> kept = {
      ".tessane-" + self + "-abc123",   // this process may still commit it
      ".tessane-1-abc123",              // a process that runs
      ".tessane-abc123",                // no process id: not told apart, left
      ".tessane-" + dead + "-abc1234",  // not a temporary's name
      ".tessane-" + dead + "-ab",       // nor this
      "photo.jpg",
  };
  for (const auto& name : stale) test::WriteBytes(dir.File(name), {1});
  for (const auto& name : kept) test::WriteBytes(dir.File(name), {1});
  fs::create_directory(dir.File(".tessane-" + dead + "-folder"));  // only files are removed
  fs::create_symlink("photo.jpg", dir.File(".tessane-" + dead + "-link12"));

  RemoveStaleTemporaries(dir.Path());

  std::vector<std::string> expected = kept;
  expected.push_back(".tessane-" + dead + "-folder");
  expected.push_back(".tessane-" + dead + "-link12");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(dir.Path()), expected);
  RemoveStaleTemporaries(dir.File("missing"));  // a folder that is not there: nothing happens
}

TEST(AtomicFile, FolderThatCannotBeWrittenFailsWithTheReason) {
  TempDir dir;
  fs::create_directory(dir.File("locked"));
  ::chmod(dir.File("locked").c_str(), 0555);
  std::string message;
  test::WithoutFileRights([&] {
    try {
      AtomicFile file(dir.File("locked/out.jpg"));
    } catch (const FileCreateError& e) {
      message = e.what();
    }
  });
  EXPECT_EQ(message, "Cannot create file \"" + dir.File("locked/out.jpg") + "\". Permission denied");
  EXPECT_TRUE(Listing(dir.File("locked")).empty());
  ::chmod(dir.File("locked").c_str(), 0755);
}

TEST(Stream, WriteErrorsNameTheirCause) {
  FileStream full("/dev/full", FileMode::kCreate);
  const std::vector<uint8_t> bytes(100, 1);
  try {
    full.WriteBuffer(bytes.data(), bytes.size());
    FAIL() << "no error";
  } catch (const StreamWriteError& e) {
    EXPECT_STREQ(e.what(), "Stream write error: No space left on device");
  }
  // A read that meets the end has no cause to add.
  MemoryStream memory;
  uint8_t byte;
  try {
    memory.ReadBuffer(&byte, 1);
    FAIL() << "no error";
  } catch (const StreamReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
}

// Opening such a name must neither block (a FIFO without a writer) nor read a device.
TEST(Stream, OnlyRegularFilesAreOpenedForReading) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.jpg").c_str(), 0644), 0);
  fs::create_directory(dir.File("folder.jpg"));
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir.File("socket.jpg");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {dir.File("pipe.jpg"), "Not a regular file (named pipe)"},
      {dir.File("folder.jpg"), "Not a regular file (folder)"},
      {socketPath, "Not a regular file (socket)"},
      {"/dev/zero", "Not a regular file (character device)"},
      {dir.File("missing.jpg"), "No such file or directory"},
  };
  for (const auto& c : cases) {
    try {
      FileStream stream(c.path, FileMode::kOpenRead);
      ADD_FAILURE() << c.path << " opened";
    } catch (const FileOpenError& e) {
      EXPECT_EQ(e.what(), "Cannot open file \"" + c.path + "\". " + c.reason);
    }
  }
  ::close(sock);
}

}  // namespace
}  // namespace tessane
