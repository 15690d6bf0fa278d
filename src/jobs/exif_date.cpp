#include "jobs/exif_date.h"

#include <sys/stat.h>

#include "base/paths.h"
#include "base/stream.h"
#include "formats/metadata/metadata.h"

namespace tessane {

std::optional<std::tm> SourceDate(const std::string& path) {
  const std::string ext = LowerCaseAscii(ExtractFileExt(path));
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jfif") {
    try {
      FileStream stream(path, FileMode::kOpenRead);
      if (auto date = ExifDateTimeOriginal(ReadJpegMetadata(stream).exif)) return date;
    } catch (const std::exception&) {
      // Unreadable here means unreadable for the work too, which says why.
    }
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  std::tm tm{};
  if (!::localtime_r(&st.st_mtim.tv_sec, &tm)) return std::nullopt;
  return tm;
}

}  // namespace tessane
