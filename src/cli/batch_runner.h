#pragma once
// Runs one tessane-cli batch: gathers the sources like the window's list does, names every
// output with the window's rules and runs the same job work on a pool of threads.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "jobs/memory_budget.h"
#include "jobs/requests.h"

namespace tessane {
struct SharedSource;
struct PictureFacts;
}

namespace tessane::cli {

/// kWrittenWithWarnings: written as the job defines, but from damaged data (or unscaled).
/// kUpToDate: left alone by --skip-existing, its output already there.
enum class FileStatus { kWritten, kFailed, kSkipped, kWrittenWithWarnings, kUpToDate };

struct FileResult {
  std::string source;
  std::string dest;      // the name actually used (after numbering)
  FileStatus status = FileStatus::kFailed;
  std::string message;   // the job's own message when it failed; its warnings when it has some
  int64_t source_bytes = -1;  // file sizes; -1 when there is no such file
  int64_t output_bytes = -1;
  double seconds = 0;
};

/// Asks a running batch to stop: no file is started any more, the files under way stop before
/// their output is put in place, and Run returns 128 + signal after its summary. Safe to call
/// from a signal handler.
void RequestStop(int signal) noexcept;
/// Forgets an earlier RequestStop (for a new run in the same process).
void ClearStop() noexcept;
/// SIGINT, SIGTERM and SIGHUP call RequestStop; a second one of the same signal ends the process
/// at once. SIGPIPE is ignored: a closed output stream does not stop the batch.
void InstallStopHandlers();

/// The report's text: a header row, then one tab-separated row per result (source,
/// destination, status, message, source bytes, output bytes, seconds with 3 decimals). Tabs,
/// line breaks and backslashes inside fields are written as \t, \n, \r and \\.
std::string ReportText(const std::vector<FileResult>& results);

class BatchRunner {
 public:
  explicit BatchRunner(CliOptions options);

  /// Every accepted source, in the order the window's list would hold them, each file once
  /// (where it was first reached) however often it is reached. Paths that do not exist, and folders
  /// that cannot be read, are reported through `failed` (path, message).
  std::vector<std::string> CollectSources(
      const std::function<void(const std::string&, const std::string&)>& failed);
  /// The destination the window would hand to the job for this source.
  std::string DestinationFor(const std::string& source) const;
  /// One file's whole work; never throws.
  FileResult ProcessOne(const std::string& source) const;
  /// Every output of one file: one, or one per size of several (the file loaded once).
  std::vector<FileResult> ProcessAll(const std::string& source) const;

  /// The whole run; returns the exit status (0 all written, 1 some failed or skipped or a path
  /// could not be read, 2 when the report file or the destination folder cannot be created,
  /// before any work; 128 + signal after RequestStop). With ReportPath the report replaces that
  /// file at the end.
  int Run(std::ostream& out, std::ostream& err, bool progressBar);

  /// Called on a worker thread after each file (for tests that act in the middle of a run).
  std::function<void(const FileResult&)> on_file_done;

  /// Called on the calling thread with every source once they are gathered, before any work
  /// starts (the place to set up what some sources need, such as a GUI application object).
  std::function<void(const std::vector<std::string>&)> on_sources_collected;

 private:
  // Where a source came from: its folder relative to its argument, its place in the list.
  struct Origin {
    std::string dir;
    size_t index = 0;
    std::string key;  // what --shard hashes: the path relative to the argument, or the name
  };
  void CollectPaths(std::vector<std::string>& sources,
                    const std::function<void(const std::string&, const std::string&)>& failed);
  bool CustomNames() const;
  /// With --skip-existing, what the output name `dest` of `source` holds decides: true to
  /// replace an older output under its name; throws OutputIsUpToDate for one that is not older,
  /// FileSystemError for anything that is no output. False (write as usual) otherwise.
  bool SkipExisting(const std::string& source, const std::string& dest) const;
  /// Why the report may not be written where --report says (a source or an output of the run);
  /// empty when it may.
  std::string ReportRefusal(const std::vector<std::string>& sources) const;
  /// The output path for one of several sizes (or the only one: nullptr) and a pixel size known
  /// (-1: not yet), with the loaded source's facts once known; throws when a name is refused.
  std::string OutputPath(const std::string& source, const SizeTarget* size_target, int32_t width,
                         int32_t height, const PictureFacts* facts = nullptr) const;
  FileResult ProcessSize(const std::string& source, const SizeTarget* size_target,
                          SharedSource* shared) const;
  /// The path a file of this run is written to: with --overwrite, a name an earlier output of
  /// this run took gets the next free number instead, so no output replaces another. Makes the
  /// folders below the destination that the path needs.
  std::string Claim(const std::string& path) const;

  CliOptions options_;
  BatchSettings settings_;  // what the window's controls would hold
  std::map<std::string, Origin> origins_;
  mutable std::mutex claims_mutex_;
  mutable std::set<std::string> claimed_;
  mutable std::map<std::string, unsigned long> next_number_;  // numbers Claim has used per path
  std::unique_ptr<MemoryBudget> budget_;  // shared by the workers
};

}  // namespace tessane::cli
