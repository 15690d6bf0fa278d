#include "formats/pcd/pcd_graphic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/errors.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "PCD";
constexpr int32_t kBaseWidth = 768;
constexpr int32_t kBaseHeight = 512;
constexpr int64_t kBaseOffset = 0x30000;
// The base image is stored in pairs of rows: two luma rows, then one row of each chroma at half
// the width (one chroma sample per 2 x 2 block).
constexpr size_t kPairBytes = 2 * kBaseWidth + kBaseWidth;
constexpr size_t kSignatureOffset = 0x800;
constexpr size_t kOrientationOffset = 0xE02;

uint8_t Clip(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<uint8_t>(std::lround(v));
}

}  // namespace

void PhotoYccToRgb(uint8_t luma, uint8_t c1, uint8_t c2, uint8_t& red, uint8_t& green,
                   uint8_t& blue) {
  const double y = 1.3584 * luma;
  const double cb = 2.2179 * (c1 - 156);
  const double cr = 1.8215 * (c2 - 137);
  red = Clip(y + cr);
  green = Clip(y - 0.194 * cb - 0.509 * cr);
  blue = Clip(y + cb);
}

void PcdGraphic::Decode(ByteStream& stream) {
  const int64_t start = stream.Position();
  std::vector<uint8_t> header(kOrientationOffset + 1);
  stream.ReadBuffer(header.data(), header.size());
  if (std::memcmp(header.data() + kSignatureOffset, "PCD_IPI", 7) != 0) FailInvalid(kLabel);
  const int orientation = header[kOrientationOffset] & 3;

  const size_t base_bytes = kPairBytes * (kBaseHeight / 2);
  if (stream.Size() - start < kBaseOffset + static_cast<int64_t>(base_bytes))
    throw StreamReadError("Stream read error");
  stream.SetPosition(start + kBaseOffset);
  std::vector<uint8_t> base(base_bytes);
  stream.ReadBuffer(base.data(), base.size());

  // Orientation 1 and 3 store the picture turned by a quarter, 2 by a half.
  const bool quarter = orientation == 1 || orientation == 3;
  SetPixelFormat(DibFormat::k24Bit);
  SetSize(quarter ? kBaseHeight : kBaseWidth, quarter ? kBaseWidth : kBaseHeight);

  constexpr int32_t cw = kBaseWidth / 2, ch = kBaseHeight / 2;
  const auto chroma = [&](int plane, int32_t cx, int32_t cy) -> int {
    cx = std::min(cx, cw - 1);
    cy = std::min(cy, ch - 1);
    return base[static_cast<size_t>(cy) * kPairBytes + 2 * kBaseWidth +
                static_cast<size_t>(plane * cw + cx)];
  };
  for (int32_t y = 0; y < kBaseHeight; ++y) {
    const uint8_t* luma = base.data() + static_cast<size_t>(y / 2) * kPairBytes +
                          static_cast<size_t>(y % 2) * kBaseWidth;
    for (int32_t x = 0; x < kBaseWidth; ++x) {
      // Chroma sits on the even pixels; odd rows and columns take the mean of their neighbours.
      int c[2];
      for (int plane = 0; plane < 2; ++plane) {
        const int32_t cx = x / 2, cy = y / 2;
        const int dx = x % 2, dy = y % 2;
        const int sum = chroma(plane, cx, cy) + chroma(plane, cx + dx, cy) +
                        chroma(plane, cx, cy + dy) + chroma(plane, cx + dx, cy + dy);
        c[plane] = (sum + 2) / 4;
      }
      int32_t tx = x, ty = y;
      switch (orientation) {
        case 1:
          tx = y;
          ty = kBaseWidth - 1 - x;
          break;  // turn a quarter to the left
        case 2:
          tx = kBaseWidth - 1 - x;
          ty = kBaseHeight - 1 - y;
          break;
        case 3:
          tx = kBaseHeight - 1 - y;
          ty = x;
          break;  // a quarter to the right
      }
      uint8_t* px = ScanLine(ty) + 3 * static_cast<size_t>(tx);
      PhotoYccToRgb(luma[x], static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), px[2], px[1],
                    px[0]);
    }
  }
}

}  // namespace tessane
