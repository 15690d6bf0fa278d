#pragma once
// Builders of small enhanced and Windows metafiles, and a pixel canvas to play them on, for the
// metafile tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "base/stream.h"
#include "pixels/argb_view.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/metafile/metafile_records.h"
#include "support/byte_builder.h"
#include "pixels/argb_view.h"

namespace tessane::test {

/// An enhanced metafile: a 108-byte header, the records, EMR_EOF. By default the reference device
/// has 10 pixels per millimetre, so a frame of 10 x 0.01 mm per pixel reports the given size and
/// logical units (MM_TEXT) are output pixels.
class EmfBuilder {
 public:
  EmfBuilder(int width, int height) : frame_{0, 0, width * 10, height * 10} {}
  EmfBuilder& Frame(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    frame_ = {left, top, right, bottom};
    return *this;
  }
  EmfBuilder& Device(int32_t px, int32_t py, int32_t mmx, int32_t mmy) {
    device_ = {px, py, mmx, mmy};
    return *this;
  }
  /// A record of 32-bit fields.
  EmfBuilder& Record(uint32_t type, std::initializer_list<int32_t> fields) {
    ByteBuilder body;
    body.I32s(fields);
    return Raw(type, body.data);
  }
  /// A record with a body given as bytes (padded to 4).
  EmfBuilder& Raw(uint32_t type, std::vector<uint8_t> body) {
    while (body.size() % 4) body.push_back(0);
    ByteBuilder r;
    r.U32(type).U32(static_cast<uint32_t>(body.size() + 8)).Append(body);
    records_.push_back(r.data);
    return *this;
  }
  std::vector<uint8_t> Build() const {
    ByteBuilder tail;
    for (const auto& r : records_) tail.Append(r);
    tail.U32(EMR_EOF).U32(20).U32(0).U32(16).U32(20);
    ByteBuilder h;
    h.U32(EMR_HEADER).U32(108).I32s({0, 0, 0, 0});
    h.I32s({frame_[0], frame_[1], frame_[2], frame_[3]});
    h.U32(0x464D4520).U32(0x10000).U32(static_cast<uint32_t>(108 + tail.data.size()));
    h.U32(static_cast<uint32_t>(records_.size() + 2)).U16(8).U16(0).U32(0).U32(0).U32(0);
    h.I32s({device_[0], device_[1], device_[2], device_[3]});
    h.U32(0).U32(0).U32(0).I32(device_[2] * 1000).I32(device_[3] * 1000);
    h.Append(tail.data);
    return h.data;
  }

 private:
  std::vector<int32_t> frame_;
  std::vector<int32_t> device_{1000, 1000, 100, 100};
  std::vector<std::vector<uint8_t>> records_;
};

/// A placeable Windows metafile: the 22-byte header, the 18-byte header, the records, META_EOF.
class WmfBuilder {
 public:
  WmfBuilder(int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t unitsPerInch)
      : box_{left, top, right, bottom}, inch_(unitsPerInch) {}
  /// A record of 16-bit parameters in file order.
  WmfBuilder& Record(uint16_t function, std::initializer_list<int32_t> words) {
    ByteBuilder params;
    params.I16s(words);
    return Raw(function, params.data);
  }
  WmfBuilder& Raw(uint16_t function, std::vector<uint8_t> params) {
    if (params.size() % 2) params.push_back(0);
    ByteBuilder r;
    r.U32(static_cast<uint32_t>(3 + params.size() / 2)).U16(function).Append(params);
    records_.push_back(r.data);
    return *this;
  }
  std::vector<uint8_t> Build() const {
    ByteBuilder records;
    for (const auto& r : records_) records.Append(r);
    records.U32(3).U16(0);
    ByteBuilder p;
    p.U32(0x9AC6CDD7).U16(0).I16s({box_[0], box_[1], box_[2], box_[3]}).U16(inch_).U32(0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= static_cast<uint16_t>(p.data[i] | p.data[i + 1] << 8);
    p.U16(sum);
    p.U16(1).U16(9).U16(0x300).U32(static_cast<uint32_t>(9 + records.data.size() / 2));
    p.U16(0).U32(0).U16(0);
    p.Append(records.data);
    return p.data;
  }

 private:
  std::vector<int32_t> box_;
  uint16_t inch_;
  std::vector<std::vector<uint8_t>> records_;
};

/// A packed 24-bit DIB (BITMAPINFOHEADER then rows) of colours 0xRRGGBB given top row first;
/// stored bottom-up unless `topDown`.
inline std::vector<uint8_t> Dib24(int width, int height, const std::vector<uint32_t>& colors,
                                  bool topDown = false) {
  const int rowBytes = (width * 3 + 3) & ~3;
  ByteBuilder d;
  d.U32(40).I32(width).I32(topDown ? -height : height).U16(1).U16(24).U32(0);
  d.U32(static_cast<uint32_t>(rowBytes * height)).I32s({0, 0, 0, 0});
  for (int i = 0; i < height; ++i) {
    const int y = topDown ? i : height - 1 - i;
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colors[static_cast<size_t>(y * width + x)];
      d.U8(c & 0xFF).U8((c >> 8) & 0xFF).U8((c >> 16) & 0xFF);
    }
    for (int k = width * 3; k < rowBytes; ++k) d.U8(0);
  }
  return d.data;
}

/// Pixels to play into, filled with one colour.
struct Canvas {
  Canvas(int w, int h, uint32_t fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}
  ArgbView Surface() { return ArgbView{pixels.data(), width, height, width}; }
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
  int Count(uint32_t color) const {
    int n = 0;
    for (uint32_t p : pixels) n += p == color;
    return n;
  }
  int width, height;
  std::vector<uint32_t> pixels;
};

/// Loads metafile bytes.
inline MetafileGraphic Load(const std::vector<uint8_t>& bytes) {
  MetafileGraphic m;
  MemoryStream stream(bytes);
  m.LoadFromStream(stream);
  return m;
}

/// Loads and plays metafile bytes at the picture's own size over `background`.
inline Canvas Play(const std::vector<uint8_t>& bytes, uint32_t background = 0xFFFFFFFF) {
  MetafileGraphic m = Load(bytes);
  Canvas canvas(m.Width(), m.Height(), background);
  m.Draw(canvas.Surface(), Rect{0, 0, m.Width(), m.Height()});
  return canvas;
}

/// Draws as MetafileGraphic::Draw does. Text needs fonts, which the suite's process has not (no
/// QGuiApplication): a picture with text stops at its first text record, which tells whether it
/// got there. Everything drawn before stays.
inline bool DrawUpToText(MetafileGraphic& m, const ArgbView& target, const Rect& rect) {
  try {
    m.Draw(target, rect);
    return true;
  } catch (const MissingFontsError&) {
    return false;
  }
}

/// Compares a canvas with rows of characters, each character standing for a colour.
inline ::testing::AssertionResult MatchesArt(const Canvas& canvas,
                                             const std::vector<std::string>& art,
                                             const std::map<char, uint32_t>& colors) {
  if (static_cast<int>(art.size()) != canvas.height)
    return ::testing::AssertionFailure() << "art has " << art.size() << " rows";
  std::string actual;
  bool same = true;
  for (int y = 0; y < canvas.height; ++y) {
    for (int x = 0; x < canvas.width; ++x) {
      char c = '?';
      for (const auto& [k, v] : colors)
        if (v == canvas.At(x, y)) c = k;
      actual += c;
      same = same && x < static_cast<int>(art[y].size()) && art[y][x] == c;
    }
    actual += '\n';
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "played:\n" << actual;
}

}  // namespace tessane::test
