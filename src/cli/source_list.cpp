#include "cli/source_list.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "base/errors.h"

namespace tessane::cli {

namespace {

bool Before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The list's descriptor: standard input stays open, a named list is closed.
class ListFile {
 public:
  explicit ListFile(const std::string& file) : name_(file) {
    if (file == "-") {
      fd_ = STDIN_FILENO;
      return;
    }
    struct stat st;
    if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      throw FileSystemError(Format("Cannot read %s: Is a directory", Name().c_str()));
    // Not blocking: a FIFO with no writer yet is waited for in poll, where a stop is seen.
    fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
      throw FileSystemError(
          Format("Cannot read %s: %s", Name().c_str(), SysErrorMessage(errno).c_str()));
  }
  ~ListFile() {
    if (fd_ != STDIN_FILENO) ::close(fd_);
  }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  /// "the list of files ..." for the middle of a sentence, "The ..." for its start.
  std::string Name(bool start = false) const {
    const char* list = start ? "The list of files" : "the list of files";
    return name_ == "-" ? Format("%s from standard input", list)
                        : Format("%s \"%s\"", list, name_.c_str());
  }

  /// The next piece of the list (0 bytes at its end), or nothing when `stop` was raised first.
  std::optional<size_t> Read(char* buffer, size_t size, const std::atomic<bool>& stop) {
    for (;;) {
      if (stop.load()) return std::nullopt;
      // A short wait, so that a stop is seen even when its signal went to another thread.
      pollfd ready{fd_, POLLIN, 0};
      const int polled = ::poll(&ready, 1, 100);
      if (polled < 0 && errno != EINTR) Fail(errno);
      if (polled <= 0) continue;
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR && errno != EAGAIN) Fail(errno);
    }
  }

 private:
  [[noreturn]] void Fail(int code) const {
    throw FileSystemError(
        Format("Cannot read %s: %s", Name().c_str(), SysErrorMessage(code).c_str()));
  }

  std::string name_;
  int fd_ = -1;
};

}  // namespace

std::vector<std::string> ReadPathList(const std::string& file, bool nulSeparated,
                                      const std::atomic<bool>& stop) {
  ListFile list(file);
  const char separator = nulSeparated ? '\0' : '\n';
  const char* unit = nulSeparated ? "Entry" : "Line";
  std::vector<std::string> paths;
  std::string entry;
  size_t line = 1;      // the number of the entry being read
  size_t emptyRun = 0;  // empty entries just before it
  auto endEntry = [&] {
    if (!nulSeparated && !entry.empty() && entry.back() == '\r') entry.pop_back();
    if (entry.size() >= PATH_MAX)
      throw FileSystemError(Format("%s %zu of %s is longer than a path can be (%d bytes)", unit,
                                   line, list.Name().c_str(), PATH_MAX));
    if (entry.empty()) {
      if (++emptyRun > kMaxEmptyRun)
        throw FileSystemError(Format("%s has more than %zu empty %s in a row (from %s %zu on)",
                                     list.Name(true).c_str(), kMaxEmptyRun,
                                     nulSeparated ? "entries" : "lines",
                                     nulSeparated ? "entry" : "line", line - kMaxEmptyRun));
    } else {
      emptyRun = 0;
      paths.push_back(std::move(entry));
    }
    entry.clear();
    ++line;
  };
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const std::optional<size_t> got = list.Read(buffer.data(), buffer.size(), stop);
    if (!got) return paths;
    if (*got == 0) break;
    for (size_t at = 0; at < *got;) {
      const char* start = buffer.data() + at;
      const char* end = static_cast<const char*>(std::memchr(start, separator, *got - at));
      const size_t length = end ? static_cast<size_t>(end - start) : *got - at;
      if (!nulSeparated && std::memchr(start, '\0', length) != nullptr)
        throw FileSystemError(
            Format("Line %zu of %s holds a NUL byte, which no path can (a "
                   "NUL-separated list needs -0)",
                   line, list.Name().c_str()));
      // One byte more than a path may still be a carriage return before the line's end.
      if (entry.size() + length > PATH_MAX)
        throw FileSystemError(Format("%s %zu of %s is longer than a path can be (%d bytes)", unit,
                                     line, list.Name().c_str(), PATH_MAX));
      entry.append(start, length);
      at += length;
      if (end) {
        endEntry();
        ++at;
      }
    }
  }
  if (!entry.empty()) endEntry();
  return paths;
}

ExistingOutput ExistingOutputOf(const std::string& source, const std::string& output) {
  struct stat src, out;
  if (::lstat(output.c_str(), &out) != 0) return ExistingOutput::kNone;
  if (S_ISDIR(out.st_mode)) return ExistingOutput::kFolder;
  if (S_ISLNK(out.st_mode)) return ExistingOutput::kLink;
  if (!S_ISREG(out.st_mode)) return ExistingOutput::kOther;
  if (::stat(source.c_str(), &src) != 0) return ExistingOutput::kNone;
  // Written next to its source under its own name, a file is no output of itself.
  if (src.st_dev == out.st_dev && src.st_ino == out.st_ino) return ExistingOutput::kSource;
  return Before(out.st_mtim, src.st_mtim) ? ExistingOutput::kOlder : ExistingOutput::kUpToDate;
}

bool OutputUpToDate(const std::string& source, const std::string& output) {
  return ExistingOutputOf(source, output) == ExistingOutput::kUpToDate;
}

}  // namespace tessane::cli
