// GIF reading: signature, logical screen, colour tables, extensions and every frame.

#include <algorithm>
#include <cctype>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"
#include "formats/gif/gif_graphic.h"
#include "formats/gif/gif_lzw.h"

namespace tessane {
namespace {

[[noreturn]] void Fail(const char* message) {
  throw InvalidImageError(message);
}

/// Bounds-checked reading of the file's bytes.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return pos_ >= size_; }
  uint8_t Byte() {
    if (pos_ >= size_) Fail("Premature end of data");
    return data_[pos_++];
  }
  uint16_t Word() {
    const uint8_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  const uint8_t* Take(size_t count) {
    if (size_ - pos_ < count) Fail("Premature end of data");
    const uint8_t* p = data_ + pos_;
    pos_ += count;
    return p;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

bool IsSignature(const uint8_t* p) {
  return std::tolower(p[0]) == 'g' && std::tolower(p[1]) == 'i' && std::tolower(p[2]) == 'f';
}

GifColorMap ReadColorMap(ByteReader& in, int size_field) {
  const size_t entries = size_t{2} << size_field;
  const uint8_t* p = in.Take(3 * entries);
  GifColorMap map(entries);
  for (size_t i = 0; i < entries; ++i) map[i] = GifColor{p[3 * i], p[3 * i + 1], p[3 * i + 2]};
  return map;
}

void SkipSubBlocks(ByteReader& in) {
  while (const uint8_t length = in.Byte()) in.Take(length);
}

std::vector<uint8_t> ReadSubBlocks(ByteReader& in) {
  std::vector<uint8_t> data;
  while (const uint8_t length = in.Byte()) {
    const uint8_t* p = in.Take(length);
    data.insert(data.end(), p, p + length);
  }
  return data;
}

/// Row of the picture that the i-th stored row of an interlaced frame of `height` rows fills.
uint32_t InterlacedRow(uint32_t i, uint32_t height) {
  const uint32_t pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
  if (i < pass1) return 8 * i;
  i -= pass1;
  if (i < pass2) return 4 + 8 * i;
  i -= pass2;
  if (i < pass3) return 2 + 4 * i;
  i -= pass3;
  return 1 + 2 * i;
}

/// Reads one frame after its 0x2C. The first frame keeps the pixels that fall on the logical
/// screen, later frames are decoded only to check them.
GifFrame ReadFrame(ByteReader& in, bool keep_pixels, uint16_t screen_width,
                       uint16_t screen_height) {
  GifFrame frame;
  frame.left = in.Word();
  frame.top = in.Word();
  frame.width = in.Word();
  frame.height = in.Word();
  const uint8_t flags = in.Byte();
  frame.interlaced = (flags & 0x40) != 0;
  frame.sorted = (flags & 0x20) != 0;
  if (flags & 0x80) frame.color_map = ReadColorMap(in, flags & 7);
  const int min_code_size = in.Byte();
  const std::vector<uint8_t> data = ReadSubBlocks(in);
  if (min_code_size < 1 || min_code_size > 8) Fail("Invalid GIF data");
  // The logical screen passed this test already, so a frame that fails it cannot fit.
  if (!PictureSizeAllowed(frame.width, frame.height)) Fail("Image exceeds Logical Screen size");

  // The part of the frame on the screen; offsets are unsigned, so it starts at the frame's corner.
  const uint32_t visible_width =
      keep_pixels ? std::min<uint32_t>(frame.width, std::max(0, screen_width - frame.left)) : 0;
  const uint32_t visible_height =
      keep_pixels ? std::min<uint32_t>(frame.height, std::max(0, screen_height - frame.top)) : 0;
  std::vector<uint8_t> pixels(size_t{visible_width} * visible_height, 0);
  const uint32_t height = frame.height;
  const bool interlaced = frame.interlaced;
  DecodeGifLzw(data.data(), data.size(), min_code_size, frame.width, frame.height,
               [&](uint32_t stored_row, const uint8_t* row) {
                 if (visible_width == 0) return;
                 const uint32_t y = interlaced ? InterlacedRow(stored_row, height) : stored_row;
                 if (y >= visible_height) return;
                 std::copy(row, row + visible_width, pixels.begin() + size_t{y} * visible_width);
               });
  if (visible_width == 0 || visible_height == 0) pixels.clear();
  frame.width = static_cast<uint16_t>(pixels.empty() ? 0 : visible_width);
  frame.height = static_cast<uint16_t>(pixels.empty() ? 0 : visible_height);
  frame.pixels = std::move(pixels);
  return frame;
}

}  // namespace

void GifGraphic::LoadFromStream(ByteStream& stream) {
  const std::vector<uint8_t> bytes = stream.ReadAll();
  size_t start = 0;
  if (bytes.size() >= 3 && IsSignature(bytes.data())) {
    start = 0;
  } else if (bytes.size() >= 7 && IsSignature(bytes.data() + 4)) {
    start = 4;
  } else {
    Fail("Invalid GIF signature");
  }
  ByteReader in(bytes.data() + start, bytes.size() - start);
  in.Take(6);  // signature and version; the version is not checked
  const uint16_t screen_width = in.Word();
  const uint16_t screen_height = in.Word();
  const uint8_t flags = in.Byte();
  const uint8_t background = in.Byte();
  in.Byte();  // pixel aspect ratio
  if (!PictureSizeAllowed(screen_width, screen_height)) Fail("Logical Screen size too large");
  GifColorMap global_map;
  if (flags & 0x80) global_map = ReadColorMap(in, flags & 7);

  std::vector<GifFrame> images;
  bool has_control = false;
  GifGraphicControl control;
  for (bool done = false; !done;) {
    if (in.AtEnd()) {
      // Many files end without their trailer; what was read is complete.
      if (images.empty()) Fail("Premature end of data");
      break;
    }
    switch (in.Byte()) {
      case 0x2C: {
        GifFrame frame = ReadFrame(in, images.empty(), screen_width, screen_height);
        frame.has_graphic_control = has_control;
        frame.graphic_control = control;
        has_control = false;
        control = GifGraphicControl{};
        images.push_back(std::move(frame));
        break;
      }
      case 0x21: {
        const uint8_t label = in.Byte();
        if (label == 0xF9) {
          const uint8_t length = in.Byte();
          const uint8_t* p = in.Take(length);
          if (length >= 4) {
            has_control = true;
            control.disposal = static_cast<uint8_t>((p[0] >> 2) & 7);
            control.transparent = (p[0] & 1) != 0;
            control.delay = LoadLe16(p + 1);
            control.transparent_index = p[3];
          }
          if (length != 0) SkipSubBlocks(in);
        } else {
          // Comment, application, plain text and unknown extensions carry nothing we draw.
          if (label == 0x01) has_control = false;  // a plain text block uses up the control
          SkipSubBlocks(in);
        }
        break;
      }
      case 0x3B:
        done = true;
        break;
      case 0x00:
        break;  // stray padding some writers leave between blocks
      default:
        Fail("Unknown GIF block type");
    }
  }

  screen_width_ = screen_width;
  screen_height_ = screen_height;
  background_index_ = background;
  global_map_ = std::move(global_map);
  images_ = std::move(images);
}

}  // namespace tessane
