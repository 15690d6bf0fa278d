#include "jobs/copy_work.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "support/test_support.h"

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

TCopyWork Work(const std::string& source, const std::string& dest, int32_t buffer = 65536,
               bool overwrite = false) {
  return TCopyWork(source, dest, buffer, overwrite);
}

// The message an error carries, or "" when none was raised.
template <class Error>
std::string ErrorOf(TCopyWork& work) {
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
    TCopyWork work = Work(dir.File("src.jpg"), dir.File("out/src.jpg"), c.buffer);
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

  TCopyWork numbered = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"));
  numbered.CopyFileData();
  EXPECT_EQ(numbered.FDestName, dir.File("out/photo[2].jpg"));
  EXPECT_EQ(ReadBytes(dir.File("out/photo[2].jpg")), Pattern(10, 1));
  EXPECT_EQ(ReadBytes(dir.File("out/photo.jpg")), Pattern(5, 2));
  EXPECT_EQ(ReadBytes(dir.File("out/photo[1].jpg")), Pattern(5, 3));

  TCopyWork replacing = Work(dir.File("photo.jpg"), dir.File("out/photo.jpg"), 4, true);
  replacing.CopyFileData();
  EXPECT_EQ(replacing.FDestName, dir.File("out/photo.jpg"));
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

  TCopyWork work = Work(dir.File("photo.jpg"), dest, 65536, true);
  EXPECT_EQ(ErrorOf<EInOutError>(work), "Error: Unable to delete file.[" + dest + "]");
  EXPECT_EQ(ReadBytes(dest), Pattern(5, 2));
  EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{"photo.jpg"});
}

TEST(CopyWork, SamePathNumbersTheCopyOrLeavesTheSourceAlone) {
  TempDir dir;
  const std::string source = dir.File("photo.jpg");
  WriteBytes(source, Pattern(3000, 7));

  TCopyWork beside = Work(source, source, 1024);
  beside.CopyFileData();
  EXPECT_EQ(beside.FDestName, dir.File("photo[1].jpg"));
  EXPECT_EQ(ReadBytes(dir.File("photo[1].jpg")), Pattern(3000, 7));

  TCopyWork over = Work(source, source, 1024, true);
  EXPECT_EQ(ErrorOf<EInOutError>(over), "Error: Unable to delete file.[" + source + "]");
  EXPECT_EQ(ReadBytes(source), Pattern(3000, 7));
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"photo.jpg", "photo[1].jpg"}));
}

TEST(CopyWork, OpenAndCreateFailuresChangeNothing) {
  TempDir dir;
  WriteBytes(dir.File("photo.jpg"), Pattern(10));
  ::mkfifo(dir.File("pipe.jpg").c_str(), 0644);  // must not block the UI thread
  fs::create_directory(dir.File("folder.jpg"));

  for (const char* name : {"missing.jpg", "pipe.jpg", "folder.jpg"}) {
    SCOPED_TRACE(name);
    TCopyWork work = Work(dir.File(name), dir.File("copy.jpg"));
    EXPECT_EQ(ErrorOf<EFOpenError>(work), "Error: Can't open source file![" + dir.File(name) + "]");
  }
  TCopyWork noFolder = Work(dir.File("photo.jpg"), dir.File("absent/photo.jpg"));
  EXPECT_EQ(ErrorOf<EFCreateError>(noFolder),
            "Error: Can't create destination file![" + dir.File("absent/photo.jpg") + "]");
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
    TCopyWork work = Work(dir.File("big.jpg"), dest, 8192, overwrite);
    std::string message;
    {
      FullDisk full(20000);
      message = ErrorOf<EWriteError>(work);
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
  TCopyWork carried = Work(source, dir.File("carried.jpg"));
  carried.FCopyTimes = true;
  carried.FCopyAttrs = true;
  carried.CopyFileData();
  TCopyWork plain = Work(source, dir.File("plain.jpg"));
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
  TCopyWork again = Work(source, dir.File("carried.jpg"), 65536, true);
  EXPECT_EQ(ErrorOf<EInOutError>(again),
            "Error: Unable to delete file.[" + dir.File("carried.jpg") + "]");
}

}  // namespace
}  // namespace tessane
