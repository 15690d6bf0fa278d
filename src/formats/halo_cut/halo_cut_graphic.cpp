#include "formats/halo_cut/halo_cut_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "CUT";
constexpr size_t kPaletteHeaderSize = 40;
constexpr size_t kPaletteBlock = 512;
// Far more than 256 entries with block padding: a larger file is no palette of ours.
constexpr int64_t kMaxPaletteFile = 16384;

std::vector<PaletteEntry> ReadPaletteFile(const std::string& path) {
  try {
    FileStream file(path, FileMode::kOpenRead);
    const int64_t size = file.Size();
    if (size > kMaxPaletteFile) return {};
    return ParseHaloPalette(file.ReadAll());
  } catch (const Exception&) {
    return {};  // missing or unreadable: the grey ramp stands in
  }
}

}  // namespace

std::string CutPalettePath(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_ext ? path.substr(0, dot) : path) + ".pal";
}

std::vector<PaletteEntry> ParseHaloPalette(const std::vector<uint8_t>& data) {
  if (data.size() < kPaletteHeaderSize || data[0] != 'A' || data[1] != 'H') return {};
  const unsigned max_index = LoadLe16(data.data() + 12);
  const unsigned max_red = LoadLe16(data.data() + 14);
  const unsigned max_green = LoadLe16(data.data() + 16);
  const unsigned max_blue = LoadLe16(data.data() + 18);
  if (max_red == 0 || max_green == 0 || max_blue == 0) return {};
  const auto level = [](unsigned v, unsigned max) {
    return static_cast<uint8_t>((std::min(v, max) * 255 + max / 2) / max);
  };

  const size_t count = std::min(max_index, 255u) + 1;
  std::vector<PaletteEntry> palette;
  palette.reserve(count);
  size_t pos = kPaletteHeaderSize;
  for (size_t i = 0; i < count; ++i) {
    // An entry that would cross into the next block starts at that block instead.
    if (pos % kPaletteBlock + 6 > kPaletteBlock) pos += kPaletteBlock - pos % kPaletteBlock;
    if (data.size() < pos + 6) return {};
    const uint8_t* e = data.data() + pos;
    palette.push_back(PaletteColor(level(LoadLe16(e), max_red), level(LoadLe16(e + 2), max_green),
                                   level(LoadLe16(e + 4), max_blue)));
    pos += 6;
  }
  return palette;
}

void HaloCutGraphic::LoadFromFile(const std::string& path) {
  palette_path_ = CutPalettePath(path);
  try {
    DecodeOnLoadGraphic::LoadFromFile(path);
  } catch (...) {
    palette_path_.clear();
    throw;
  }
  palette_path_.clear();
}

void HaloCutGraphic::Decode(ByteStream& stream) {
  uint8_t header[6];
  stream.ReadBuffer(header, sizeof header);
  const int32_t width = LoadLe16(header);
  const int32_t height = LoadLe16(header + 2);
  if (width == 0 || height == 0) FailInvalid(kLabel);
  // Every row needs its 2-byte length, and a 2-byte run gives at most 127 pixels.
  const int64_t remaining = stream.Remaining();
  if (int64_t{2} * height > remaining || int64_t{width} * height > remaining * 64)
    FailInvalid(kLabel);

  std::vector<PaletteEntry> palette;
  if (!palette_path_.empty()) palette = ReadPaletteFile(palette_path_);
  if (palette.empty()) palette = GreyRamp(8);
  SetPixelFormat(DibFormat::k8Bit);
  SetSize(width, height);

  const size_t w = static_cast<size_t>(width);
  std::vector<uint8_t> packed;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t len_bytes[2];
    if (stream.Read(len_bytes, 2) != 2) FailInvalid(kLabel);
    packed.resize(LoadLe16(len_bytes));
    if (stream.Read(packed.data(), packed.size()) != packed.size()) FailInvalid(kLabel);

    // Count byte c: 0 ends the row, bit 7 set repeats the next byte (c and 0x7F) times,
    // otherwise c bytes follow.
    uint8_t* row = ScanLine(y);
    size_t i = 0, x = 0;
    while (x < w) {
      if (i >= packed.size()) FailInvalid(kLabel);
      const unsigned c = packed[i++];
      if (c == 0) break;
      const size_t n = c & 0x7Fu;
      if (c & 0x80u) {
        if (i >= packed.size()) FailInvalid(kLabel);
        std::memset(row + x, packed[i++], std::min(n, w - x));
      } else {
        if (packed.size() - i < n) FailInvalid(kLabel);
        std::memcpy(row + x, packed.data() + i, std::min(n, w - x));
        i += n;
      }
      x += std::min(n, w - x);
    }
  }
  SetPalette(std::move(palette));
}

}  // namespace tessane
