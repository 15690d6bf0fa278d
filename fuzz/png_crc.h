#pragma once
// PNG inputs for the fuzzers with every chunk's CRC made right. A mutated PNG almost never keeps
// its CRCs and the reader rightly refuses it at the first chunk; with the CRCs fixed the fuzzer
// reaches the chunk rules, the inflater and the row filters behind that check.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessane::fuzz {

/// A copy of the input whose chunks, as far as their lengths fit in it, carry correct CRCs.
inline std::vector<uint8_t> WithPngCrcsFixed(const uint8_t* data, size_t size) {
  std::vector<uint8_t> png(data, data + size);
  size_t at = 8;  // after the signature
  while (png.size() >= 12 && at <= png.size() - 12) {
    const uint32_t length = (uint32_t{png[at]} << 24) | (uint32_t{png[at + 1]} << 16) |
                            (uint32_t{png[at + 2]} << 8) | png[at + 3];
    if (length > png.size() - at - 12) break;
    const auto crc = static_cast<uint32_t>(crc32_z(0, png.data() + at + 4, 4 + size_t{length}));
    uint8_t* field = png.data() + at + 8 + length;
    for (int i = 0; i < 4; ++i) field[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + size_t{length};
  }
  return png;
}

}  // namespace tessane::fuzz
