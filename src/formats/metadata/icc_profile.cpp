#include "formats/metadata/icc_profile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace tessane {

namespace {

// Far beyond any real profile (the largest CMYK ones hold a few MB of tables).
constexpr size_t kMaxProfileBytes = size_t{16} << 20;

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// A zlib stream inflated whole, or nothing when it is damaged, cut or too large.
std::vector<uint8_t> Inflate(const uint8_t* data, size_t size) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return {};
  std::vector<uint8_t> out;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(std::min<size_t>(size, 0xFFFFFFFFu));
  int status = Z_OK;
  uint8_t buffer[16384];
  while (status == Z_OK) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    if (out.size() > kMaxProfileBytes) status = Z_MEM_ERROR;
    if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) status = Z_DATA_ERROR;
  }
  inflateEnd(&z);
  if (status != Z_STREAM_END) return {};
  return out;
}

}  // namespace

std::vector<uint8_t> PngIccProfile(const std::vector<uint8_t>& file) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return {};
  size_t at = 8;
  while (file.size() - at >= 12) {
    const size_t length = Be32(&file[at]);
    const uint8_t* type = &file[at + 4];
    if (length > file.size() - at - 12) return {};
    const uint8_t* data = &file[at + 8];
    // Both come before the image data; an sRGB chunk means the pixels are sRGB already.
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return {};
    if (std::memcmp(type, "sRGB", 4) == 0) return {};
    if (std::memcmp(type, "iCCP", 4) == 0) {
      // Keyword, a zero byte, the compression method (0 = deflate), the zlib stream.
      const uint8_t* end = data + length;
      const uint8_t* zero = std::find(data, end, uint8_t{0});
      if (zero == end || end - zero < 2 || zero[1] != 0) return {};
      return Inflate(zero + 2, static_cast<size_t>(end - zero - 2));
    }
    at += length + 12;
  }
  return {};
}

std::vector<uint8_t> TiffIccProfile(const std::vector<uint8_t>& file) {
  if (file.size() < 8) return {};
  const bool little = file[0] == 'I' && file[1] == 'I' && file[2] == 42 && file[3] == 0;
  const bool big = file[0] == 'M' && file[1] == 'M' && file[2] == 0 && file[3] == 42;
  if (!little && !big) return {};
  auto u16 = [&](size_t at) -> uint32_t {
    return little ? file[at] | file[at + 1] << 8 : file[at] << 8 | file[at + 1];
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
  };
  const size_t ifd = u32(4);
  if (ifd > file.size() - 2) return {};
  const size_t entries = u16(ifd);
  if (entries > (file.size() - ifd - 2) / 12) return {};
  for (size_t i = 0; i < entries; ++i) {
    const size_t entry = ifd + 2 + 12 * i;
    constexpr uint32_t kIccTag = 34675;
    const uint32_t type = u16(entry + 2);
    // UNDEFINED, or BYTE as some writers store it.
    if (u16(entry) != kIccTag || (type != 7 && type != 1)) continue;
    const size_t count = u32(entry + 4);
    const size_t offset = u32(entry + 8);
    // A profile has a 128-byte header at least, so it never fits in the entry itself.
    if (count < 128 || count > kMaxProfileBytes || offset > file.size() ||
        count > file.size() - offset)
      return {};
    return std::vector<uint8_t>(file.begin() + static_cast<ptrdiff_t>(offset),
                                file.begin() + static_cast<ptrdiff_t>(offset + count));
  }
  return {};
}

}  // namespace tessane
