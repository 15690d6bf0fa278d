#pragma once
// PNG files with a real alpha channel, which our own PNG writer never makes.

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace tessane::test {

/// PNG bytes of w x h RGBA pixels (colour type 6), for a source with a real alpha channel.
inline std::vector<uint8_t> RgbaPng(int32_t w, int32_t h, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> raw;
  for (int32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgba.begin() + y * w * 4, rgba.begin() + (y + 1) * w * 4);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(size);
  compress(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  z.resize(size);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto chunk = [&png](const char* type, const std::vector<uint8_t>& data) {
    for (int i = 3; i >= 0; --i) png.push_back(uint8_t(data.size() >> (8 * i)));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uLong crc = crc32(0, png.data() + start, static_cast<uInt>(png.size() - start));
    for (int i = 3; i >= 0; --i) png.push_back(uint8_t(crc >> (8 * i)));
  };
  std::vector<uint8_t> ihdr;
  for (const int32_t v : {w, h})
    for (int i = 3; i >= 0; --i) ihdr.push_back(uint8_t(v >> (8 * i)));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  chunk("IHDR", ihdr);
  chunk("IDAT", z);
  chunk("IEND", {});
  return png;
}

}  // namespace tessane::test
