#include "cli/batch_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "base/errors.h"
#include "base/paths.h"
#include "formats/registry.h"
#include "jobs/copy_work.h"
#include "jobs/output_naming.h"
#include "jobs/resize_work.h"
#include "jobs/source_scan.h"

namespace tessane::cli {

namespace {

class TProgress {
 public:
  TProgress(std::ostream& err, bool enabled, size_t total)
      : err_(err), enabled_(enabled), total_(total), start_(std::chrono::steady_clock::now()) {}

  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  /// Prints a failure line above the bar.
  void Fail(const TFileResult& r) {
    std::lock_guard lock(mutex_);
    ClearBar();
    err_ << "tessane-cli: " << r.Source << ": " << r.Message << "\n";
    DrawBar();
  }

  void Done(bool failed) {
    std::lock_guard lock(mutex_);
    ++done_;
    if (failed) ++failed_;
    DrawBar();
  }

  void Finish() {
    std::lock_guard lock(mutex_);
    ClearBar();
  }

 private:
  void ClearBar() {
    if (enabled_ && drawn_) err_ << "\r\033[K" << std::flush;
    drawn_ = false;
  }
  void DrawBar() {
    if (!enabled_) return;
    constexpr size_t kWidth = 30;
    const size_t filled = total_ ? kWidth * done_ / total_ : kWidth;
    char line[160];
    std::snprintf(line, sizeof line, "\r[%s%s] %zu/%zu files, %zu failed, %.1f s",
                  std::string(filled, '#').c_str(), std::string(kWidth - filled, ' ').c_str(),
                  done_, total_, failed_, Elapsed());
    err_ << line << std::flush;
    drawn_ = true;
  }

  std::ostream& err_;
  bool enabled_;
  size_t total_;
  size_t done_ = 0;
  size_t failed_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
};

}  // namespace

TBatchRunner::TBatchRunner(TCliOptions options) : options_(std::move(options)) {
  RegisterStandardFormats();
}

std::vector<std::string> TBatchRunner::CollectSources(
    const std::function<void(const std::string&)>& missing) {
  std::vector<std::string> sources;
  for (const std::string& path : options_.Paths) {
    if (!FileExists(path) && !DirectoryExists(path)) {
      missing(path);
      continue;
    }
    AddPath(path, options_.IncludeSubfolders,
            [&](const std::string& file) { sources.push_back(file); });
  }
  return sources;
}

std::string TBatchRunner::DestinationFor(const std::string& source) const {
  if (options_.Copy) return CopyOutputPath(source, options_.DestFolder);
  TOutputNaming naming;
  naming.DestFolder = options_.DestFolder;
  naming.OutputIndex = options_.OutputExt.empty() ? 0 : 1;
  naming.OutputExt = options_.OutputExt;
  naming.DefaultFormat = options_.DefaultFormat;
  naming.Addition = options_.Addition;
  naming.Thing = options_.Thing;
  return ResizeOutputPath(source, naming);
}

TFileResult TBatchRunner::ProcessOne(const std::string& source) const {
  TFileResult result;
  result.Source = source;
  result.Dest = DestinationFor(source);
  try {
    if (options_.Copy) {
      TCopyWork copy;
      copy.FSourceName = source;
      copy.FDestName = result.Dest;
      copy.FBufferSize = options_.BufferKb * 1024;
      copy.FOverwrite = options_.Overwrite;
      copy.FCopyAttrs = options_.CopyAttrs;
      copy.FCopyTimes = options_.CopyTimes;
      copy.CopyFileData();
      result.Dest = copy.FDestName;
      result.Status = TFileStatus::Written;
    } else {
      TResizeWork work(source, result.Dest, options_.SizeMode, options_.Filter, options_.Size);
      work.FCrop = options_.Crop;
      work.FOverwrite = options_.Overwrite;
      work.ProcessFile();
      result.Dest = work.FDestName;
      if (work.Written()) {
        result.Status = TFileStatus::Written;
      } else {
        result.Status = TFileStatus::Skipped;
        result.Message = Format("nothing written: no output format for \"%s\"",
                                ExtractFileName(result.Dest).c_str());
      }
    }
  } catch (const std::exception& e) {
    result.Status = TFileStatus::Failed;
    result.Message = e.what();
  }
  return result;
}

int TBatchRunner::Run(std::ostream& out, std::ostream& err, bool progressBar) {
  bool missingPaths = false;
  const std::vector<std::string> sources = CollectSources([&](const std::string& path) {
    err << "tessane-cli: " << path << ": No such file or folder\n";
    missingPaths = true;
  });

  if (options_.DryRun) {
    for (const std::string& source : sources) out << source << " -> " << DestinationFor(source) << "\n";
    return missingPaths ? 1 : 0;
  }

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t workers =
      std::min<size_t>(options_.Jobs > 0 ? static_cast<size_t>(options_.Jobs) : cores,
                       std::max<size_t>(sources.size(), 1));
  TProgress progress(err, progressBar && !options_.Quiet, sources.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> written{0}, failed{0}, skipped{0};
  auto worker = [&] {
    for (size_t i = next++; i < sources.size(); i = next++) {
      const TFileResult r = ProcessOne(sources[i]);
      if (r.Status == TFileStatus::Written) {
        ++written;
      } else {
        (r.Status == TFileStatus::Failed ? failed : skipped)++;
        progress.Fail(r);
      }
      progress.Done(r.Status != TFileStatus::Written);
    }
  };
  std::vector<std::thread> pool;
  for (size_t i = 1; i < workers; ++i) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  progress.Finish();

  if (!options_.Quiet) {
    char line[200];
    std::snprintf(line, sizeof line, "%zu files: %zu written, %zu failed, %zu skipped in %.2f s\n",
                  sources.size(), written.load(), failed.load(), skipped.load(),
                  progress.Elapsed());
    out << line;
  }
  return (failed == 0 && skipped == 0 && !missingPaths) ? 0 : 1;
}

}  // namespace tessane::cli
