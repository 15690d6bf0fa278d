// --skip-existing and --files-from (with -0) through tessane-cli.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "cli/batch_fixture.h"
#include "cli/source_list.h"

namespace tessane::cli {
namespace {

using namespace batch_test;
using test::TempDir;

void SetMtime(const std::string& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Standard input (the descriptor the list "-" is read from) holds `text` for one scope.
class StandardInput {
 public:
  explicit StandardInput(const std::string& text) : saved_(::dup(STDIN_FILENO)) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    EXPECT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(ends[1]);
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);
  }
  ~StandardInput() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }
  StandardInput(const StandardInput&) = delete;
  StandardInput& operator=(const StandardInput&) = delete;

 private:
  int saved_;
};

TEST(CliSkipExisting, LeavesUpToDateOutputsAloneAndRedoesTheRest) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) WritePng(in + "/" + name, 64, 48);
  for (const char* name : {"a.png", "b.png", "c.png", "d.png"})
    SetMtime(in + "/" + name, 1000000000);
  ASSERT_EQ(RunBatch(Options({"-s", "32", "-d", out, in})).status, 0);
  const auto first = Tree(out);
  ASSERT_EQ(first.size(), 4u);

  SetMtime(in + "/b.png", 2000000000);   // changed since: done again
  fs::remove(out + "/c.png");            // output gone: done again
  SetMtime(out + "/d.png", 1000000000);  // same time as its source (--keep-date): done
  WritePng(in + "/e.png", 10, 10);       // new source
  CliOptions o = Options({"-s", "32", "-d", out, "--skip-existing", "--overwrite", "--report",
                           dir.File("report.tsv"), in});
  o.quiet = false;
  const RunOutput run = RunBatch(o);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("5 files: 3 written, 0 failed, 0 skipped, 2 up to date"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(Names(out), (std::vector<std::string>{"a.png", "b.png", "c.png", "d.png", "e.png"}));
  const std::vector<uint8_t> reportBytes = test::ReadBytes(dir.File("report.tsv"));
  const std::string report(reportBytes.begin(), reportBytes.end());
  EXPECT_NE(report.find("/a.png\t" + out + "/a.png\tup-to-date\t"), std::string::npos) << report;
  EXPECT_NE(report.find("/b.png\t" + out + "/b.png\twritten\t"), std::string::npos) << report;

  // A dry run tells which files it would leave alone.
  const RunOutput dry = RunBatch(Options({"-n", "-s", "32", "-d", out, "--skip-existing", in}));
  EXPECT_NE(dry.out.find(in + "/a.png -> " + out + "/a.png (up to date)\n"), std::string::npos)
      << dry.out;
}

TEST(CliSkipExisting, OnlyAFileAtTheOutputNameCounts) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  fs::create_directories(out + "/a.png");  // a folder where the output would go
  WritePng(in + "/a.png", 8, 8);
  SetMtime(in + "/a.png", 1000000000);
  EXPECT_FALSE(OutputUpToDate(in + "/a.png", out + "/a.png"));
  EXPECT_FALSE(OutputUpToDate(in + "/a.png", out + "/missing.png"));
  EXPECT_FALSE(OutputUpToDate(in + "/a.png", in + "/a.png"));  // no output of itself
  // What is no output of the file is neither up to date nor numbered around: it fails.
  fs::create_directories(dir.File("beside"));
  WritePng(dir.File("beside/b.png"), 8, 8);
  SetMtime(dir.File("beside/b.png"), 1000000000);
  EXPECT_EQ(RunBatch(Options({"--skip-existing", dir.File("beside")})).status, 1);
  EXPECT_EQ(Names(dir.File("beside")), std::vector<std::string>{"b.png"});
  EXPECT_EQ(RunBatch(Options({"-d", out, "--skip-existing", in})).status, 1);
  EXPECT_FALSE(fs::exists(out + "/a[1].png"));
}

TEST(CliFilesFrom, ReadsLinesOrNulSeparatedPathsFromAFileOrStandardInput) {
  TempDir dir;
  const std::string in = dir.File("in");
  fs::create_directories(in + "/folder");
  WritePng(in + "/one.png", 8, 8);
  WritePng(in + "/two words.png", 8, 8);
  WritePng(in + "/line\nbreak.png", 8, 8);
  WritePng(in + "/folder/three.png", 8, 8);
  WritePng(in + "/not-listed.png", 8, 8);

  WriteText(dir.File("lines.txt"),
            in + "/one.png\r\n\n" + in + "/two words.png\n" + in + "/folder");
  WriteText(dir.File("nul.list"), in + "/one.png" + std::string(1, '\0') + in + "/line\nbreak.png" +
                                      std::string(2, '\0'));
  struct Case {
    std::vector<std::string> args;
    std::string standardInput;
    std::vector<std::string> outputs;
  };
  const Case cases[] = {
      {{"--files-from", dir.File("lines.txt")}, "", {"one.png", "three.png", "two words.png"}},
      {{"--files-from", dir.File("nul.list"), "-0"}, "", {"line\nbreak.png", "one.png"}},
      {{"--files-from", "-"}, in + "/one.png\n", {"one.png"}},
      {{"--files-from", "-", "--null"}, in + "/two words.png", {"two words.png"}},
      {{"--files-from", "-", in + "/not-listed.png"},
       in + "/one.png\n",
       {"not-listed.png", "one.png"}},
      {{"--files-from", "-"}, "", {}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string out = dir.File("out" + std::to_string(n++));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-d", out});
    const StandardInput input(c.standardInput);
    const RunOutput run = RunBatch(Options(args));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::exists(out) ? Names(out) : std::vector<std::string>{}, c.outputs) << args[1];
  }
}

TEST(CliFilesFrom, AListThatCannotBeReadIsAUsageErrorBeforeAnythingIsMade) {
  TempDir dir;
  WritePng(dir.File("a.png"), 8, 8);
  for (const std::string& list : {dir.File("missing.txt"), dir.Path()}) {
    const RunOutput run = RunBatch(Options({"--files-from", list, "-d", dir.File("out"), "--report",
                                            dir.File("report.tsv"), dir.File("a.png")}));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Cannot read the list of files \"" + list + "\""), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir.File("out")));
    EXPECT_FALSE(fs::exists(dir.File("report.tsv")));
  }
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"-d", "out"}, {"-0", "x"}, {"--null", "--files-from"}}) {
    const ParseResult r = Parse(args);
    EXPECT_FALSE(r.options);
    EXPECT_EQ(r.exit_status, 2);
  }
}

}  // namespace
}  // namespace tessane::cli
