#pragma once
// Hand-made metadata for tests: an EXIF block of known layout and JPEG segments.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/byte_builder.h"

namespace tessane::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const char* s, size_t n) {
  return Bytes(s, s + n);
}

// "Exif\0\0" and a TIFF structure: IFD0 at 8 {Orientation, ExifIFD} -> IFD1 at 68; Exif IFD at
// 38 {PixelXDimension LONG 640, PixelYDimension SHORT 480}; IFD1 {thumbnail offset 98, length
// 10}; then 10 bytes of thumbnail.
inline Bytes BuildExif(bool bigEndian, uint16_t orientation, bool thumbnail = true) {
  ByteBuilder t{{'E', 'x', 'i', 'f', 0, 0}};
  auto u16 = [&](uint16_t v) { bigEndian ? (void)t.U16Be(v) : (void)t.U16(v); };
  auto u32 = [&](uint32_t v) { bigEndian ? (void)t.U32Be(v) : (void)t.U32(v); };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    u16(tag), u16(type), u32(1);
    if (type == 3)
      u16(uint16_t(value)), u16(0);
    else
      u32(value);
  };
  t.Str(bigEndian ? "MM" : "II");
  u16(42);
  u32(8);
  u16(2), entry(0x0112, 3, orientation), entry(0x8769, 4, 38), u32(thumbnail ? 68 : 0);
  u16(2), entry(0xA002, 4, 640), entry(0xA003, 3, 480), u32(0);
  if (thumbnail) {
    u16(2), entry(0x0201, 4, 98), entry(0x0202, 4, 10), u32(0);
    t.Append({0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 0xFF, 0xD9});
  }
  return t.data;
}

inline Bytes Segment(uint8_t marker, const Bytes& payload) {
  Bytes s = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

inline Bytes IccChunk(uint8_t sequence, uint8_t count, const std::string& data) {
  Bytes p = Text("ICC_PROFILE\0", 12);
  p.push_back(sequence);
  p.push_back(count);
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

inline Bytes XmpPayload(const std::string& packet) {
  Bytes p = Text("http://ns.adobe.com/xap/1.0/\0", 29);
  p.insert(p.end(), packet.begin(), packet.end());
  return p;
}

/// The JPEG with the segments put right after SOI and a leading APP0.
inline Bytes WithSegments(const Bytes& jpeg, const Bytes& segments) {
  size_t at = 2;
  if (jpeg.size() > 6 && jpeg[3] == 0xE0) at = 4 + (jpeg[4] << 8 | jpeg[5]);
  Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
  out.insert(out.end(), segments.begin(), segments.end());
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  return out;
}

}  // namespace tessane::test
