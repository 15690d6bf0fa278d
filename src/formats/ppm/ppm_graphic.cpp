#include "formats/ppm/ppm_graphic.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "PBM, PGM or PPM";

bool IsSpace(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}

[[noreturn]] void ReadError() {
  throw StreamReadError("Stream read error");
}

}  // namespace

void PpmGraphic::Decode(ByteStream& stream) {
  const std::vector<uint8_t> file = stream.ReadAll();
  const uint8_t* p = file.data();
  const uint8_t* const end = p + file.size();

  // Whitespace and "#" comments, which run to the end of their line.
  auto skip = [&] {
    while (p < end) {
      if (*p == '#') {
        while (p < end && *p != '\n' && *p != '\r') ++p;
      } else if (IsSpace(*p)) {
        ++p;
      } else {
        break;
      }
    }
  };
  auto number = [&]() -> uint32_t {
    skip();
    if (p == end) ReadError();
    if (!IsDigit(*p)) FailInvalid(kLabel);
    uint64_t v = 0;
    while (p < end && IsDigit(*p)) {
      v = v * 10 + (*p++ - '0');
      if (v > 0xFFFFFFFFu) FailInvalid(kLabel);
    }
    return static_cast<uint32_t>(v);
  };
  auto word = [&]() -> std::string_view {
    skip();
    const uint8_t* first = p;
    while (p < end && !IsSpace(*p)) ++p;
    return {reinterpret_cast<const char*>(first), static_cast<size_t>(p - first)};
  };

  if (file.size() < 2) ReadError();
  if (p[0] != 'P' || p[1] < '1' || p[1] > '7') FailInvalid(kLabel);
  const int kind = p[1] - '0';
  p += 2;
  if (p < end && !IsSpace(*p) && *p != '#') FailInvalid(kLabel);

  uint32_t width = 0, height = 0, maxval = 1, depth = 1;
  if (kind == 7) {
    bool seen[4] = {};
    for (;;) {
      const std::string_view key = word();
      if (key.empty()) ReadError();
      if (key == "ENDHDR") break;
      if (key == "TUPLTYPE") {
        while (p < end && *p != '\n') ++p;
        continue;
      }
      static constexpr std::string_view kKeys[4] = {"WIDTH", "HEIGHT", "DEPTH", "MAXVAL"};
      const auto at = std::find(std::begin(kKeys), std::end(kKeys), key) - std::begin(kKeys);
      if (at == 4) FailInvalid(kLabel);
      uint32_t* const fields[4] = {&width, &height, &depth, &maxval};
      *fields[at] = number();
      seen[at] = true;
    }
    if (!(seen[0] && seen[1] && seen[2] && seen[3])) FailInvalid(kLabel);
    while (p < end && *p != '\n') ++p;
    if (p < end) ++p;
    if (depth < 1 || depth > 4) FailInvalid(kLabel);
  } else {
    width = number();
    height = number();
    if (kind != 1 && kind != 4) maxval = number();
    if (kind == 2 || kind == 5) depth = 1;
    if (kind == 3 || kind == 6) depth = 3;
    if (kind >= 4) {
      // Binary data begin after exactly one whitespace character.
      if (p == end) ReadError();
      if (!IsSpace(*p)) FailInvalid(kLabel);
      ++p;
    }
  }
  if (width == 0 || height == 0 || !PictureSizeAllowed(width, height)) FailInvalid(kLabel);
  if (maxval < 1 || maxval > 65535) FailInvalid(kLabel);

  const bool bits = kind == 1 || kind == 4;
  const bool text = kind <= 3;
  const size_t sample_bytes = maxval > 255 ? 2 : 1;
  const size_t samples = size_t{width} * height * depth;
  // The least data that can hold the image, checked before anything is allocated.
  size_t least = samples * sample_bytes;
  if (kind == 4) least = (size_t{width} + 7) / 8 * height;
  if (kind == 1) least = samples;
  if (kind == 2 || kind == 3) least = 2 * samples - 1;
  if (static_cast<size_t>(end - p) < least) ReadError();

  DibFormat format = DibFormat::k8Bit;
  if (bits) format = DibFormat::k1Bit;
  if (depth == 3) format = DibFormat::k24Bit;
  if (depth == 2 || depth == 4) format = DibFormat::k32Bit;
  SetPixelFormat(format);
  if (bits) SetPalette({PaletteColor(255, 255, 255), PaletteColor(0, 0, 0)});
  if (format == DibFormat::k8Bit) SetPalette(GreyRamp(8));
  SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));

  if (kind == 4) {
    const size_t row_bytes = (size_t{width} + 7) / 8;
    for (uint32_t y = 0; y < height; ++y, p += row_bytes)
      std::memcpy(ScanLine(static_cast<int32_t>(y)), p, row_bytes);
    return;
  }

  std::vector<uint8_t> level(size_t{maxval} + 1);
  for (uint32_t v = 0; v <= maxval; ++v)
    level[v] = static_cast<uint8_t>((uint64_t{v} * 255 + maxval / 2) / maxval);
  auto sample = [&]() -> uint8_t {
    uint32_t v;
    if (kind == 1) {
      skip();
      if (p == end) ReadError();
      if (*p != '0' && *p != '1') FailInvalid(kLabel);
      return *p++ == '1';
    }
    if (text) {
      v = number();
    } else if (sample_bytes == 1) {
      v = *p++;
    } else {
      v = LoadBe16(p);
      p += 2;
    }
    return level[std::min(v, maxval)];
  };

  // Byte positions per channel in the bitmap pixel: grey, grey+alpha, RGB, RGBA.
  static constexpr size_t kPositions[5][4] = {{}, {0}, {0, 3}, {2, 1, 0}, {2, 1, 0, 3}};
  const size_t step = BitsPerPixel(format) / 8;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* out = ScanLine(static_cast<int32_t>(y));
    for (uint32_t x = 0; x < width; ++x) {
      if (bits) {
        if (sample()) out[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
        continue;
      }
      uint8_t* pixel = out + x * step;
      for (uint32_t c = 0; c < depth; ++c) pixel[kPositions[depth][c]] = sample();
      if (depth == 2) pixel[1] = pixel[2] = pixel[0];
    }
  }
}

}  // namespace tessane
