#include "cli/source_list.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "base/errors.h"

namespace tessane::cli {

namespace {

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

std::vector<std::string> ReadPathList(const std::string& file, bool nulSeparated,
                                      std::istream& standardInput) {
  std::string text;
  if (file == "-") {
    text = ReadAll(standardInput);
    if (standardInput.bad()) throw FileSystemError("Cannot read the list of files from standard input");
  } else {
    struct stat st;
    if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      throw FileSystemError(
          Format("Cannot read the list of files \"%s\": Is a directory", file.c_str()));
    std::ifstream in(file, std::ios::binary);
    const int code = errno;
    if (!in)
      throw FileSystemError(Format("Cannot read the list of files \"%s\": %s", file.c_str(),
                               SysErrorMessage(code).c_str()));
    text = ReadAll(in);
    if (in.bad()) throw FileSystemError(Format("Cannot read the list of files \"%s\"", file.c_str()));
  }
  const char separator = nulSeparated ? '\0' : '\n';
  std::vector<std::string> paths;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string path = text.substr(start, end - start);
    if (!nulSeparated && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths.push_back(std::move(path));
    start = end + 1;
  }
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
