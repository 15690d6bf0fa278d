#include "formats/metadata/exif_date.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tessane {

namespace {

// Bounds-checked reads from a TIFF structure of either byte order.
class TiffReader {
 public:
  TiffReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Header() {
    if (size_ < 8) return false;
    if (data_[0] == 'I' && data_[1] == 'I')
      little_ = true;
    else if (data_[0] == 'M' && data_[1] == 'M')
      little_ = false;
    else
      return false;
    return U16(2) == 42;
  }
  uint32_t U16(size_t at) const {
    if (at + 2 > size_) return 0;
    return little_ ? data_[at] | data_[at + 1] << 8 : data_[at] << 8 | data_[at + 1];
  }
  uint32_t U32(size_t at) const {
    if (at + 4 > size_) return 0;
    return little_ ? U16(at) | U16(at + 2) << 16 : U16(at) << 16 | U16(at + 2);
  }
  /// Offset of the entry for `tag` in the IFD at `ifd`; 0 when there is none.
  size_t Entry(size_t ifd, uint32_t tag) const {
    if (ifd < 8 || ifd + 2 > size_) return 0;
    const uint32_t count = U16(ifd);
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = ifd + 2 + 12 * size_t{i};
      if (entry + 12 > size_) return 0;
      if (U16(entry) == tag) return entry;
    }
    return 0;
  }
  const uint8_t* Bytes(size_t at, size_t n) const { return at + n <= size_ ? data_ + at : nullptr; }

 private:
  const uint8_t* data_;
  size_t size_;
  bool little_ = true;
};

constexpr char kExifId[] = "Exif\0";  // followed by one more NUL
constexpr uint32_t kExifIfdTag = 0x8769, kDateTimeOriginalTag = 0x9003, kAscii = 2;

std::optional<std::tm> ParseExifDate(const char* text) {
  int year, month, day, hour, minute, second;
  char end;
  if (std::sscanf(text, "%4d:%2d:%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second,
                  &end) != 6)
    return std::nullopt;
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60 || hour < 0 || minute < 0 || second < 0)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  // Fills in the day of the week and of the year for formats that use them.
  std::tm normalised = tm;
  if (std::mktime(&normalised) != -1) {
    tm.tm_wday = normalised.tm_wday;
    tm.tm_yday = normalised.tm_yday;
  }
  return tm;
}

}  // namespace

std::optional<std::tm> ExifDateTimeOriginal(const std::vector<uint8_t>& exifPayload) {
  if (exifPayload.size() < 6 || std::memcmp(exifPayload.data(), kExifId, 6) != 0)
    return std::nullopt;
  TiffReader tiff(exifPayload.data() + 6, exifPayload.size() - 6);
  if (!tiff.Header()) return std::nullopt;
  const size_t pointer = tiff.Entry(tiff.U32(4), kExifIfdTag);
  if (pointer == 0) return std::nullopt;
  const size_t entry = tiff.Entry(tiff.U32(pointer + 8), kDateTimeOriginalTag);
  if (entry == 0 || tiff.U16(entry + 2) != kAscii) return std::nullopt;
  const uint32_t count = tiff.U32(entry + 4);
  if (count < 19 || count > 64) return std::nullopt;
  const uint8_t* bytes = count <= 4 ? nullptr : tiff.Bytes(tiff.U32(entry + 8), count);
  if (!bytes) return std::nullopt;
  char text[65] = {};
  std::memcpy(text, bytes, count);
  return ParseExifDate(text);
}

}  // namespace tessane
