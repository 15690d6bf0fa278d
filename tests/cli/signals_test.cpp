// The command itself under signals and closed output streams: it is run as a child process, held
// in a phase without sleeping (a FIFO kept open), and its status, summary and report are checked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "support/test_support.h"

extern char** environ;

namespace tessane::cli {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Text(const std::string& path) {
  const auto bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

void SaveBmp(const std::string& path, int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  b.SaveToFile(path);
}

/// tessane-cli as a child process; standard output and error go to `out` (a descriptor the
/// caller owns, -1: a file in `dir`).
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& log, int out = -1) {
    std::vector<std::string> all{TESSANE_CLI_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out >= 0) {
      posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // The child starts with the default actions, whatever the test runner set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    spawned_ = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (spawned_ && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Spawned() const { return spawned_; }
  void Signal(int signal) const { ::kill(pid_, signal); }

  /// The wait status once the child ended, nothing when it is still running after `seconds`
  /// (only a stop that is not honoured at all comes near that).
  std::optional<int> Wait(int seconds = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!status_) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
      } else if (std::chrono::steady_clock::now() > until) {
        break;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  bool spawned_ = false;
  std::optional<int> status_;
};

std::string Describe(std::optional<int> status) {
  if (!status) return "still running";
  if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
  return "exit " + std::to_string(WEXITSTATUS(*status));
}

// Each stop signal is honoured while the list of files is still being read from a FIFO that
// stays open: nothing was gathered yet, so nothing is started; the summary and the report are
// written and the status is 128 + signal.
TEST(CliSignals, StopWhileReadingTheListGivesSummaryReportAndStatus) {
  TempDir dir;
  SaveBmp(dir.File("a.bmp"), 40, 30);
  SaveBmp(dir.File("b.bmp"), 40, 30);
  const std::string fifo = dir.File("list");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [signal, name] : std::vector<std::pair<int, std::string>>{
           {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(name);
    const std::string report = dir.File(name + ".tsv");
    const std::string log = dir.File(name + ".log");
    Child child({"--files-from", fifo, "-s", "20", "-d", dir.File("out"), "--report", report}, log);
    ASSERT_TRUE(child.Spawned());
    // The open returns once the command opened the list, its stop handlers long in place.
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string lines = dir.File("a.bmp") + "\n" + dir.File("b.bmp") + "\n";
    ASSERT_EQ(::write(writer, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    // Held in the reading: the lines are taken, the list is not at its end.
    for (int unread = 1, turns = 0; unread > 0 && turns < 4000; ++turns) {
      ASSERT_EQ(::ioctl(writer, FIONREAD, &unread), 0);
      if (unread > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.Signal(signal);
    const std::optional<int> status = child.Wait();
    ::close(writer);
    ASSERT_TRUE(status && WIFEXITED(*status)) << Describe(status);
    EXPECT_EQ(WEXITSTATUS(*status), 128 + signal);
    const std::string said = Text(log);
    EXPECT_NE(said.find("0 files: 0 written, 0 failed, 0 skipped"), std::string::npos) << said;
    EXPECT_NE(said.find("Interrupted (" + name + "): 0 files not started"), std::string::npos)
        << said;
    const std::string table = Text(report);
    EXPECT_EQ(table.rfind("source\tdestination\tstatus", 0), 0u) << table;
    EXPECT_EQ(Count(table, "\n"), 1u) << table;
    EXPECT_FALSE(fs::exists(dir.File("out/a.bmp")));
  }
}

// A reader of the output that went away (`tessane-cli ... 2>&1 | head -1`) does not stop the
// batch: every file is done, the report holds every file and the status is the files' own.
TEST(CliSignals, ClosedOutputStreamDoesNotStopTheBatch) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in);
  for (int i = 0; i < 10; ++i) {
    SaveBmp(in + "/good" + std::to_string(i) + ".bmp", 40, 30);
    // Each damaged file prints a line, each of them into the closed pipe.
    test::WriteBytes(in + "/bad" + std::to_string(i) + ".bmp", {'B', 'M', 1, 2, 3});
  }
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  ::close(ends[0]);
  const std::string report = dir.File("report.tsv");
  Child child({"-j", "1", "-s", "20", "-d", dir.File("out"), "--report", report, in}, "", ends[1]);
  ::close(ends[1]);
  ASSERT_TRUE(child.Spawned());
  const std::optional<int> status = child.Wait(120);
  ASSERT_TRUE(status && WIFEXITED(*status)) << Describe(status);
  EXPECT_EQ(WEXITSTATUS(*status), 1);  // the damaged files failed
  const std::string table = Text(report);
  EXPECT_EQ(Count(table, "\twritten\t"), 10u) << table;
  EXPECT_EQ(Count(table, "\tfailed\t"), 10u) << table;
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(fs::exists(dir.File("out/good" + std::to_string(i) + ".bmp"))) << i;
}

// Lists that hold what no list of paths does are usage errors found before any work, read no
// further than the fault: a line longer than a path, and /dev/zero either way.
TEST(CliSignals, ListsThatCannotNamePathsAreUsageErrors) {
  TempDir dir;
  SaveBmp(dir.File("a.bmp"), 40, 30);
  const std::string longList = dir.File("long.txt");
  const std::string line = dir.File("a.bmp") + "\n";
  const std::string tooLong = "/" + std::string(4200, 'x') + ".bmp\n";
  const std::string text = line + line + tooLong + line;
  test::WriteBytes(longList, std::vector<uint8_t>(text.begin(), text.end()));
  struct Case {
    std::vector<std::string> list;
    std::string said;
  };
  const std::vector<Case> cases{
      {{"--files-from", longList},
       "Line 3 of the list of files \"" + longList +
           "\" is longer than a path can be (4096 bytes)"},
      {{"--files-from", "/dev/zero", "-0"},
       "The list of files \"/dev/zero\" has more than 4096 empty entries in a row"},
      {{"--files-from", "/dev/zero"}, "Line 1 of the list of files \"/dev/zero\" holds a NUL byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list[1]);
    std::vector<std::string> args = c.list;
    const std::string report = dir.File("report.tsv");
    args.insert(args.end(), {"-s", "20", "-d", dir.File("out"), "--report", report});
    Child child(args, dir.File("log"));
    ASSERT_TRUE(child.Spawned());
    const std::optional<int> status = child.Wait(60);
    ASSERT_TRUE(status && WIFEXITED(*status)) << Describe(status);
    EXPECT_EQ(WEXITSTATUS(*status), 2);
    const std::string said = Text(dir.File("log"));
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(report));
    EXPECT_FALSE(fs::exists(dir.File("out/a.bmp")));
  }
}

}  // namespace
}  // namespace tessane::cli
