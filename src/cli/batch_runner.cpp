#include "cli/batch_runner.h"
#include "cli/source_list.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>

#include "base/atomic_file.h"
#include "base/cancel.h"
#include "base/errors.h"
#include "base/paths.h"
#include "formats/command_line_formats.h"
#include "formats/format_registry.h"
#include "jobs/copy_job.h"
#include "jobs/exif_date.h"
#include "jobs/output_naming.h"
#include "jobs/requests.h"
#include "jobs/resize_job.h"
#include "jobs/run_files.h"
#include "jobs/shared_source.h"
#include "jobs/source_scan.h"

namespace tessane::cli {

namespace {

class Progress {
 public:
  Progress(std::ostream& err, bool enabled, size_t total)
      : err_(err), enabled_(enabled), total_(total), start_(std::chrono::steady_clock::now()) {}

  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  /// Prints a failure or warning line above the bar.
  void Fail(const FileResult& r) {
    std::lock_guard lock(mutex_);
    ClearBar();
    err_ << "tessane-cli: " << (r.status == FileStatus::kWrittenWithWarnings ? "warning: " : "")
         << r.source << ": " << r.message << "\n";
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

namespace {

// Set from signal handlers: lock-free atomics are safe there.
std::atomic<bool> g_stop{false};
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
  RequestStop(signal);
}

int64_t FileBytes(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

// The order in which the workers take the sources: the list's own with one worker; with several,
// the largest files first, so that no big file starts last and keeps one worker busy while the
// others wait (sizes stand in for the work a file needs).
std::vector<size_t> ProcessingOrder(const std::vector<std::string>& sources, size_t workers) {
  std::vector<size_t> order(sources.size());
  std::iota(order.begin(), order.end(), size_t{0});
  if (workers < 2) return order;
  std::vector<int64_t> bytes(sources.size());
  for (size_t i = 0; i < sources.size() && !g_stop.load(); ++i) bytes[i] = FileBytes(sources[i]);
  std::stable_sort(order.begin(), order.end(),
                   [&bytes](size_t a, size_t b) { return bytes[a] > bytes[b]; });
  return order;
}

std::string ReportField(const std::string& text) {
  // Most fields need no escape: one copy then, so that a large run's report is written at once.
  if (text.find_first_of("\t\n\r\\") == std::string::npos) return text;
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
  }
  return "signal";
}

const char* StatusName(FileStatus status) {
  switch (status) {
    case FileStatus::kWritten: return "written";
    case FileStatus::kFailed: return "failed";
    case FileStatus::kSkipped: return "skipped";
    case FileStatus::kWrittenWithWarnings: return "written-with-warnings";
    case FileStatus::kUpToDate: return "up-to-date";
  }
  return "failed";
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Paths that lead to one file, whether it exists yet or not (links in the folders resolved).
bool SamePath(const std::string& a, const std::string& b) {
  if (SameFile(a, b)) return true;
  std::error_code error;
  const std::filesystem::path pa =
      std::filesystem::weakly_canonical(std::filesystem::absolute(a), error);
  if (error) return false;
  const std::filesystem::path pb =
      std::filesystem::weakly_canonical(std::filesystem::absolute(b), error);
  return !error && pa == pb;
}

// Thrown where --skip-existing finds an output that needs nothing done.
struct OutputIsUpToDate {
  std::string dest;
};

// The row of an output a stop kept from being started; without `destination`, the row shows none.
FileResult NotStarted(const std::string& source,
                      const std::function<std::string()>& destination = nullptr) {
  FileResult r;
  r.source = source;
  try {
    if (destination) r.dest = destination();
  } catch (const std::exception&) {
    // A refused name: the row shows no destination.
  }
  r.status = FileStatus::kSkipped;
  r.message = "Interrupted before it was started";
  return r;
}

// The window's settings as the flags set them; one --overwrite serves copies and resizing.
BatchSettings SettingsOf(const CliOptions& options) {
  BatchSettings settings;
  settings.naming.dest_folder = options.dest_folder;
  settings.naming.output_index = options.output_ext.empty() ? 0 : 1;
  settings.naming.output_ext = options.output_ext;
  settings.naming.default_format = options.default_format;
  settings.naming.addition = options.addition;
  settings.naming.addition_text = options.addition_text;
  settings.size_mode = options.size_mode;
  settings.size = options.size;
  settings.filter = options.filter;
  settings.crop = options.crop;
  settings.resize_overwrite = options.overwrite;
  settings.extras.auto_orient = options.auto_orient;
  settings.extras.keep_metadata = options.keep_metadata;
  settings.extras.strip = options.strip;
  settings.extras.shrink_only = options.shrink_only;
  settings.extras.background = options.background;
  settings.extras.keep_date = options.keep_date;
  settings.extras.strict = options.strict;
  settings.extras.quality = options.quality;
  settings.extras.lossless = options.lossless;
  settings.extras.convert_to_srgb = options.colour_srgb;
  settings.extras.box = options.batch.box;
  settings.buffer_size = options.buffer_kb * 1024;
  settings.copy_overwrite = options.overwrite;
  settings.copy_attrs = options.copy_attrs;
  settings.copy_times = options.copy_times || options.keep_date;
  settings.run_files = std::make_shared<RunFiles>(options.in_place);
  return settings;
}

std::string JoinWarnings(const std::vector<std::string>& warnings) {
  std::string text;
  for (const std::string& w : warnings) text += (text.empty() ? "" : "; ") + w;
  return text;
}

}  // namespace

void RequestStop(int signal) noexcept {
  g_stopSignal.store(signal);
  g_stop.store(true);
}

void ClearStop() noexcept {
  g_stop.store(false);
  g_stopSignal.store(0);
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Calls are restarted rather than failed, and the handler goes after its first use: a second
  // Ctrl-C ends the process at once for a user who does not want to wait for the files under way.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
  // A reader that went away (`| head`) must not end the batch: writes to its pipe fail with
  // EPIPE instead, which the streams take as their bad state, and the files are still done.
  ::signal(SIGPIPE, SIG_IGN);
}

std::string ReportText(const std::vector<FileResult>& results) {
  std::string text = "source\tdestination\tstatus\tmessage\tsource_bytes\toutput_bytes\tseconds\n";
  for (const FileResult& r : results) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "\t%s\t%s\t%.3f\n",
                  r.source_bytes < 0 ? "" : std::to_string(r.source_bytes).c_str(),
                  r.output_bytes < 0 ? "" : std::to_string(r.output_bytes).c_str(), r.seconds);
    text += ReportField(r.source) + "\t" + ReportField(r.dest) + "\t" + StatusName(r.status) +
            "\t" + ReportField(r.message) + numbers;
  }
  return text;
}

BatchRunner::BatchRunner(CliOptions options)
    : options_(std::move(options)),
      settings_(SettingsOf(options_)),
      budget_(std::make_unique<MemoryBudget>(options_.max_memory > 0 ? options_.max_memory
                                                                     : DefaultMemoryBudget())) {
  RegisterCommandLineFormats();
}

std::vector<std::string> BatchRunner::CollectSources(
    const std::function<void(const std::string&, const std::string&)>& failed) {
  std::vector<std::string> sources;
  // A stop ends the scan of a large tree too; what was found so far is listed as not started.
  const CancelScope stoppable(&g_stop);
  try {
    CollectPaths(sources, failed);
  } catch (const AbortError&) {
  }
  return sources;
}

void BatchRunner::CollectPaths(
    std::vector<std::string>& sources,
    const std::function<void(const std::string&, const std::string&)>& failed) {
  SeenFiles seen;  // a file reached twice is done once, where it was first reached
  for (const std::string& path : options_.paths) {
    ThrowIfCancelled();
    if (!FileExists(path) && !DirectoryExists(path)) {
      failed(path, "No such file or folder");
      continue;
    }
    const bool folder = DirectoryExists(path);
    AddPath(
        path, options_.include_subfolders,
        [&](const std::string& file) {
          if (!seen.FirstTime(file)) return;
          sources.push_back(file);
          std::string dir, key = ExtractFileName(file);
          if (folder && file.size() > path.size() + 1) {
            key = file.substr(path.size() + 1);
            dir = ExtractFilePath(key);
            if (!dir.empty()) dir.pop_back();
          }
          origins_.try_emplace(file, Origin{dir, sources.size(), key});
        },
        failed);
  }
}

bool BatchRunner::SkipExisting(const std::string& source, const std::string& dest) const {
  if (!options_.batch.skip_existing) return false;
  const char* taker = "Something other than a file";
  switch (ExistingOutputOf(source, dest)) {
    case ExistingOutput::kNone:
      return false;
    case ExistingOutput::kUpToDate:
      throw OutputIsUpToDate{dest};
    case ExistingOutput::kOlder:
      return true;
    case ExistingOutput::kSource:
      if (options_.in_place) return options_.overwrite;
      throw FileSystemError(kReplacesSourceMessage);
    case ExistingOutput::kFolder:
      taker = "A folder";
      break;
    case ExistingOutput::kLink:
      taker = "A symbolic link";
      break;
    case ExistingOutput::kOther:
      break;
  }
  throw FileSystemError(
      Format("%s has the output's name \"%s\"; --skip-existing replaces only older outputs", taker,
             dest.c_str()));
}

std::string BatchRunner::ReportRefusal(const std::vector<std::string>& sources) const {
  const std::string& path = options_.report_path;
  if (settings_.run_files->Protects(path)) return "is a source file of this run";
  const std::vector<SizeTarget>& sizes = options_.batch.sizes;
  for (const std::string& source : sources) {
    for (size_t k = 0; k < std::max<size_t>(sizes.size(), 1); ++k) {
      std::string dest;
      try {
        dest = sizes.empty() ? DestinationFor(source) : OutputPath(source, &sizes[k], -1, -1);
      } catch (const std::exception&) {
        continue;  // a refused name is that file's failure, told about in the run
      }
      if (SamePath(dest, path)) return "is the output of " + source + " in this run";
    }
  }
  return {};
}

bool BatchRunner::CustomNames() const {
  return options_.batch.name || options_.batch.keep_tree || !options_.batch.sizes.empty();
}

std::string BatchRunner::DestinationFor(const std::string& source) const {
  if (CustomNames())
    return OutputPath(source, options_.batch.sizes.empty() ? nullptr : &options_.batch.sizes[0], -1,
                      -1);
  return options_.copy ? MakeCopyRequest(source, settings_).dest_name
                       : MakeResizeRequest(source, settings_).dest_name;
}

std::string BatchRunner::OutputPath(const std::string& source, const SizeTarget* size_target,
                                    int32_t width, int32_t height,
                                    const PictureFacts* facts) const {
  // The window's name for the file, which the template's {ext} and --keep-tree start from.
  const std::string plain =
      ExtractFileName(options_.copy ? source : ResizeOutputPath(source, settings_.naming));
  const std::string root = options_.dest_folder.empty()
                               ? ExtractFilePath(source)
                               : IncludeTrailingSeparator(options_.dest_folder);
  const auto origin = origins_.find(source);
  const Origin where = origin == origins_.end() ? Origin{} : origin->second;
  if (!options_.batch.name)
    return root + (size_target ? size_target->label + "/" : "") +
           (options_.batch.keep_tree && !where.dir.empty() ? where.dir + "/" : "") + plain;

  const NameTemplate& name = *options_.batch.name;
  NameFields fields;
  fields.name = ChangeFileExt(ExtractFileName(source), "");
  fields.ext = ExtractFileExt(plain);
  if (!fields.ext.empty()) fields.ext.erase(0, 1);
  fields.width = width;
  fields.height = height;
  fields.index = where.index;
  fields.dir = where.dir;
  if (name.Uses("date"))
    fields.date = facts && facts->capture_date ? facts->capture_date : SourceDate(source);
  fields.size = size_target                 ? size_target->label
                : options_.batch.box ? std::to_string(options_.batch.box->width) + "x" +
                                           std::to_string(options_.batch.box->height)
                                     : std::to_string(options_.size);
  return root + (options_.batch.keep_tree ? name.WithTreeFolder() : name).Expand(fields);
}

std::string BatchRunner::Claim(const std::string& path) const {
  std::string result = path;
  if (options_.overwrite) {
    std::lock_guard lock(claims_mutex_);
    const std::string ext = ExtractFileExt(path);
    // Numbers go on from the last one this name took, so many outputs of one name stay cheap.
    unsigned long& next = next_number_[path];
    for (; claimed_.count(result); ++next)
      result = ChangeFileExt(path, Format("[%lu]%s", next + 1, ext.c_str()));
    claimed_.insert(result);
  }
  const std::string folder = ExtractFilePath(result);
  if (!folder.empty() && !DirectoryExists(folder)) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!DirectoryExists(folder))
      throw FileSystemError(Format("Can't create the folder \"%s\"%s", folder.c_str(),
                               error ? (": " + error.message()).c_str() : ""));
  }
  return result;
}

FileResult BatchRunner::ProcessOne(const std::string& source) const {
  return ProcessSize(source, nullptr, nullptr);
}

std::vector<FileResult> BatchRunner::ProcessAll(const std::string& source) const {
  if (options_.batch.sizes.empty()) return {ProcessOne(source)};
  SharedSource shared;
  std::vector<FileResult> results;
  for (const SizeTarget& size_target : options_.batch.sizes) {
    if (!g_stop.load()) {
      results.push_back(ProcessSize(source, &size_target, &shared));
      continue;
    }
    results.push_back(NotStarted(source, [&] { return OutputPath(source, &size_target, -1, -1); }));
  }
  return results;
}

FileResult BatchRunner::ProcessSize(const std::string& source, const SizeTarget* size_target,
                                      SharedSource* shared) const {
  const auto start = std::chrono::steady_clock::now();
  FileResult result;
  result.source = source;
  result.source_bytes = FileBytes(source);
  try {
    result.dest = size_target ? OutputPath(source, size_target, -1, -1) : DestinationFor(source);
  } catch (const std::exception& e) {
    result.status = FileStatus::kFailed;
    result.message = e.what();
    return result;
  }
  auto upToDate = [&result](const std::string& dest) {
    result.dest = dest;
    result.status = FileStatus::kUpToDate;
    result.message = "output exists and is up to date";
    result.output_bytes = FileBytes(result.dest);
    return result;
  };
  try {
    const bool replaceOlder = SkipExisting(source, result.dest);
    // The jobs refuse an output that would replace a source or the report, once its name is
    // final (after the template and the numbering).
    if (options_.copy) {
      CopyRequest request = MakeCopyRequest(source, settings_);
      request.dest_name = CustomNames() ? Claim(result.dest) : result.dest;
      request.overwrite = request.overwrite || replaceOlder;
      CopyJob copy(std::move(request));
      copy.cancel = &g_stop;
      copy.CopyFileData();
      result.dest = copy.dest_name;
      result.status = FileStatus::kWritten;
    } else {
      ResizeRequest request = MakeResizeRequest(source, settings_);
      request.dest_name = result.dest;
      if (size_target) {
        request.size = size_target->size;
        request.extras.box = size_target->box;
      }
      request.overwrite = request.overwrite || replaceOlder;
      ResizeJob work(std::move(request));
      work.shared_source = shared;
      work.budget = budget_.get();
      if (CustomNames())
        work.name_for_size = [this, &source, size_target, &work](int32_t width, int32_t height) {
          const std::string name = OutputPath(source, size_target, width, height, work.Facts());
          // A name known only now is looked at now.
          if (SkipExisting(source, name)) work.overwrite = true;
          return Claim(name);
        };
      work.cancel = &g_stop;
      work.ProcessFile();
      result.dest = work.dest_name;
      if (work.Written() && !work.Warnings().empty()) {
        result.status = FileStatus::kWrittenWithWarnings;
        result.message = JoinWarnings(work.Warnings());
      } else if (work.Written()) {
        result.status = FileStatus::kWritten;
      } else {
        result.status = FileStatus::kSkipped;
        result.message = Format("nothing written: no output format for \"%s\"",
                                ExtractFileName(result.dest).c_str());
      }
    }
  } catch (const OutputIsUpToDate& e) {
    return upToDate(e.dest);
  } catch (const AbortError&) {
    // Stopped part-way: not a fault of the file, and its output is gone with the stop.
    result.status = FileStatus::kSkipped;
    result.message = "Interrupted, nothing written";
  } catch (const std::exception& e) {
    result.status = FileStatus::kFailed;
    result.message = e.what();
  }
  if (result.status == FileStatus::kWritten || result.status == FileStatus::kWrittenWithWarnings)
    result.output_bytes = FileBytes(result.dest);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

int BatchRunner::Run(std::ostream& out, std::ostream& err, bool progressBar) {
  // A list that cannot be read is a usage error, found before anything is made.
  if (!options_.batch.files_from.empty()) {
    try {
      for (std::string& path :
           ReadPathList(options_.batch.files_from, options_.batch.null_separated, g_stop))
        options_.paths.push_back(std::move(path));
    } catch (const std::exception& e) {
      err << "tessane-cli: " << e.what() << "\n";
      return 2;
    }
  }
  // A destination folder that does not exist yet is made, as `mkdir -p` would.
  if (!options_.dest_folder.empty() && !options_.dry_run) {
    std::error_code error;
    std::filesystem::create_directories(options_.dest_folder, error);
    if (!std::filesystem::is_directory(options_.dest_folder)) {
      err << "tessane-cli: " << options_.dest_folder << ": Can't create the destination folder"
          << (error ? " (" + error.message() + ")" : std::string()) << "\n";
      return 2;
    }
  }
  // The report's file is created first, so that a bad report path fails before any work.
  std::unique_ptr<AtomicFile> report;
  if (!options_.report_path.empty() && !options_.dry_run) {
    if (DirectoryExists(options_.report_path)) {
      err << "tessane-cli: --report " << options_.report_path << ": is a folder, not a file\n";
      return 2;
    }
    try {
      report = std::make_unique<AtomicFile>(options_.report_path);
    } catch (const std::exception& e) {
      err << "tessane-cli: " << e.what() << "\n";
      return 2;
    }
  }

  bool missingPaths = false;
  std::vector<FileResult> missing;
  const std::optional<Shard>& shard = options_.batch.shard;
  std::vector<std::string> sources =
      CollectSources([&](const std::string& path, const std::string& message) {
        // Each path that cannot be read is told about by one shard only, so merged reports
        // hold it once.
        if (shard && !shard->Owns(path)) return;
        err << "tessane-cli: " << path << ": " << message << "\n";
        missingPaths = true;
        FileResult r;
        r.source = path;
        r.message = message;
        missing.push_back(r);
      });

  // Every source of the list, this shard's or not, is safe from the outputs.
  for (const std::string& source : sources) settings_.run_files->AddSource(source);
  if (shard) {
    // Numbers and names ({index}) stay those of the whole list.
    std::erase_if(sources, [&](const std::string& source) {
      const auto origin = origins_.find(source);
      return !shard->Owns(origin == origins_.end() ? source : origin->second.key);
    });
  }

  if (report) {
    const std::string refusal = ReportRefusal(sources);
    if (!refusal.empty()) {
      err << "tessane-cli: --report " << options_.report_path << ": " << refusal << "\n";
      return 2;
    }
    settings_.run_files->AddProtected(options_.report_path);
  }

  if (on_sources_collected && !options_.dry_run && !g_stop.load()) on_sources_collected(sources);

  if (options_.dry_run) {
    const std::vector<SizeTarget>& sizes = options_.batch.sizes;
    for (const std::string& source : sources) {
      if (g_stop.load()) return 128 + g_stopSignal.load();
      for (size_t k = 0; k < std::max<size_t>(sizes.size(), 1); ++k) {
        std::string dest;
        try {
          dest = sizes.empty() ? DestinationFor(source) : OutputPath(source, &sizes[k], -1, -1);
        } catch (const std::exception& e) {
          err << "tessane-cli: " << source << ": " << e.what() << "\n";
          missingPaths = true;
          continue;
        }
        out << source << " -> " << dest;
        if (options_.batch.skip_existing && OutputUpToDate(source, dest)) out << " (up to date)";
        out << "\n";
      }
    }
    return missingPaths ? 1 : 0;
  }

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t workers =
      std::min<size_t>(options_.jobs > 0 ? static_cast<size_t>(options_.jobs) : cores,
                       std::max<size_t>(sources.size(), 1));
  Progress progress(err, progressBar && !options_.quiet, sources.size());
  const std::vector<size_t> order = ProcessingOrder(sources, workers);
  std::atomic<size_t> next{0};
  std::atomic<size_t> written{0}, warned{0}, failed{0}, skipped{0}, upToDate{0};
  // Results keep the list's order, whatever order the files are done in.
  // One result per output: one per file, or one per size of each file with several sizes.
  std::vector<std::vector<FileResult>> results(sources.size());
  std::vector<char> done(sources.size(), 0);
  auto worker = [&] {
    for (size_t n = next++; n < order.size() && !g_stop.load(); n = next++) {
      const size_t i = order[n];
      results[i] = ProcessAll(sources[i]);
      done[i] = 1;
      bool bad = false;
      for (const FileResult& r : results[i]) {
        switch (r.status) {
          case FileStatus::kWritten:
            ++written;
            break;
          case FileStatus::kWrittenWithWarnings:
            ++written;
            ++warned;
            break;
          case FileStatus::kFailed:
            ++failed;
            break;
          case FileStatus::kSkipped:
            ++skipped;
            break;
          case FileStatus::kUpToDate:
            ++upToDate;
            break;
        }
        if (r.status != FileStatus::kWritten && r.status != FileStatus::kUpToDate) progress.Fail(r);
        bad = bad || r.status == FileStatus::kFailed || r.status == FileStatus::kSkipped;
        if (on_file_done) on_file_done(r);
      }
      progress.Done(bad);
    }
  };
  std::vector<std::thread> pool;
  for (size_t i = 1; i < workers; ++i) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  progress.Finish();

  const int stopSignal = g_stop.load() ? g_stopSignal.load() : 0;
  size_t notStarted = 0;
  for (size_t i = 0; i < sources.size(); ++i) {
    if (done[i]) continue;
    ++notStarted;
    // No destination: naming each file ({date} reads it) would keep a large run from stopping.
    results[i] = {NotStarted(sources[i])};
  }

  bool reportFailed = false;
  if (report) {
    for (std::vector<FileResult>& rows : results)
      missing.insert(missing.end(), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
    const std::string text = ReportText(missing);
    try {
      // A name known only once the pixel size was may still have become the report's.
      for (const FileResult& r : missing)
        if ((r.status == FileStatus::kWritten || r.status == FileStatus::kWrittenWithWarnings) &&
            SamePath(r.dest, options_.report_path))
          throw FileSystemError(Format("the report would replace the output of \"%s\"; not written",
                                       r.source.c_str()));
      report->Stream().WriteBuffer(text.data(), text.size());
      report->Commit();
    } catch (const std::exception& e) {
      err << "tessane-cli: " << options_.report_path << ": " << e.what() << "\n";
      reportFailed = true;
    }
  }

  if (!options_.quiet) {
    char line[240];
    const std::string withWarnings =
        warned > 0 ? " (" + std::to_string(warned.load()) + " with warnings)" : std::string();
    const std::string upToDateText =
        upToDate > 0 ? ", " + std::to_string(upToDate.load()) + " up to date" : std::string();
    // With several sizes the counts are of outputs.
    const std::string outputs =
        options_.batch.sizes.empty()
            ? std::string()
            : ", " + std::to_string(sources.size() * options_.batch.sizes.size()) + " outputs";
    std::snprintf(
        line, sizeof line, "%zu files%s: %zu written%s, %zu failed, %zu skipped%s in %.2f s\n",
        sources.size(), outputs.c_str(), written.load(), withWarnings.c_str(), failed.load(),
        skipped.load() + notStarted, upToDateText.c_str(), progress.Elapsed());
    out << line;
    if (stopSignal != 0)
      out << "Interrupted (" << SignalName(stopSignal) << "): " << notStarted
          << " files not started, no partial output left\n";
  }
  if (stopSignal != 0) return 128 + stopSignal;
  return (failed == 0 && skipped == 0 && !missingPaths && !reportFailed) ? 0 : 1;
}

}  // namespace tessane::cli
