#pragma once
// Small files whose headers ask for gigabytes: each is a few bytes to a few hundred kilobytes,
// and a reader that believes the header takes far more memory than the file's size suggests.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/byte_builder.h"
#include "support/test_support.h"

namespace tessane::test {

/// A zlib stream of `size` zero bytes, made without holding them all.
inline std::vector<uint8_t> ZlibZeros(uint64_t size) {
  z_stream z{};
  deflateInit(&z, 9);
  std::vector<uint8_t> zeros(1 << 20, 0), out(1 << 16), result;
  uint64_t left = size;
  int flush = Z_NO_FLUSH;
  do {
    const uInt take = static_cast<uInt>(std::min<uint64_t>(left, zeros.size()));
    z.next_in = zeros.data();
    z.avail_in = take;
    left -= take;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, flush);
      result.insert(result.end(), out.data(), out.data() + (out.size() - z.avail_out));
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return result;
}

/// 35 bytes: a 16384 x 16384 screen holding one 1 x 1 image.
inline std::vector<uint8_t> GifOnHugeScreen() {
  ByteBuilder b;
  b.Str("GIF89a").U16(16384).U16(16384).U8(0x80).U8(0).U8(0).Fill(3, 0).Fill(3, 0xFF);
  b.U8(0x2C).U16(0).U16(0).U16(1).U16(1).U8(0);
  b.U8(2).U8(2).U8(0x44).U8(0x01).U8(0x00);  // clear, index 0, end
  return b.U8(0x3B).data;
}

/// The animated WebP fixture (a 32 x 24 frame) on a canvas of width x height.
inline std::vector<uint8_t> WebpOnCanvas(uint32_t width, uint32_t height) {
  std::vector<uint8_t> file = ReadBytes(DataPath("webp/animated.webp"));
  for (int i = 0; i < 3; ++i) {
    file[24 + i] = static_cast<uint8_t>((width - 1) >> (8 * i));
    file[27 + i] = static_cast<uint8_t>((height - 1) >> (8 * i));
  }
  return file;
}

inline void AddPngChunk(ByteBuilder& b, const char* name, const std::vector<uint8_t>& data) {
  b.U32Be(static_cast<uint32_t>(data.size())).Str(name);
  b.Append(data);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(name), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  b.U32Be(static_cast<uint32_t>(crc));
}

/// An 8-bit PNG of width x height (RGBA unless another colour type is given) whose image data
/// is `idat`; by default a stub, as what decides the memory is read before the data.
inline std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height, unsigned colour_type = 6,
                                         const std::vector<uint8_t>& idat = {0x78, 0x9C, 0x63, 0x00,
                                                                             0x00, 0x00, 0x01, 0x00,
                                                                             0x01}) {
  ByteBuilder b;
  b.U8(0x89).Str("PNG\r\n").U8(0x1A).U8('\n');
  AddPngChunk(
      b, "IHDR",
      ByteBuilder().U32Be(width).U32Be(height).U8(8).U8(colour_type).U8(0).U8(0).U8(0).data);
  AddPngChunk(b, "IDAT", idat);
  AddPngChunk(b, "IEND", {});
  return b.data;
}

/// A grey 4096 x 65535 TIFF of 65,535 one-row strips that all point at the same deflated row
/// (about half a megabyte).
inline std::vector<uint8_t> TiffOfManyStrips() {
  constexpr uint32_t kWidth = 4096, kHeight = 65535;
  std::vector<uint8_t> zeros(kWidth, 0);
  std::vector<uint8_t> strip(compressBound(kWidth));
  uLongf strip_size = strip.size();
  compress2(strip.data(), &strip_size, zeros.data(), kWidth, 9);
  strip.resize(strip_size);
  ByteBuilder b;
  const unsigned entries = 9;
  const uint32_t data = 8 + 2 + entries * 12 + 4;
  const uint32_t offsets = data + static_cast<uint32_t>(strip.size());
  const uint32_t counts = offsets + 4 * kHeight;
  b.Str("II").U16(42).U32(8).U16(entries);
  auto tag = [&](unsigned id, unsigned type, uint32_t count, uint32_t value) {
    b.U16(id).U16(type).U32(count);
    if (type == 3)
      b.U16(value).U16(0);
    else
      b.U32(value);
  };
  tag(256, 4, 1, kWidth);
  tag(257, 4, 1, kHeight);
  tag(258, 3, 1, 8);
  tag(259, 3, 1, 8);
  tag(262, 3, 1, 1);
  tag(273, 4, kHeight, offsets);
  tag(277, 3, 1, 1);
  tag(278, 4, 1, 1);
  tag(279, 4, kHeight, counts);
  b.U32(0).Append(strip);
  for (uint32_t i = 0; i < kHeight; ++i) b.U32(data);
  for (uint32_t i = 0; i < kHeight; ++i) b.U32(static_cast<uint32_t>(strip.size()));
  return b.data;
}

/// A bare JPEG XL codestream: the signature, a size header of width x height and default image
/// metadata, then nothing. Bits go least significant first; the sides are written as U32 fields
/// with their 30-bit distribution.
inline std::vector<uint8_t> JxlHeader(uint32_t width, uint32_t height) {
  std::vector<uint8_t> out = {0xFF, 0x0A};
  size_t count = 0;  // bits written after the signature
  auto put = [&](uint32_t value, int n) {
    for (int i = 0; i < n; ++i, ++count) {
      if (count % 8 == 0) out.push_back(0);
      out.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (count % 8));
    }
  };
  put(0, 1);  // not a small size
  put(3, 2);  // height - 1 in 30 bits
  put(height - 1, 30);
  put(0, 3);  // no aspect ratio: the width follows
  put(3, 2);
  put(width - 1, 30);
  put(1, 1);  // all-default image metadata
  out.resize(out.size() + 16, 0);
  return out;
}

/// A baseline JPEG's frame header of width x height (three components) and no scan.
inline std::vector<uint8_t> JpegDeclaring(uint32_t width, uint32_t height) {
  ByteBuilder b;
  b.U8(0xFF).U8(0xD8).U8(0xFF).U8(0xE0).U16Be(16).Str("JFIF").U8(0).U16Be(0x0101).U8(0);
  b.U16Be(1).U16Be(1).U8(0).U8(0);
  b.U8(0xFF).U8(0xC0).U16Be(17).U8(8).U16Be(height).U16Be(width).U8(3);
  for (int c = 1; c <= 3; ++c) b.U8(c).U8(c == 1 ? 0x22 : 0x11).U8(c == 1 ? 0 : 1);
  return b.U8(0xFF).U8(0xD9).data;
}

/// A HEIF or AVIF fixture whose image-size properties ('ispe') all declare width x height.
inline std::vector<uint8_t> HeifDeclaring(const char* fixture, uint32_t width, uint32_t height) {
  std::vector<uint8_t> file = ReadBytes(DataPath(fixture));
  for (size_t at = 4; at + 16 <= file.size(); ++at) {
    if (std::memcmp(file.data() + at, "ispe", 4) != 0) continue;
    for (int i = 0; i < 4; ++i) {  // after the box's version and flags
      file[at + 8 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
      file[at + 12 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
  }
  return file;
}

}  // namespace tessane::test
