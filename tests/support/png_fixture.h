#pragma once
// PNG fixtures with correct CRCs, built chunk by chunk, and zlib streams for their image data.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/byte_builder.h"

namespace tessane::test {

struct TestChunk {
  std::string name;
  std::vector<uint8_t> data;
};

/// A PNG file: the signature and the chunks, each with its correct CRC.
inline std::vector<uint8_t> MakePng(const std::vector<TestChunk>& chunks) {
  ByteBuilder out{{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}};
  for (const auto& c : chunks) {
    out.U32Be(static_cast<uint32_t>(c.data.size()));
    const size_t start = out.data.size();
    out.Str(c.name).Append(c.data);
    out.U32Be(static_cast<uint32_t>(crc32(0, out.data.data() + start, out.data.size() - start)));
  }
  return out.data;
}

inline std::vector<uint8_t> Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t color,
                                 uint8_t interlace = 0) {
  return ByteBuilder().U32Be(w).U32Be(h).U8(depth).U8(color).U8(0).U8(0).U8(interlace).data;
}

inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw, int level = 6) {
  uLongf size = compressBound(raw.size());
  std::vector<uint8_t> out(size);
  compress2(out.data(), &size, raw.data(), raw.size(), level);
  out.resize(size);
  return out;
}

inline std::vector<uint8_t> Inflate(const std::vector<uint8_t>& compressed) {
  z_stream zs{};
  inflateInit(&zs);
  std::vector<uint8_t> out;
  uint8_t buffer[16384];
  zs.next_in = const_cast<Bytef*>(compressed.data());
  zs.avail_in = static_cast<uInt>(compressed.size());
  int ret;
  do {
    zs.next_out = buffer;
    zs.avail_out = sizeof buffer;
    ret = inflate(&zs, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - zs.avail_out));
  } while (ret == Z_OK);
  inflateEnd(&zs);
  return out;
}

}  // namespace tessane::test
