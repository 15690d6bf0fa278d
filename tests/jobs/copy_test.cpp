#include "jobs/copy_job.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace tessane {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 1) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + seed);
  return bytes;
}

// Every name in the folder, sorted: shows leftover temporary files too.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

CopyJob Work(const std::string& source, const std::string& dest, int32_t buffer = 65536,
               bool overwrite = false) {
  CopyRequest request;
  request.source_name = source;
  request.dest_name = dest;
  request.buffer_size = buffer;
  request.overwrite = overwrite;
  return CopyJob(std::move(request));
}

// The message an error carries, or "" when none was raised.
template <class Error>
std::string ErrorOf(CopyJob& work) {
  try {
    work.CopyFileData();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

TEST(CopyWork, CopiesEveryByteWhateverTheBufferSize) {
  struct SizeCase {
    size_t size;
    int32_t buffer;
  };
  const SizeCase cases[] = {
      {0, 8192},         // one read of 0 bytes, an empty copy
      {100, 8192},       // one short read
      {3 * 8192, 8192},  // exact multiple: the last read returns 0
      {3 * 8192 + 1, 8192},
      {20000, 0},  // 0 and negative sizes are taken as 8192
      {20000, -5},
      {1 << 20, 524288},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes, buffer " + std::to_string(c.buffer));
    TempDir dir;
    const auto data = Pattern(c.size);
    WriteBytes(dir.File("src.jpg"), data);
    fs::create_directory(dir.File("out"));
    CopyJob work = Work(dir.File("src.jpg"), dir.File("out/src.jpg"), c.buffer);
    work.CopyFileData();
    EXPECT_EQ(ReadBytes(dir.File("out/src.jpg")), data);
    EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{"src.jpg"});
  }
}

TEST(CopyWork, TakenNameGetsTheNextFreeNumberUnlessOverwriting) {
  TempDir dir;
  WriteBytes(dir.File("photo.jpg"), Pattern(10, 1));
  fs::create_directory(dir.File("out"));
  WriteBytes(dir.File("out/photo.jpg"), Pattern(5, 2));
  WriteBytes(dir.File("out/photo[1].jpg"), Pattern(5, 3));

  CopyJob numbered = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"));
  numbered.CopyFileData();
  EXPECT_EQ(numbered.dest_name, dir.File("out/photo[2].jpg"));
  EXPECT_EQ(ReadBytes(dir.File("out/photo[2].jpg")), Pattern(10, 1));
  EXPECT_EQ(ReadBytes(dir.File("out/photo.jpg")), Pattern(5, 2));
  EXPECT_EQ(ReadBytes(dir.File("out/photo[1].jpg")), Pattern(5, 3));

  CopyJob replacing = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"), 4, true);
  replacing.CopyFileData();
  EXPECT_EQ(replacing.dest_name, dir.File("out/photo.jpg"));
  EXPECT_EQ(ReadBytes(dir.File("out/photo.jpg")), Pattern(10, 1));
  EXPECT_EQ(Listing(dir.File("out")),
            (std::vector<std::string>{"photo.jpg", "photo[1].jpg", "photo[2].jpg"}));
}

TEST(CopyWork, ReadOnlyDestinationIsNeverReplaced) {
  TempDir dir;
  WriteBytes(dir.File("photo.jpg"), Pattern(10, 1));
  fs::create_directory(dir.File("out"));
  const std::string dest = dir.File("out/photo.jpg");
  WriteBytes(dest, Pattern(5, 2));
  ::chmod(dest.c_str(), 0444);

  CopyJob work = Work(dir.File("photo.jpg"), dest, 65536, true);
  EXPECT_EQ(ErrorOf<FileSystemError>(work), "Error: Unable to delete file.[" + dest + "]");
  EXPECT_EQ(ReadBytes(dest), Pattern(5, 2));
  EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{"photo.jpg"});
}

TEST(CopyWork, SamePathNumbersTheCopyOrLeavesTheSourceAlone) {
  TempDir dir;
  const std::string source = dir.File("photo.jpg");
  WriteBytes(source, Pattern(3000, 7));

  CopyJob beside = Work(source, source, 1024);
  beside.CopyFileData();
  EXPECT_EQ(beside.dest_name, dir.File("photo[1].jpg"));
  EXPECT_EQ(ReadBytes(dir.File("photo[1].jpg")), Pattern(3000, 7));

  CopyJob over = Work(source, source, 1024, true);
  EXPECT_EQ(ErrorOf<FileSystemError>(over), "Error: Unable to delete file.[" + source + "]");
  EXPECT_EQ(ReadBytes(source), Pattern(3000, 7));
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"photo.jpg", "photo[1].jpg"}));
}

TEST(CopyWork, OpenAndCreateFailuresChangeNothing) {
  TempDir dir;
  WriteBytes(dir.File("photo.jpg"), Pattern(10));
  ::mkfifo(dir.File("pipe.jpg").c_str(), 0644);  // must not block the UI thread
  fs::create_directory(dir.File("folder.jpg"));

  const struct {
    const char* name;
    const char* reason;
  } sources[] = {{"missing.jpg", "No such file or directory"},
                 {"pipe.jpg", "Not a regular file (named pipe)"},
                 {"folder.jpg", "Not a regular file (folder)"}};
  for (const auto& c : sources) {
    SCOPED_TRACE(c.name);
    CopyJob work = Work(dir.File(c.name), dir.File("copy.jpg"));
    EXPECT_EQ(ErrorOf<FileOpenError>(work),
              "Error: Can't open source file![" + dir.File(c.name) + "] " + c.reason);
  }
  CopyJob noFolder = Work(dir.File("photo.jpg"), dir.File("absent/photo.jpg"));
  EXPECT_EQ(ErrorOf<FileCreateError>(noFolder), "Error: Can't create destination file![" +
                                                  dir.File("absent/photo.jpg") +
                                                  "] No such file or directory");
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"folder.jpg", "photo.jpg", "pipe.jpg"}));
}

// A file-size limit makes the write fail part-way, as a full disk does.
class FullDisk {
 public:
  explicit FullDisk(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FullDisk() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_;
  sighandler_t oldHandler_;
};

TEST(CopyWork, FailedWriteLeavesNoPartialFileAndKeepsTheOldOne) {
  TempDir dir;
  WriteBytes(dir.File("big.jpg"), Pattern(100000));
  fs::create_directory(dir.File("out"));
  WriteBytes(dir.File("out/old.jpg"), Pattern(50, 9));

  for (bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "overwrite" : "new file");
    const std::string dest = dir.File(overwrite ? "out/old.jpg" : "out/big.jpg");
    CopyJob work = Work(dir.File("big.jpg"), dest, 8192, overwrite);
    std::string message;
    {
      FullDisk full(20000);
      message = ErrorOf<StreamWriteError>(work);
    }
    EXPECT_EQ(message.rfind("Error: Can't write destination file![" + dest + "]", 0), 0u)
        << message;
    EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{"old.jpg"});
    EXPECT_EQ(ReadBytes(dir.File("out/old.jpg")), Pattern(50, 9));
  }
}

TEST(CopyWork, CarriesTimesAndPermissionsOnRequest) {
  TempDir dir;
  const std::string source = dir.File("photo.jpg");
  WriteBytes(source, Pattern(100));
  const timespec times[2] = {{1000000000, 0}, {1200000000, 500}};
  ::utimensat(AT_FDCWD, source.c_str(), times, 0);
  ::chmod(source.c_str(), 0440);

  // Carried first: reading the source may move its access time.
  CopyJob carried = Work(source, dir.File("carried.jpg"));
  carried.copy_times = true;
  carried.copy_attrs = true;
  carried.CopyFileData();
  CopyJob plain = Work(source, dir.File("plain.jpg"));
  plain.CopyFileData();

  struct stat st;
  ASSERT_EQ(::stat(dir.File("carried.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mode & 07777, 0440u);
  ASSERT_EQ(::stat(dir.File("plain.jpg").c_str(), &st), 0);
  EXPECT_NE(st.st_mtim.tv_sec, 1200000000);
  EXPECT_NE(st.st_mode & 07777, 0440u);

  // The read-only copy cannot be replaced by a later overwriting run.
  CopyJob again = Work(source, dir.File("carried.jpg"), 65536, true);
  EXPECT_EQ(ErrorOf<FileSystemError>(again),
            "Error: Unable to delete file.[" + dir.File("carried.jpg") + "]");
}

// A folder or a link at the output name once made the job spin for ever.
TEST(CopyWork, NameTakenByAFolderOrLinkIsNumberedOrFailsWhenReplacing) {
  TempDir dir;
  WriteBytes(dir.File("photo.jpg"), Pattern(10));
  fs::create_directories(dir.File("out/photo.jpg"));
  fs::create_symlink(dir.File("nowhere"), dir.File("out/photo[1].jpg"));

  CopyJob numbered = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"));
  numbered.CopyFileData();
  EXPECT_EQ(numbered.dest_name, dir.File("out/photo[2].jpg"));
  EXPECT_EQ(ReadBytes(dir.File("out/photo[2].jpg")), Pattern(10));

  CopyJob replacing = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"), 4096, true);
  EXPECT_EQ(ErrorOf<FileCreateError>(replacing), "Error: Can't create destination file![" +
                                                   dir.File("out/photo.jpg") + "] Is a directory");
  EXPECT_EQ(Listing(dir.File("out")),
            (std::vector<std::string>{"photo.jpg", "photo[1].jpg", "photo[2].jpg"}));
  EXPECT_TRUE(fs::is_directory(dir.File("out/photo.jpg")));
}

// Workers that pick the same free name at once: each claims its own, always numbered from the
// original name (never photo[1][1].jpg).
TEST(CopyWork, ParallelCopiesToOneNameEachGetTheirOwnNumber) {
  TempDir dir;
  fs::create_directory(dir.File("out"));
  constexpr int kWorkers = 8;
  std::vector<std::thread> workers;
  std::atomic<int> failures{0};
  for (int i = 0; i < kWorkers; ++i) {
    const std::string source = dir.File("s" + std::to_string(i) + ".jpg");
    WriteBytes(source, Pattern(5000, static_cast<uint8_t>(i)));
    workers.emplace_back([&, source] {
      CopyJob work = Work(source, dir.File("out/photo.jpg"), 1024);
      try {
        work.CopyFileData();
      } catch (const std::exception&) {
        ++failures;
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(failures, 0);
  std::vector<std::string> expected = {"photo.jpg"};
  for (int i = 1; i < kWorkers; ++i) expected.push_back("photo[" + std::to_string(i) + "].jpg");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(dir.File("out")), expected);
  std::vector<std::vector<uint8_t>> contents;
  for (const auto& name : expected) contents.push_back(ReadBytes(dir.File("out/" + name)));
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(std::unique(contents.begin(), contents.end()), contents.end());
}

TEST(CopyWork, SetIdBitsStayOnlyWhereTheOwnerIsKept) {
  const uid_t me = ::geteuid();
  const gid_t us = ::getegid();
  const struct {
    mode_t mode;
    uid_t owner;
    gid_t group;
    mode_t copied;
  } cases[] = {
      {06755, me, us, 06755},      // one's own file keeps everything
      {06755, me + 1, us, 0755},   // someone else's: neither bit
      {06755, me, us + 1, 04755},  // another group: set-group-id goes
      {01777, me + 1, us + 1, 01777},
      {0440, me + 1, us + 1, 0440},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CopiedPermissions(S_IFREG | c.mode, c.owner, c.group, me, us), c.copied)
        << std::oct << c.mode << " " << c.owner << ":" << c.group;

  // Copied as root, another user's set-uid program must not become root's.
  TempDir dir;
  const std::string source = dir.File("tool.jpg");
  WriteBytes(source, Pattern(100));
  if (me == 0) {
    ASSERT_EQ(::chown(source.c_str(), 4242, 4242), 0);
    ::chmod(source.c_str(), 06755);
    CopyJob work = Work(source, dir.File("copy.jpg"));
    work.copy_attrs = true;
    work.CopyFileData();
    struct stat st;
    ASSERT_EQ(::stat(dir.File("copy.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
  }
  ASSERT_EQ(::chown(source.c_str(), me, us), 0);
  ::chmod(source.c_str(), 06755);
  CopyJob own = Work(source, dir.File("own.jpg"));
  own.copy_attrs = true;
  own.CopyFileData();
  struct stat st;
  ASSERT_EQ(::stat(dir.File("own.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 06755u);
}

TEST(CopyWork, FolderThatCannotBeWrittenFailsWithTheReasonAndLeavesNothing) {
  TempDir dir;
  WriteBytes(dir.File("photo.jpg"), Pattern(10));
  fs::create_directory(dir.File("out"));
  ::chmod(dir.File("out").c_str(), 0555);
  std::string message;
  test::WithoutFileRights([&] {
    CopyJob work = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"));
    message = ErrorOf<FileCreateError>(work);
  });
  EXPECT_EQ(message, "Error: Can't create destination file![" + dir.File("out/photo.jpg") +
                         "] Permission denied");
  EXPECT_TRUE(Listing(dir.File("out")).empty());
  ::chmod(dir.File("out").c_str(), 0755);
}

TEST(CopyWork, StopRequestEndsTheCopyAndLeavesNothing) {
  TempDir dir;
  WriteBytes(dir.File("big.jpg"), Pattern(100000));
  fs::create_directory(dir.File("out"));
  const std::atomic<bool> stop{true};
  CopyJob work = Work(dir.File("big.jpg"), dir.File("out/big.jpg"), 8192);
  work.cancel = &stop;
  EXPECT_EQ(ErrorOf<AbortError>(work), "Interrupted");
  EXPECT_TRUE(Listing(dir.File("out")).empty());
}

// The temporary once added 16 bytes to the name, so the longest names failed.
TEST(CopyWork, LongestSourceNameIsCopied) {
  TempDir dir;
  const std::string name = std::string(251, 'p') + ".jpg";
  WriteBytes(dir.File(name), Pattern(300));
  fs::create_directory(dir.File("out"));
  CopyJob work = Work(dir.File(name), dir.File("out/" + name));
  work.CopyFileData();
  EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{name});
  EXPECT_EQ(ReadBytes(dir.File("out/" + name)), Pattern(300));
}

}  // namespace
}  // namespace tessane
