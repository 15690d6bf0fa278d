#include "app/memory_usage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "base/errors.h"

namespace tessane {

namespace {

// The real status file is about 1.5 KiB; reading no more than this keeps a wrong path (a pipe,
// /dev/zero) from stalling the timer or growing memory.
constexpr size_t kMaxStatusBytes = 64 * 1024;

[[noreturn]] void RaiseOSError(int code) {
  const std::string text = code == 0 ? "A call to an OS function failed" : SysErrorMessage(code);
  throw SystemError(Format("System Error.  Code: %d.\r\n%s", code, text.c_str()));
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Parses "<key>:   <digits> kB" out of the status text; false when absent or malformed.
bool FindKilobytes(std::string_view status, std::string_view key, uint64_t& kilobytes) {
  size_t pos = 0;
  while (pos < status.size()) {
    size_t end = status.find('\n', pos);
    if (end == std::string_view::npos) end = status.size();
    std::string_view line = status.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != ':') continue;
    line.remove_prefix(key.size() + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    uint64_t value = 0;
    size_t digits = 0;
    for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
      const uint64_t digit = static_cast<uint64_t>(line[digits] - '0');
      if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
      value = value * 10 + digit;
    }
    if (digits == 0 || line.substr(digits) != " kB") return false;
    kilobytes = value;
    return true;
  }
  return false;
}

uint64_t ReadFigure(const std::string& statusPath, std::string_view key) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(statusPath.c_str(), "re"));
  if (!file) RaiseOSError(errno);
  std::string text(kMaxStatusBytes, '\0');
  const size_t got = std::fread(text.data(), 1, text.size(), file.get());
  if (std::ferror(file.get())) RaiseOSError(errno);
  text.resize(got);
  uint64_t kilobytes = 0;
  if (!FindKilobytes(text, key, kilobytes) ||
      kilobytes > std::numeric_limits<uint64_t>::max() / 1024)
    RaiseOSError(0);
  return kilobytes * 1024;
}

}  // namespace

uint64_t GetMemoryUsage(const std::string& statusPath) {
  return ReadFigure(statusPath, "VmRSS");
}

uint64_t GetPeakMemoryUsage(const std::string& statusPath) {
  return ReadFigure(statusPath, "VmHWM");
}

}  // namespace tessane
