#pragma once
// tessane-cli's batch options beyond the window's: boxes, names, trees, re-runs and shards.
// All are off by default, and then a run writes what it always wrote.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/name_template.h"
#include "cli/shard.h"
#include "jobs/box.h"

namespace CLI {
class App;
}

namespace tessane::cli {

/// One of several sizes of a run: a size for the size mode, or a box.
struct SizeTarget {
  int32_t size = 0;
  std::optional<Box> box;
  std::string label;  // its sub-folder and {size}: "320", "200x100"
};

struct BatchOptions {
  std::optional<Box> box;  // --fit or --fill
  bool skip_existing = false;
  std::string files_from;  // "-": standard input
  bool null_separated = false;
  std::optional<NameTemplate> name;  // --name
  bool keep_tree = false;
  std::vector<SizeTarget> sizes;  // two or more: every size of a source in one pass
  std::optional<Shard> shard;
};

/// Declares the options on `app`, writing into `options` as it parses. Call Finish after a
/// successful parse.
class BatchOptionParser {
 public:
  void Add(CLI::App& app, BatchOptions& options);
  /// Checks the options against each other and the window's; returns a usage error, or "".
  std::string Finish(const CLI::App& app, const std::vector<int32_t>& plainSizes,
                     BatchOptions& options) const;

 private:
  std::vector<std::string> fit_;
  std::vector<std::string> fill_;
  std::string gravity_ = "centre";
  std::string name_;
  std::string shard_;
};

}  // namespace tessane::cli
