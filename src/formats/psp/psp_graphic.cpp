#include "formats/psp/psp_graphic.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "PSP";
constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
constexpr size_t kFileHeaderSize = 36;  // 32-byte signature field, major and minor version

enum BlockId : uint16_t {
  kImageBlock = 0,
  kColourBlock = 2,
  kLayerBankBlock = 3,
  kLayerBlock = 4,
  kChannelBlock = 5,
  kCompositeBlock = 9,
  kCompositeBankBlock = 16,
  kCompositeAttributesBlock = 17,
};

enum Compression : uint16_t { kNone = 0, kRle = 1, kLz77 = 2 };
enum BitmapType : uint16_t { kImageBitmap = 0, kTransparencyMask = 1 };
enum ChannelType : uint16_t { kCompositeChannel = 0, kRed = 1, kGreen = 2, kBlue = 3 };

// Thrown by the parsing helpers; Decode turns it into the format's message.
struct BadFile {};

[[noreturn]] void Bad() {
  throw BadFile{};
}

struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
  Span Sub(size_t offset, size_t count) const {
    if (offset > size || count > size - offset) Bad();
    return Span{data + offset, count};
  }
  Span From(size_t offset) const { return Sub(offset, size - std::min(offset, size)); }
};

// Little-endian fields read in order from a span; reading past its end is a bad file.
class FieldReader {
 public:
  explicit FieldReader(Span span) : span_(span) {}
  uint8_t U8() { return *Take(1); }
  uint16_t U16() { return LoadLe16(Take(2)); }
  uint32_t U32() { return LoadLe32(Take(4)); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  void Skip(size_t count) { Take(count); }

 private:
  const uint8_t* Take(size_t count) {
    if (span_.size - pos_ < count) Bad();
    const uint8_t* p = span_.data + pos_;
    pos_ += count;
    return p;
  }
  Span span_;
  size_t pos_ = 0;
};

struct MakeRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int64_t Width() const { return int64_t{right} - left; }
  int64_t Height() const { return int64_t{bottom} - top; }
};

MakeRect ReadRect(FieldReader& r) {
  MakeRect rect;
  rect.left = r.I32();
  rect.top = r.I32();
  rect.right = r.I32();
  rect.bottom = r.I32();
  return rect;
}

// One block: its id and its contents. Version 3 headers also give the length of the block's
// first chunk of fixed information; later versions start that chunk with its own length.
struct Block {
  uint16_t id = 0;
  uint32_t first = 0;
  Span body;
};

class BlockWalker {
 public:
  BlockWalker(Span span, int version) : span_(span), version_(version) {}

  std::optional<Block> Next() {
    const size_t header = version_ == 3 ? 14 : 10;
    if (span_.size - pos_ < header) return std::nullopt;
    if (std::memcmp(span_.data + pos_, "~BK\0", 4) != 0) Bad();
    FieldReader r(span_.Sub(pos_ + 4, header - 4));
    Block block;
    block.id = r.U16();
    block.first = version_ == 3 ? r.U32() : 0;
    const uint32_t total = r.U32();
    block.body = span_.Sub(pos_ + header, total);
    pos_ += header + total;
    return block;
  }

 private:
  Span span_;
  int version_;
  size_t pos_ = 0;
};

// Splits a block into its first chunk (without its length field) and what follows.
std::pair<Span, Span> SplitInfo(const Block& block, int version) {
  size_t size = block.first, start = 0;
  if (version > 3) {
    size = block.body.size >= 4 ? FieldReader(block.body).U32() : 0;
    if (size < 4) Bad();
    start = 4;
  }
  if (size > block.body.size) Bad();
  return {block.body.Sub(start, size - start), block.body.From(size)};
}

// Passes over chunks of fixed information (each starting with its own length) up to the first
// sub-block: later versions add chunks that older readers need not know.
Span SkipChunks(Span span, int version) {
  while (version > 3 && span.size >= 4 && std::memcmp(span.data, "~BK\0", 4) != 0) {
    const uint32_t size = FieldReader(span).U32();
    if (size < 4) Bad();
    span = span.From(size);
  }
  return span;
}

struct Channel {
  uint16_t bitmap_type = 0;
  uint16_t channel_type = 0;
  uint32_t uncompressed = 0;
  Span data;
};

// A stored picture: a layer's saved rectangle or the composite image.
struct Picture {
  int64_t left = 0, top = 0, width = 0, height = 0;
  int bits = 24;
  int compression = kNone;
  uint8_t opacity = 255;
  bool visible = true;
  std::vector<Channel> channels;
  std::vector<PaletteEntry> palette;
};

// Channel blocks that follow the channel count; version 4 and later put the bitmap and channel
// counts in a chunk of their own first.
std::vector<Channel> ReadChannels(Span rest, int version) {
  std::vector<Channel> channels;
  BlockWalker walker(rest, version);
  while (auto block = walker.Next()) {
    if (block->id != kChannelBlock) continue;
    const auto [info, data] = SplitInfo(*block, version);
    FieldReader r(info);
    const uint32_t compressed = r.U32();
    Channel channel;
    channel.uncompressed = r.U32();
    channel.bitmap_type = r.U16();
    channel.channel_type = r.U16();
    channel.data = data.Sub(0, compressed);
    channels.push_back(channel);
  }
  return channels;
}

std::vector<PaletteEntry> ReadPalette(const Block& block, int version) {
  // Writers put the entries either within the first chunk or after it.
  const auto [info, rest] = SplitInfo(block, version);
  FieldReader head(info);
  const uint32_t count = head.U32();
  if (count > 256) Bad();
  const Span entries = info.size >= 4 + size_t{count} * 4 ? info.From(4) : rest;
  if (entries.size < size_t{count} * 4) Bad();
  std::vector<PaletteEntry> palette(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = entries.data + 4 * i;
    palette[i] = PaletteColor(e[2], e[1], e[0]);
  }
  return palette;
}

Picture ReadLayer(const Block& block, int version) {
  const auto [info, rest] = SplitInfo(block, version);
  FieldReader r(info);
  if (version == 3) {
    r.Skip(256);  // name
  } else {
    r.Skip(r.U16());
  }
  r.U8();  // layer type: whatever holds image channels is drawn
  const MakeRect image = ReadRect(r);
  const MakeRect saved = ReadRect(r);
  Picture layer;
  layer.opacity = r.U8();
  r.U8();  // blending mode: drawn as normal
  layer.visible = (r.U8() & 1) != 0;
  // The saved rectangle holds the stored pixels and lies within the image rectangle.
  layer.left = int64_t{image.left} + saved.left;
  layer.top = int64_t{image.top} + saved.top;
  layer.width = saved.Width();
  layer.height = saved.Height();

  // Version 3 ends the first chunk with the bitmap and channel counts; later versions give them
  // in a chunk of their own before the channels.
  layer.channels = ReadChannels(SkipChunks(rest, version), version);
  return layer;
}

// Decompresses a channel into `out` (already sized). False when the data give too little.
bool Expand(const Channel& channel, int compression, std::vector<uint8_t>& out) {
  const uint8_t* in = channel.data.data;
  const size_t in_size = channel.data.size;
  switch (compression) {
    case kNone:
      if (in_size < out.size()) return false;
      std::memcpy(out.data(), in, out.size());
      return true;
    case kRle: {
      // Count c > 128 repeats the next byte c - 128 times; otherwise c bytes follow.
      size_t i = 0, o = 0;
      while (o < out.size()) {
        if (i >= in_size) return false;
        const unsigned c = in[i++];
        if (c > 128) {
          if (i >= in_size) return false;
          const size_t n = std::min<size_t>(c - 128, out.size() - o);
          std::memset(out.data() + o, in[i++], n);
          o += n;
        } else {
          if (in_size - i < c) return false;
          const size_t n = std::min<size_t>(c, out.size() - o);
          std::memcpy(out.data() + o, in + i, n);
          i += c;
          o += n;
        }
      }
      return true;
    }
    case kLz77: {
      z_stream z{};
      if (inflateInit(&z) != Z_OK) return false;
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = static_cast<uInt>(std::min<size_t>(in_size, UINT32_MAX));
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      int status = Z_OK;
      while (status == Z_OK && z.avail_out > 0) status = inflate(&z, Z_NO_FLUSH);
      inflateEnd(&z);
      return z.avail_out == 0;
    }
    default:
      return false;
  }
}

// A channel as one byte per pixel, rows top first.
std::vector<uint8_t> ChannelPlane(const Channel& channel, const Picture& pic, int bits) {
  const size_t w = static_cast<size_t>(pic.width), h = static_cast<size_t>(pic.height);
  const size_t tight = (w * static_cast<size_t>(bits) + 7) / 8;
  const size_t padded = (w * static_cast<size_t>(bits) + 31) / 32 * 4;
  // Rows are either packed or padded to 4 bytes; the stored length tells which.
  const size_t stride = channel.uncompressed == padded * h ? padded : tight;
  // Refuse data that cannot fill the rows before allocating them: a run-length pair makes at
  // most 127 bytes, deflate at most about 1032 per byte.
  const size_t needed = stride * h;
  const size_t most = pic.compression == kNone  ? channel.data.size
                      : pic.compression == kRle ? channel.data.size * 64
                                                : channel.data.size * 1032;
  if (needed > most) Bad();
  std::vector<uint8_t> stored(needed);
  if (!Expand(channel, pic.compression, stored)) Bad();
  if (bits == 8 && stride == w) return stored;
  std::vector<uint8_t> plane(w * h);
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* row = stored.data() + y * stride;
    uint8_t* out = plane.data() + y * w;
    for (size_t x = 0; x < w; ++x) {
      switch (bits) {
        case 1:
          out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
          break;
        case 4:
          out[x] = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
          break;
        default:
          out[x] = row[x];
      }
    }
  }
  return plane;
}

// Draws `pic` onto the 32-bit canvas with the "over" rule, scaled by its opacity.
void DrawOver(const Picture& pic, const std::vector<PaletteEntry>& grey_or_palette,
              DibImage& canvas) {
  if (pic.width <= 0 || pic.height <= 0) return;
  if (!PictureSizeAllowed(pic.width, pic.height)) Bad();
  const Channel* colour[4] = {};
  const Channel* mask = nullptr;
  for (const Channel& c : pic.channels) {
    if (c.bitmap_type == kImageBitmap && c.channel_type <= kBlue)
      colour[c.channel_type] = &c;
    else if (c.bitmap_type == kTransparencyMask && mask == nullptr)
      mask = &c;
  }
  const bool indexed = pic.bits <= 8;
  if (indexed ? colour[kCompositeChannel] == nullptr
              : (colour[kRed] == nullptr && colour[kGreen] == nullptr && colour[kBlue] == nullptr))
    return;  // nothing to draw: vector, adjustment or empty layers

  std::vector<uint8_t> planes[4];
  for (int i = 0; i < 4; ++i)
    if (colour[i]) planes[i] = ChannelPlane(*colour[i], pic, indexed ? pic.bits : 8);
  std::vector<uint8_t> alpha;
  if (mask) alpha = ChannelPlane(*mask, pic, 8);

  const int64_t x0 = std::max<int64_t>(0, pic.left), y0 = std::max<int64_t>(0, pic.top);
  const int64_t x1 = std::min<int64_t>(canvas.Width(), pic.left + pic.width);
  const int64_t y1 = std::min<int64_t>(canvas.Height(), pic.top + pic.height);
  for (int64_t y = y0; y < y1; ++y) {
    uint8_t* out = canvas.ScanLine(static_cast<int32_t>(y));
    for (int64_t x = x0; x < x1; ++x) {
      const size_t i = static_cast<size_t>((y - pic.top) * pic.width + (x - pic.left));
      uint32_t r, g, b;
      if (indexed) {
        const uint8_t index = planes[kCompositeChannel][i];
        const PaletteEntry q =
            index < grey_or_palette.size() ? grey_or_palette[index] : PaletteEntry{};
        r = q.red, g = q.green, b = q.blue;
      } else {
        r = planes[kRed].empty() ? 0 : planes[kRed][i];
        g = planes[kGreen].empty() ? 0 : planes[kGreen][i];
        b = planes[kBlue].empty() ? 0 : planes[kBlue][i];
      }
      const uint32_t a = ((alpha.empty() ? 255u : alpha[i]) * pic.opacity + 127) / 255;
      uint8_t* px = out + 4 * x;
      // Straight-alpha "over": the canvas keeps what the layer lets through.
      const uint32_t da = px[3] * (255 - a) / 255;
      const uint32_t oa = a + da;
      if (oa == 0) continue;
      px[0] = static_cast<uint8_t>((b * a + px[0] * da + oa / 2) / oa);
      px[1] = static_cast<uint8_t>((g * a + px[1] * da + oa / 2) / oa);
      px[2] = static_cast<uint8_t>((r * a + px[2] * da + oa / 2) / oa);
      px[3] = static_cast<uint8_t>(oa);
    }
  }
}

}  // namespace

void PspGraphic::Decode(ByteStream& stream) {
  uint8_t header[kFileHeaderSize];
  stream.ReadBuffer(header, sizeof header);
  if (std::memcmp(header, kSignature, sizeof kSignature - 1) != 0) FailInvalid(kLabel);
  const int version = LoadLe16(header + 32);
  if (version < 3) FailInvalid(kLabel);
  const std::vector<uint8_t> bytes = stream.ReadAll();

  try {
    const Span file{bytes.data(), bytes.size()};
    BlockWalker walker(file, version);
    bool have_attributes = false;
    int64_t width = 0, height = 0;
    Picture base;  // attributes every layer shares
    bool greyscale = false;
    std::vector<Picture> layers;
    std::optional<Picture> composite;
    while (auto block = walker.Next()) {
      switch (block->id) {
        case kImageBlock: {
          FieldReader r(SplitInfo(*block, version).first);
          width = r.I32();
          height = r.I32();
          r.Skip(8 + 1);  // resolution and its unit
          base.compression = r.U16();
          base.bits = r.U16();
          r.U16();  // planes
          r.U32();  // colours
          greyscale = r.U8() != 0;
          have_attributes = true;
          break;
        }
        case kColourBlock:
          base.palette = ReadPalette(*block, version);
          break;
        case kLayerBankBlock: {
          if (!have_attributes) Bad();
          BlockWalker sub(SkipChunks(block->body.From(block->first), version), version);
          while (auto layer_block = sub.Next()) {
            if (layer_block->id != kLayerBlock) continue;
            Picture layer = ReadLayer(*layer_block, version);
            layer.bits = base.bits;
            layer.compression = base.compression;
            layers.push_back(std::move(layer));
          }
          break;
        }
        case kCompositeBankBlock: {
          if (!have_attributes) Bad();
          BlockWalker sub(SkipChunks(block->body.From(block->first), version), version);
          std::optional<Picture> pending;
          while (auto item = sub.Next()) {
            if (item->id == kCompositeAttributesBlock) {
              FieldReader r(SplitInfo(*item, version).first);
              Picture pic;
              pic.width = r.I32();
              pic.height = r.I32();
              pic.bits = r.U16();
              pic.compression = r.U16();
              r.U16();  // planes
              r.U32();  // colours
              const uint16_t type = r.U16();
              pending.reset();
              // Only the full-size composite: thumbnails are smaller, JPEG ones unsupported.
              const bool readable =
                  (pic.bits == 1 || pic.bits == 4 || pic.bits == 8 || pic.bits == 24) &&
                  pic.compression <= kLz77;
              if (type == 0 && pic.width == width && pic.height == height && readable)
                pending = pic;
            } else if (item->id == kCompositeBlock && pending && !composite) {
              // Its own palette, then channels.
              const Span parts_span = SkipChunks(SplitInfo(*item, version).second, version);
              BlockWalker parts(parts_span, version);
              while (auto part = parts.Next())
                if (part->id == kColourBlock) pending->palette = ReadPalette(*part, version);
              pending->channels = ReadChannels(parts_span, version);
              composite = std::move(pending);
              pending.reset();
            }
          }
          break;
        }
        default:
          break;
      }
    }

    if (!have_attributes || width <= 0 || height <= 0 || !PictureSizeAllowed(width, height)) Bad();
    if (base.bits != 1 && base.bits != 4 && base.bits != 8 && base.bits != 24) Bad();
    if (base.compression > kLz77) Bad();

    const bool any_visible =
        std::any_of(layers.begin(), layers.end(), [](const Picture& l) { return l.visible; });
    if (!composite && !any_visible) Bad();

    SetPixelFormat(DibFormat::k32Bit);
    SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
    const auto colours = [&](const Picture& pic) {
      if (pic.bits > 8) return std::vector<PaletteEntry>{};
      if (!greyscale && !pic.palette.empty()) return pic.palette;
      return GreyRamp(pic.bits);
    };
    if (composite) {
      composite->width = width;
      composite->height = height;
      if (composite->palette.empty()) composite->palette = base.palette;
      DrawOver(*composite, colours(*composite), *this);
    } else {
      for (const Picture& layer : layers)
        if (layer.visible) DrawOver(layer, colours(base), *this);
    }
  } catch (const BadFile&) {
    FailInvalid(kLabel);
  }
}

}  // namespace tessane
