#include "formats/metadata/metadata.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace tessane {

namespace {

constexpr std::string_view kExifId{"Exif\0\0", 6};
constexpr std::string_view kXmpId{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kXmpExtensionId{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr std::string_view kIccId{"ICC_PROFILE\0", 12};
// Far beyond any real file's metadata; a hostile chain of segments cannot grow memory further.
constexpr size_t kMaxMetadataBytes = size_t{16} << 20;

bool StartsWith(const std::vector<uint8_t>& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

enum : uint16_t {
  kTagOrientation = 0x0112,
  kTagExifIfd = 0x8769,
  kTagGpsIfd = 0x8825,
  kTagInteropIfd = 0xA005,
  kTagPixelXDimension = 0xA002,
  kTagPixelYDimension = 0xA003,
  kTagThumbnailOffset = 0x0201,
  kTagThumbnailLength = 0x0202,
};

enum : uint16_t { kTypeShort = 3, kTypeLong = 4 };

/// A TIFF structure in memory; every access is checked against its size.
class TiffView {
 public:
  TiffView(uint8_t* data, size_t size) : data_(data), size_(size) {}

  /// Reads the byte order and IFD0's offset; false for anything that is not a TIFF header.
  bool ReadHeader() {
    if (size_ < 8) return false;
    if (data_[0] == 'I' && data_[1] == 'I') {
      little_ = true;
    } else if (data_[0] == 'M' && data_[1] == 'M') {
      little_ = false;
    } else {
      return false;
    }
    return U16(2) == 42 && U32(4, ifd0_);
  }

  uint32_t Ifd0() const { return ifd0_; }
  size_t Size() const { return size_; }

  bool U16(size_t offset, uint16_t& value) const {
    if (offset > size_ || size_ - offset < 2) return false;
    const uint8_t* p = data_ + offset;
    value =
        little_ ? static_cast<uint16_t>(p[0] | p[1] << 8) : static_cast<uint16_t>(p[0] << 8 | p[1]);
    return true;
  }
  uint16_t U16(size_t offset) const {
    uint16_t v = 0;
    return U16(offset, v) ? v : 0;
  }
  bool U32(size_t offset, uint32_t& value) const {
    if (offset > size_ || size_ - offset < 4) return false;
    const uint8_t* p = data_ + offset;
    value =
        little_
            ? (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24)
            : (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]});
    return true;
  }
  void Put16(size_t offset, uint16_t v) {
    if (offset > size_ || size_ - offset < 2) return;
    uint8_t* p = data_ + offset;
    if (little_) {
      p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
    } else {
      p[0] = static_cast<uint8_t>(v >> 8), p[1] = static_cast<uint8_t>(v);
    }
  }
  void Put32(size_t offset, uint32_t v) {
    if (offset > size_ || size_ - offset < 4) return;
    for (int i = 0; i < 4; ++i)
      data_[offset + i] = static_cast<uint8_t>(little_ ? v >> (8 * i) : v >> (8 * (3 - i)));
  }

  /// Number of entries of the IFD at `offset` when the whole IFD (with its next pointer, when
  /// `withNext`) lies inside the data.
  std::optional<uint16_t> IfdCount(size_t offset, bool withNext) const {
    uint16_t count = 0;
    if (offset < 8 || !U16(offset, count)) return std::nullopt;
    const size_t need = 2 + size_t{12} * count + (withNext ? 4 : 0);
    if (size_ - offset < need) return std::nullopt;
    return count;
  }
  /// Offset of the entry with this tag in the IFD at `ifd`, if any.
  std::optional<size_t> FindEntry(size_t ifd, uint16_t tag) const {
    const auto count = IfdCount(ifd, false);
    if (!count) return std::nullopt;
    for (size_t i = 0; i < *count; ++i) {
      const size_t entry = ifd + 2 + 12 * i;
      if (U16(entry) == tag) return entry;
    }
    return std::nullopt;
  }
  /// A LONG (or SHORT) value held in the entry itself.
  std::optional<uint32_t> EntryNumber(size_t entry) const {
    const uint16_t type = U16(entry + 2);
    uint32_t count = 0;
    if (!U32(entry + 4, count) || count < 1) return std::nullopt;
    if (type == kTypeShort) return U16(entry + 8);
    uint32_t v = 0;
    if (type == kTypeLong && U32(entry + 8, v)) return v;
    return std::nullopt;
  }

  /// End of the byte range the IFD and its out-of-line values cover (0 when unreadable).
  size_t IfdExtent(size_t ifd, bool withNext) const {
    const auto count = IfdCount(ifd, withNext);
    if (!count) return 0;
    size_t end = ifd + 2 + size_t{12} * *count + (withNext ? 4 : 0);
    for (size_t i = 0; i < *count; ++i) {
      const size_t entry = ifd + 2 + 12 * i;
      const uint64_t bytes = uint64_t{TypeSize(U16(entry + 2))} * Count(entry);
      uint32_t offset = 0;
      if (bytes > 4 && U32(entry + 8, offset))
        end = std::max<size_t>(end, std::min<uint64_t>(uint64_t{offset} + bytes, size_));
    }
    return end;
  }

 private:
  static uint32_t TypeSize(uint16_t type) {
    switch (type) {
      case 1:
      case 2:
      case 6:
      case 7:
        return 1;
      case 3:
      case 8:
        return 2;
      case 4:
      case 9:
      case 11:
      case 13:
        return 4;
      case 5:
      case 10:
      case 12:
        return 8;
      default:
        return 0;
    }
  }
  uint32_t Count(size_t entry) const {
    uint32_t c = 0;
    return U32(entry + 4, c) ? c : 0;
  }

  uint8_t* data_;
  size_t size_;
  bool little_ = true;
  uint32_t ifd0_ = 0;
};

void AppendBE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void AppendPngChunk(std::vector<uint8_t>& out, const char* name, const std::vector<uint8_t>& data) {
  AppendBE32(out, static_cast<uint32_t>(data.size()));
  const size_t nameAt = out.size();
  out.insert(out.end(), name, name + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc =
      crc32(crc32(0, nullptr, 0), out.data() + nameAt, static_cast<uInt>(out.size() - nameAt));
  AppendBE32(out, static_cast<uint32_t>(crc));
}

void AppendJpegSegment(std::vector<uint8_t>& out, uint8_t marker,
                       const std::vector<uint8_t>& payload) {
  if (payload.size() > 65533) return;  // cannot be expressed as one segment
  const size_t length = payload.size() + 2;
  out.push_back(0xFF);
  out.push_back(marker);
  out.push_back(static_cast<uint8_t>(length >> 8));
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), payload.begin(), payload.end());
}

}  // namespace

SourceMetadata ReadJpegMetadata(ByteStream& stream) {
  SourceMetadata result;
  uint8_t soi[2] = {};
  if (stream.Read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8) return result;
  size_t kept = 0;
  for (;;) {
    uint8_t byte = 0;
    if (stream.Read(&byte, 1) != 1 || byte != 0xFF) return result;
    uint8_t marker = 0xFF;
    while (marker == 0xFF)
      if (stream.Read(&marker, 1) != 1) return result;
    if (marker == 0xD9 || marker == 0xDA) return result;  // EOI, SOS: no more header segments
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    uint8_t len[2] = {};
    if (stream.Read(len, 2) != 2) return result;
    const size_t length = size_t{len[0]} << 8 | len[1];
    if (length < 2) return result;
    const size_t n = length - 2;
    if (stream.Remaining() < static_cast<int64_t>(n)) return result;
    if ((marker != 0xE1 && marker != 0xE2) || kept + n > kMaxMetadataBytes) {
      stream.Seek(static_cast<int64_t>(n), SeekOrigin::kCurrent);
      continue;
    }
    std::vector<uint8_t> payload(n);
    if (stream.Read(payload.data(), n) != n) return result;
    if (marker == 0xE1 && StartsWith(payload, kExifId)) {
      if (!result.exif.empty()) continue;
      kept += n;
      result.exif = std::move(payload);
    } else if (marker == 0xE1 &&
               (StartsWith(payload, kXmpId) || StartsWith(payload, kXmpExtensionId))) {
      kept += n;
      result.xmp.push_back(std::move(payload));
    } else if (marker == 0xE2 && StartsWith(payload, kIccId)) {
      kept += n;
      result.icc.push_back(std::move(payload));
    }
  }
}

int TiffOrientation(const uint8_t* data, size_t size) {
  // The view only reads here; it takes a mutable pointer for the editing functions.
  TiffView tiff(const_cast<uint8_t*>(data), size);
  if (!tiff.ReadHeader()) return 0;
  const auto entry = tiff.FindEntry(tiff.Ifd0(), kTagOrientation);
  if (!entry || tiff.U16(*entry + 2) != kTypeShort) return 0;
  const uint16_t value = tiff.U16(*entry + 8);
  return value >= 1 && value <= 8 ? value : 0;
}

int ExifOrientation(const std::vector<uint8_t>& exifPayload) {
  if (!StartsWith(exifPayload, kExifId)) return 0;
  return TiffOrientation(exifPayload.data() + kExifId.size(), exifPayload.size() - kExifId.size());
}

int TiffFileOrientation(ByteStream& stream) {
  const int64_t size = stream.Size();
  uint8_t header[8] = {};
  stream.SetPosition(0);
  if (stream.Read(header, 8) != 8) return 0;
  TiffView head(header, 8);
  if (!head.ReadHeader()) return 0;
  const int64_t ifd = head.Ifd0();
  uint8_t countBytes[2] = {};
  if (ifd < 8 || ifd + 2 > size) return 0;
  stream.SetPosition(ifd);
  if (stream.Read(countBytes, 2) != 2) return 0;
  // Rebuild a small TIFF image in memory: header, then the IFD at its own offset 8.
  const uint16_t count = header[0] == 'I'
                             ? static_cast<uint16_t>(countBytes[0] | countBytes[1] << 8)
                             : static_cast<uint16_t>(countBytes[0] << 8 | countBytes[1]);
  const int64_t entriesBytes = int64_t{12} * count;
  if (ifd + 2 + entriesBytes > size) return 0;
  std::vector<uint8_t> copy(8 + 2 + static_cast<size_t>(entriesBytes));
  std::memcpy(copy.data(), header, 8);
  copy[4] = copy[7] = 0;
  copy[header[0] == 'I' ? 4 : 7] = 8;
  copy[5] = copy[6] = 0;
  copy[8] = countBytes[0];
  copy[9] = countBytes[1];
  if (entriesBytes > 0 && stream.Read(copy.data() + 10, static_cast<size_t>(entriesBytes)) !=
                              static_cast<size_t>(entriesBytes))
    return 0;
  return TiffOrientation(copy.data(), copy.size());
}

std::vector<uint8_t> PrepareExifForOutput(const std::vector<uint8_t>& exifPayload,
                                          bool resetOrientation, int32_t width, int32_t height) {
  std::vector<uint8_t> out = exifPayload;
  if (!StartsWith(out, kExifId)) return out;
  TiffView tiff(out.data() + kExifId.size(), out.size() - kExifId.size());
  if (!tiff.ReadHeader() || !tiff.IfdCount(tiff.Ifd0(), false)) return out;
  const size_t ifd0 = tiff.Ifd0();

  if (resetOrientation) {
    if (const auto entry = tiff.FindEntry(ifd0, kTagOrientation);
        entry && tiff.U16(*entry + 2) == kTypeShort)
      tiff.Put16(*entry + 8, 1);
  }

  size_t keepEnd = tiff.IfdExtent(ifd0, true);
  std::optional<uint32_t> exifIfd;
  if (const auto entry = tiff.FindEntry(ifd0, kTagExifIfd)) exifIfd = tiff.EntryNumber(*entry);
  if (exifIfd && tiff.IfdCount(*exifIfd, false)) {
    keepEnd = std::max(keepEnd, tiff.IfdExtent(*exifIfd, false));
    const std::pair<uint16_t, int32_t> sizes[] = {{kTagPixelXDimension, width},
                                                  {kTagPixelYDimension, height}};
    for (const auto& [tag, value] : sizes) {
      const auto entry = tiff.FindEntry(*exifIfd, tag);
      if (!entry || value <= 0) continue;
      if (tiff.U16(*entry + 2) == kTypeLong) {
        tiff.Put32(*entry + 8, static_cast<uint32_t>(value));
      } else if (tiff.U16(*entry + 2) == kTypeShort && value <= 65535) {
        tiff.Put16(*entry + 8, static_cast<uint16_t>(value));
      }
    }
    if (const auto entry = tiff.FindEntry(*exifIfd, kTagInteropIfd))
      if (const auto interop = tiff.EntryNumber(*entry))
        keepEnd = std::max(keepEnd, tiff.IfdExtent(*interop, false));
  }
  if (const auto entry = tiff.FindEntry(ifd0, kTagGpsIfd))
    if (const auto gps = tiff.EntryNumber(*entry))
      keepEnd = std::max(keepEnd, tiff.IfdExtent(*gps, false));

  // Unlink IFD1 (the thumbnail's directory); cut its bytes off when nothing kept lies after them.
  const size_t nextAt = ifd0 + 2 + 12 * size_t{*tiff.IfdCount(ifd0, false)};
  uint32_t ifd1 = 0;
  if (!tiff.U32(nextAt, ifd1) || ifd1 == 0) return out;
  tiff.Put32(nextAt, 0);
  size_t thumbStart = ifd1;
  if (tiff.IfdCount(ifd1, false)) {
    const auto offset = tiff.FindEntry(ifd1, kTagThumbnailOffset);
    const auto value = offset ? tiff.EntryNumber(*offset) : std::nullopt;
    if (value && *value >= 8) thumbStart = std::min<size_t>(thumbStart, *value);
  }
  if (thumbStart >= keepEnd && thumbStart >= 8 && thumbStart < tiff.Size())
    out.resize(kExifId.size() + thumbStart);
  return out;
}

std::vector<uint8_t> AssembleIccProfile(const std::vector<std::vector<uint8_t>>& chunks) {
  if (chunks.empty()) return {};
  const size_t header = kIccId.size() + 2;
  const size_t total = chunks.size();
  std::vector<const std::vector<uint8_t>*> ordered(total, nullptr);
  for (const auto& chunk : chunks) {
    if (chunk.size() <= header) return {};
    const size_t sequence = chunk[kIccId.size()];
    const size_t count = chunk[kIccId.size() + 1];
    if (count != total || sequence < 1 || sequence > total || ordered[sequence - 1]) return {};
    ordered[sequence - 1] = &chunk;
  }
  std::vector<uint8_t> profile;
  for (const auto* chunk : ordered)
    profile.insert(profile.end(), chunk->begin() + header, chunk->end());
  return profile;
}

std::vector<uint8_t> SpliceJpegMetadata(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& exif,
                                        const SourceMetadata& metadata) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return jpeg;
  size_t at = 2;
  if (jpeg[2] == 0xFF && jpeg[3] == 0xE0 && jpeg.size() >= 6) {
    const size_t length = size_t{jpeg[4]} << 8 | jpeg[5];
    if (jpeg.size() - 4 >= length) at = 4 + length;
  }
  std::vector<uint8_t> segments;
  if (!exif.empty()) AppendJpegSegment(segments, 0xE1, exif);
  for (const auto& xmp : metadata.xmp) AppendJpegSegment(segments, 0xE1, xmp);
  for (const auto& icc : metadata.icc) AppendJpegSegment(segments, 0xE2, icc);
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), segments.begin(), segments.end());
  return jpeg;
}

std::vector<uint8_t> SplicePngMetadata(std::vector<uint8_t> png, const std::vector<uint8_t>& exif,
                                       const SourceMetadata& metadata) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  constexpr size_t kAfterIhdr = 8 + 4 + 4 + 13 + 4;
  if (png.size() < kAfterIhdr || std::memcmp(png.data(), kSignature, 8) != 0 ||
      std::memcmp(png.data() + 12, "IHDR", 4) != 0 || png[8] || png[9] || png[10] || png[11] != 13)
    return png;

  std::vector<uint8_t> chunks;
  const std::vector<uint8_t> profile = AssembleIccProfile(metadata.icc);
  if (!profile.empty()) {
    static constexpr char kName[] = "ICC profile";
    std::vector<uint8_t> data(kName, kName + sizeof kName);  // name, NUL
    data.push_back(0);                                       // compression method: zlib
    uLongf packed = compressBound(static_cast<uLong>(profile.size()));
    const size_t start = data.size();
    data.resize(start + packed);
    if (compress2(data.data() + start, &packed, profile.data(), static_cast<uLong>(profile.size()),
                  Z_BEST_COMPRESSION) == Z_OK) {
      data.resize(start + packed);
      AppendPngChunk(chunks, "iCCP", data);
    }
  }
  if (exif.size() > kExifId.size() + 8 && StartsWith(exif, kExifId)) {
    std::vector<uint8_t> tiff(exif.begin() + kExifId.size(), exif.end());
    if (TiffView(tiff.data(), tiff.size()).ReadHeader()) AppendPngChunk(chunks, "eXIf", tiff);
  }
  for (const auto& xmp : metadata.xmp) {
    if (!StartsWith(xmp, kXmpId)) continue;  // extension parts have no place in PNG
    static constexpr char kKeyword[] = "XML:com.adobe.xmp";
    std::vector<uint8_t> data(kKeyword, kKeyword + sizeof kKeyword);
    // Not compressed, method 0, empty language tag, empty translated keyword.
    data.insert(data.end(), {0, 0, 0, 0});
    data.insert(data.end(), xmp.begin() + kXmpId.size(), xmp.end());
    AppendPngChunk(chunks, "iTXt", data);
    break;
  }
  png.insert(png.begin() + kAfterIhdr, chunks.begin(), chunks.end());
  return png;
}

}  // namespace tessane
