#pragma once
// Runs one tessane-cli batch: gathers the sources like the window's list does, names every
// output with the window's rules and runs the same job work on a pool of threads.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace tessane::cli {

enum class TFileStatus { Written, Failed, Skipped };

struct TFileResult {
  std::string Source;
  std::string Dest;      // the name actually used (after numbering)
  TFileStatus Status = TFileStatus::Failed;
  std::string Message;   // the job's own message when it failed
};

class TBatchRunner {
 public:
  explicit TBatchRunner(TCliOptions options);

  /// Every accepted source, in the order the window's list would hold them. Paths that do not
  /// exist are reported through `missing`.
  std::vector<std::string> CollectSources(const std::function<void(const std::string&)>& missing);
  /// The destination the window would hand to the job for this source.
  std::string DestinationFor(const std::string& source) const;
  /// One file's whole work; never throws.
  TFileResult ProcessOne(const std::string& source) const;

  /// The whole run; returns the exit status (0 all written, 1 some failed).
  int Run(std::ostream& out, std::ostream& err, bool progressBar);

 private:
  TCliOptions options_;
};

}  // namespace tessane::cli
