// PNG reading: chunk sequence, CRC and structure checks, inflating, row filters, Adam7 and the
// conversion of every colour type and bit depth to 8-bit ARGB.

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include "base/byte_order.h"
#include "base/cancel.h"
#include "base/errors.h"
#include "base/limits.h"
#include "formats/metadata/icc_profile.h"
#include "formats/png/png_graphic.h"
#if TESSANE_X86_SIMD
#include "formats/png/png_unfilter_sse2.h"
#endif

namespace tessane {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

constexpr char kMsgInvalidHeader[] =
    "The file being readed is not a valid \"Portable Network Graphics\" image because it "
    "contains an invalid header. This file may be corruped, try obtaining it again.";
constexpr char kMsgUnexpectedEnd[] =
    "This \"Portable Network Graphics\" image is invalid because the decoder found an "
    "unexpected end of the file.";
constexpr char kMsgUnknownCritical[] =
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not "
    "be decoded.";
constexpr char kMsgCrcError[] =
    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of "
    "data (crc error)";
constexpr char kMsgNoData[] = "This \"Portable Network Graphics\" image contains no data.";

[[noreturn]] void Fail(const char* message) {
  throw InvalidImageError(message);
}

/// Structural problems: the header, palette or chunk names.
[[noreturn]] void FailUnsupported(const char* detail) {
  throw InvalidImageError(
      Format("This \"Portable Network Graphics\" image is not supported or it might be "
             "invalid.\r\n(%s)",
             detail));
}

/// Problems inside the compressed image data.
[[noreturn]] void FailData(const char* detail) {
  throw InvalidImageError(
      Format("This \"Portable Network Graphics\" image is not valid because it contains invalid "
             "pieces of data (%s)",
             detail));
}

bool IsLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// Splits the file into chunks, checking the signature, every CRC and the order rules that the
/// messages name. Keeps the chunks the decoder needs; other ancillary chunks are dropped. The
/// image data of every IDAT chunk go into the first one, in one piece for inflating: they are
/// moved together at the front of `file`, which then becomes that chunk's data, so they are never
/// copied. Their lengths are kept in `idat_lengths`.
std::vector<PngChunk> ReadChunks(std::vector<uint8_t>& file, std::vector<uint32_t>& idat_lengths) {
  uint8_t* const data = file.data();
  const size_t size = file.size();
  if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0)
    Fail(kMsgInvalidHeader);
  std::vector<PngChunk> chunks;
  size_t pos = sizeof kSignature;
  bool seen_data = false;
  size_t merged = 0;  // index of the IDAT chunk, once there is one
  size_t joined = 0;  // image data moved to the front so far; always behind `pos`
  for (bool first = true;; first = false) {
    if (size - pos < 8) Fail(kMsgUnexpectedEnd);
    const size_t length = LoadBe32(data + pos);
    const uint8_t* name = data + pos + 4;
    if (first && std::memcmp(name, "IHDR", 4) != 0) FailUnsupported("IHDR chunk is not the first");
    const size_t left = size - pos - 8;
    if (length > left || left - length < 4) Fail(kMsgUnexpectedEnd);
    const uint8_t* body = name + 4;
    if (crc32_z(0, name, 4 + length) != LoadBe32(body + length)) Fail(kMsgCrcError);
    if (!IsLetter(name[0]) || !IsLetter(name[1]) || !IsLetter(name[2]) || !IsLetter(name[3]))
      FailUnsupported("invalid chunk name");
    pos += 12 + length;

    PngChunk chunk;
    std::memcpy(chunk.name.data(), name, 4);
    const bool ancillary = (name[0] & 0x20) != 0;
    if (chunk.Is("IHDR")) {
      if (!first) FailUnsupported("more than one IHDR chunk");
    } else if (chunk.Is("IDAT")) {
      idat_lengths.push_back(static_cast<uint32_t>(length));
      if (length != 0) std::memmove(data + joined, body, length);
      joined += length;
      if (!seen_data) {
        seen_data = true;
        merged = chunks.size();
        chunks.push_back(std::move(chunk));
      }
      continue;
    } else if (chunk.Is("IEND")) {
      if (!seen_data) Fail(kMsgNoData);
      chunks.push_back(std::move(chunk));
      file.resize(joined);
      chunks[merged].data = std::move(file);
      return chunks;
    } else if (!chunk.Is("PLTE") && !chunk.Is("tRNS")) {
      if (!ancillary) Fail(kMsgUnknownCritical);
      continue;  // text, colour-space and other ancillary chunks change nothing we draw
    }
    chunk.data.assign(body, body + length);
    chunks.push_back(std::move(chunk));
  }
}

struct PngHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  int bit_depth = 0;
  int color_type = 0;
  bool interlaced = false;
  int channels = 0;
  int bits_per_pixel = 0;

  size_t RowBytes(uint32_t width) const {
    return (static_cast<size_t>(width) * bits_per_pixel + 7) / 8;
  }
};

PngHeader ParseHeader(const PngChunk& chunk) {
  if (chunk.data.size() != 13) FailUnsupported("invalid IHDR chunk");
  const uint8_t* d = chunk.data.data();
  PngHeader h;
  h.width = LoadBe32(d);
  h.height = LoadBe32(d + 4);
  h.bit_depth = d[8];
  h.color_type = d[9];
  if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu)
    FailUnsupported("invalid image size");
  bool depth_ok = false;
  switch (h.color_type) {
    case 0:
      h.channels = 1;
      depth_ok = h.bit_depth == 1 || h.bit_depth == 2 || h.bit_depth == 4 || h.bit_depth == 8 ||
                 h.bit_depth == 16;
      break;
    case 3:
      h.channels = 1;
      depth_ok = h.bit_depth == 1 || h.bit_depth == 2 || h.bit_depth == 4 || h.bit_depth == 8;
      break;
    case 2:
      h.channels = 3;
      break;
    case 4:
      h.channels = 2;
      break;
    case 6:
      h.channels = 4;
      break;
    default:
      FailUnsupported("invalid color type");
  }
  if (h.channels > 1) depth_ok = h.bit_depth == 8 || h.bit_depth == 16;
  if (!depth_ok) FailUnsupported("invalid bit depth");
  if (d[10] != 0) FailUnsupported("unknown compression method");
  if (d[11] != 0) FailUnsupported("unknown filter method");
  if (d[12] > 1) FailUnsupported("unknown interlace method");
  h.interlaced = d[12] == 1;
  h.bits_per_pixel = h.channels * h.bit_depth;
  if (!PictureSizeAllowed(h.width, h.height)) FailUnsupported("image is too large");
  return h;
}

/// Feeds the IDAT chunks, in order, through one zlib stream and hands out exactly the bytes
/// asked for, so nothing beyond the declared image size is ever allocated.
class IdatInflater {
 public:
  explicit IdatInflater(const std::vector<PngChunk>& chunks) : chunks_(chunks) {
    if (inflateInit(&zs_) != Z_OK) throw OutOfResourcesError("Out of memory while inflating");
  }
  ~IdatInflater() { inflateEnd(&zs_); }
  IdatInflater(const IdatInflater&) = delete;
  IdatInflater& operator=(const IdatInflater&) = delete;

  /// Fills out[0..count) or throws. zlib may meet damage beyond the last byte asked for in
  /// the same call (a broken checksum or block header); that throws too.
  void Read(uint8_t* out, size_t count) {
    zs_.next_out = out;
    zs_.avail_out = static_cast<uInt>(count);
    while (zs_.avail_out > 0) {
      if (ended_) FailData("not enough image data");
      // With the input used up zlib may still hold output (the rest of a long match), so it is
      // asked once more; only when it can give nothing are the data short.
      if (zs_.avail_in == 0) NextInput();
      const int ret = inflate(&zs_, Z_NO_FLUSH);
      if (ret == Z_STREAM_END) {
        ended_ = true;
      } else if (ret == Z_BUF_ERROR && zs_.avail_in == 0) {
        FailData("not enough image data");
      } else if (ret != Z_OK) {
        FailData("zlib error");
      }
    }
  }

  /// Reads on to the end of the zlib stream so that a damaged stream (its checksum among them)
  /// is refused. Surplus data is inflated into a scratch buffer up to a fixed amount and then
  /// ignored, as is a stream whose last bytes are missing.
  void Finish() {
    constexpr size_t kMaxSurplus = size_t{1} << 20;
    uint8_t scratch[4096];
    size_t surplus = 0;
    while (!ended_ && surplus <= kMaxSurplus) {
      if (zs_.avail_in == 0 && !NextInput()) return;
      zs_.next_out = scratch;
      zs_.avail_out = sizeof scratch;
      const int ret = inflate(&zs_, Z_NO_FLUSH);
      if (ret == Z_STREAM_END) return;
      if (ret != Z_OK && !(ret == Z_BUF_ERROR && zs_.avail_in == 0)) FailData("zlib error");
      surplus += sizeof scratch - zs_.avail_out;
    }
  }

 private:
  bool NextInput() {
    for (; next_chunk_ < chunks_.size(); ++next_chunk_) {
      const PngChunk& c = chunks_[next_chunk_];
      if (!c.Is("IDAT") || c.data.empty()) continue;
      // A chunk length is a 32-bit value, so one chunk always fits zlib's input counter.
      zs_.next_in = const_cast<Bytef*>(c.data.data());
      zs_.avail_in = static_cast<uInt>(c.data.size());
      ++next_chunk_;
      return true;
    }
    return false;
  }

  const std::vector<PngChunk>& chunks_;
  size_t next_chunk_ = 0;
  z_stream zs_{};
  bool ended_ = false;
};

// Bytes after each row buffer that whole-pixel loads may read.
constexpr size_t kRowSlack = 8;

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

/// Reverses one row's filter in place; `prior` is the previous row of the pass (zeros first).
/// Both rows are followed by at least kRowSlack readable bytes.
void Unfilter(uint8_t type, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp) {
#if TESSANE_X86_SIMD
  if (sse2::UnfilterPixels(type, row, prior, length, bpp)) return;
#endif
  switch (type) {
    case 0:
      break;
    case 1:
      for (size_t i = bpp; i < length; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
      break;
    case 2:
      for (size_t i = 0; i < length; ++i) row[i] = static_cast<uint8_t>(row[i] + prior[i]);
      break;
    case 3:
      for (size_t i = 0; i < length; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + ((left + prior[i]) >> 1));
      }
      break;
    case 4:
      for (size_t i = 0; i < length; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int upper_left = i >= bpp ? prior[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + Paeth(left, prior[i], upper_left));
      }
      break;
    default:
      FailData("invalid filter type");
  }
}

inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

/// Turns unfiltered rows of any colour type and depth into $AARRGGBB pixels.
class RowConverter {
 public:
  RowConverter(const PngHeader& header, const PngChunk* palette, const PngChunk* trns)
      : h_(header) {
    table_.fill(0xFF000000u);
    if (h_.color_type == 3) {
      if (palette == nullptr) FailUnsupported("missing palette");
      const size_t entries = palette->data.size() / 3;
      if (palette->data.size() % 3 != 0 || entries == 0 || entries > 256)
        FailUnsupported("invalid palette");
      const std::vector<uint8_t> alpha = trns ? trns->data : std::vector<uint8_t>{};
      bool only_bits = true;
      for (size_t i = 0; i < entries; ++i) {
        const uint8_t* c = palette->data.data() + 3 * i;
        const uint32_t a = i < alpha.size() ? alpha[i] : 255;
        if (a != 0 && a != 255) only_bits = false;
        table_[i] = Argb(a, c[0], c[1], c[2]);
      }
      if (trns != nullptr && !alpha.empty())
        kind_ = only_bits ? PngTransparency::kBit : PngTransparency::kPartial;
    } else if (h_.color_type == 0) {
      if (trns != nullptr && trns->data.size() == 2) {
        has_key_ = true;
        key_[0] = LoadBe16(trns->data.data());
        kind_ = PngTransparency::kBit;
      }
      if (h_.bit_depth <= 8) {
        const uint32_t max = (1u << h_.bit_depth) - 1;
        for (uint32_t s = 0; s <= max; ++s) {
          const uint32_t v = s * 255 / max;
          table_[s] = Argb(has_key_ && s == key_[0] ? 0 : 255, v, v, v);
        }
      }
    } else if (h_.color_type == 2) {
      if (trns != nullptr && trns->data.size() == 6) {
        has_key_ = true;
        for (int i = 0; i < 3; ++i) key_[i] = LoadBe16(trns->data.data() + 2 * i);
        kind_ = PngTransparency::kBit;
      }
    } else {
      kind_ = PngTransparency::kPartial;  // grey + alpha, RGBA
    }
  }

  PngTransparency Kind() const { return kind_; }

  /// Converts `count` pixels of `row`, writing every `step`-th element of `out`.
  void Convert(const uint8_t* row, uint32_t count, uint32_t* out, uint32_t step) const {
    const int depth = h_.bit_depth;
    switch (h_.color_type) {
      case 0:
        if (depth == 16) {
          for (uint32_t i = 0; i < count; ++i, out += step) {
            const uint8_t* p = row + 2 * i;
            const bool clear = has_key_ && LoadBe16(p) == key_[0];
            *out = Argb(clear ? 0 : 255, p[0], p[0], p[0]);
          }
          return;
        }
        [[fallthrough]];
      case 3:
        if (depth == 8) {
          for (uint32_t i = 0; i < count; ++i, out += step) *out = table_[row[i]];
        } else {
          const uint32_t mask = (1u << depth) - 1;
          for (uint32_t i = 0; i < count; ++i, out += step) {
            const size_t bit = static_cast<size_t>(i) * depth;
            *out = table_[(row[bit >> 3] >> (8 - depth - (bit & 7))) & mask];
          }
        }
        return;
      case 2:
        if (depth == 8) {
          for (uint32_t i = 0; i < count; ++i, out += step) {
            const uint8_t* p = row + 3 * i;
            const bool clear = has_key_ && p[0] == key_[0] && p[1] == key_[1] && p[2] == key_[2];
            *out = Argb(clear ? 0 : 255, p[0], p[1], p[2]);
          }
        } else {
          for (uint32_t i = 0; i < count; ++i, out += step) {
            const uint8_t* p = row + 6 * i;
            // The key is compared on the full 16-bit samples, before they are cut to 8 bits.
            const bool clear = has_key_ && LoadBe16(p) == key_[0] && LoadBe16(p + 2) == key_[1] &&
                               LoadBe16(p + 4) == key_[2];
            *out = Argb(clear ? 0 : 255, p[0], p[2], p[4]);
          }
        }
        return;
      case 4:
        for (uint32_t i = 0; i < count; ++i, out += step) {
          const uint8_t* p = row + (depth == 8 ? 2 : 4) * i;
          const uint8_t g = p[0], a = p[depth == 8 ? 1 : 2];
          *out = Argb(a, g, g, g);
        }
        return;
      case 6:
        if (depth == 8) {
          for (uint32_t i = 0; i < count; ++i, out += step) {
            const uint8_t* p = row + 4 * i;
            *out = Argb(p[3], p[0], p[1], p[2]);
          }
        } else {
          for (uint32_t i = 0; i < count; ++i, out += step) {
            const uint8_t* p = row + 8 * i;
            *out = Argb(p[6], p[0], p[2], p[4]);
          }
        }
        return;
    }
  }

 private:
  const PngHeader h_;
  std::array<uint32_t, 256> table_{};
  bool has_key_ = false;
  uint16_t key_[3] = {0, 0, 0};
  PngTransparency kind_ = PngTransparency::kNone;
};

// One interlace pass: the pixels from (X0, Y0) every DX columns and DY rows.
struct InterlacePass {
  uint32_t x0, y0, dx, dy;

  // The pass's size within a picture; zero when the picture ends before the pass's first pixel.
  uint32_t Columns(uint32_t width) const { return width <= x0 ? 0 : (width - x0 + dx - 1) / dx; }
  uint32_t Rows(uint32_t height) const { return height <= y0 ? 0 : (height - y0 + dy - 1) / dy; }
};
constexpr InterlacePass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr InterlacePass kWhole[1] = {{0, 0, 1, 1}};

std::span<const InterlacePass> PassesOf(const PngHeader& h) {
  if (h.interlaced) return kAdam7;
  return kWhole;
}

const PngChunk* FindChunk(const std::vector<PngChunk>& chunks, const char* name) {
  for (const PngChunk& c : chunks)
    if (c.Is(name)) return &c;
  return nullptr;
}

// Deflate turns one byte into at most 1032, so image data that could not hold every row even at
// that rate fails as running out of it half-way would, but before the picture is allocated: a few
// bytes declaring 16000 x 16000 pixels never cost a gigabyte.
void CheckImageDataCanHoldTheRows(const std::vector<PngChunk>& chunks, const PngHeader& h) {
  constexpr uint64_t kMaxInflateRatio = 1032;
  uint64_t compressed = 0;
  for (const PngChunk& c : chunks)
    if (c.Is("IDAT")) compressed += c.data.size();
  uint64_t raw = 0;
  for (const InterlacePass& pass : PassesOf(h)) {
    const uint32_t pass_width = pass.Columns(h.width);
    if (pass_width == 0) continue;
    raw += uint64_t{pass.Rows(h.height)} * (h.RowBytes(pass_width) + 1);
  }
  if (raw > (compressed + 1) * kMaxInflateRatio) FailData("not enough image data");
}

// Pixel buffers of at most this many pixels are kept for the next picture of the same thread.
constexpr size_t kMaxSparePixels = size_t{16} << 20;
// Joined image data of at most this size stay allocated for the next picture of the thread.
constexpr size_t kMaxSpareJoined = size_t{32} << 20;
// The most filtered bytes inflated in one libdeflate call (about a tenth of a second's work).
constexpr size_t kMaxWholeInflate = size_t{128} << 20;

// Set once this thread's spare buffer is gone: bitmaps destroyed later in the thread's (or the
// program's) end must not hand it their pixels.
thread_local bool spare_gone = false;

struct SparePixels {
  std::vector<uint32_t> pixels;
  ~SparePixels() { spare_gone = true; }
};

/// This thread's spare buffer, or null once it is gone.
std::vector<uint32_t>* ThreadSparePixels() {
  if (spare_gone) return nullptr;
  thread_local SparePixels spare;
  return &spare.pixels;
}

/// Lets `pixels` use this thread's spare buffer when that can hold `count` pixels; a smaller
/// spare is freed.
void TakeSparePixels(std::vector<uint32_t>& pixels, size_t count) {
  if (pixels.capacity() >= count) return;
  std::vector<uint32_t>* spare = ThreadSparePixels();
  if (spare == nullptr) return;
  if (spare->capacity() >= count) pixels.swap(*spare);
  std::vector<uint32_t>().swap(*spare);
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

/// Inflates whole, valid image data of a picture that is not interlaced and has at most 32 bits
/// a pixel in one libdeflate call, and converts its rows into `pixels`. The filtered rows are
/// inflated into the end of the pixel buffer itself, where converting row y never reaches past
/// the start of row y + 1. Returns false, with nothing decided, for everything else: data that
/// are truncated, damaged, too long or followed by more, or a stream declaring a window below
/// 32 KiB (zlib would refuse distances beyond it). The zlib path then reads the picture with
/// its own messages.
bool InflateWhole(const std::vector<PngChunk>& chunks, const PngHeader& h,
                  const RowConverter& converter, std::vector<uint32_t>& pixels) {
  if (h.interlaced || h.bits_per_pixel > 32) return false;
  const PngChunk* only = nullptr;
  size_t in_size = 0, parts = 0;
  for (const PngChunk& c : chunks) {
    if (!c.Is("IDAT") || c.data.empty()) continue;
    only = &c;
    in_size += c.data.size();
    ++parts;
  }
  if (in_size < 2) return false;
  thread_local std::vector<uint8_t> joined;
  const uint8_t* in = only->data.data();
  if (parts > 1) {
    joined.resize(in_size);
    uint8_t* p = joined.data();
    for (const PngChunk& c : chunks) {
      if (!c.Is("IDAT")) continue;
      std::memcpy(p, c.data.data(), c.data.size());
      p += c.data.size();
    }
    in = joined.data();
  }
  const bool whole = [&] {
    if (in[0] != 0x78) return false;  // deflate with a 32 KiB window
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor;
    if (!decompressor) decompressor.reset(libdeflate_alloc_decompressor());
    if (!decompressor) return false;
    const size_t row_bytes = h.RowBytes(h.width);
    const size_t raw = (row_bytes + 1) * h.height;
    // One call cannot be stopped: larger pictures go through zlib, a row at a time.
    if (raw > kMaxWholeInflate) return false;
    const size_t count = static_cast<size_t>(h.width) * h.height;
    const size_t words = std::max(count, (raw + 3) / 4);
    TakeSparePixels(pixels, words);
    // Every element is written below; a reused buffer needs no clearing first.
    pixels.resize(words);
    uint8_t* const rows = reinterpret_cast<uint8_t*>(pixels.data()) + words * 4 - raw;
    size_t in_used = 0, out_used = 0;
    if (libdeflate_zlib_decompress_ex(decompressor.get(), in, in_size, rows, raw, &in_used,
                                      &out_used) != LIBDEFLATE_SUCCESS ||
        in_used != in_size || out_used != raw)
      return false;
    const size_t bpp = std::max(1, h.bits_per_pixel / 8);
    std::vector<uint8_t> current(row_bytes + 1 + kRowSlack, 0), prior(row_bytes + 1 + kRowSlack, 0);
    for (uint32_t y = 0; y < h.height; ++y) {
      ThrowIfCancelled();
      // The row is taken out first: its pixels overwrite where it lay.
      std::memcpy(current.data(), rows + y * (row_bytes + 1), row_bytes + 1);
      Unfilter(current[0], current.data() + 1, prior.data() + 1, row_bytes, bpp);
      converter.Convert(current.data() + 1, h.width, pixels.data() + y * size_t{h.width}, 1);
      std::swap(current, prior);
    }
    pixels.resize(count);
    return true;
  }();
  if (joined.capacity() > kMaxSpareJoined) std::vector<uint8_t>().swap(joined);
  return whole;
}

}  // namespace

void RecyclePngPixels(std::vector<uint32_t>&& pixels) {
  if (pixels.capacity() == 0 || pixels.capacity() > kMaxSparePixels) return;
  std::vector<uint32_t>* spare = ThreadSparePixels();
  if (spare != nullptr && pixels.capacity() > spare->capacity()) *spare = std::move(pixels);
}

std::vector<uint32_t> TakeRecycledPixels(size_t count) {
  std::vector<uint32_t> pixels;
  TakeSparePixels(pixels, count);
  pixels.clear();
  return pixels;
}

namespace {

/// The checks decoding makes before it inflates anything, in their order; the header.
PngHeader CheckedHeader(const std::vector<PngChunk>& chunks) {
  if (chunks.empty() || !chunks.front().Is("IHDR")) FailUnsupported("IHDR chunk is not the first");
  if (FindChunk(chunks, "IDAT") == nullptr) Fail(kMsgNoData);
  const PngHeader h = ParseHeader(chunks.front());
  CheckImageDataCanHoldTheRows(chunks, h);
  return h;
}

RowConverter ConverterFor(const std::vector<PngChunk>& chunks, const PngHeader& h) {
  return RowConverter(h, FindChunk(chunks, "PLTE"), FindChunk(chunks, "tRNS"));
}

/// The rows of a picture that is not interlaced, inflated through zlib's stream as they are
/// asked for: the steps, and so the pixels, of DecodePngChunks's zlib path, with a block of rows
/// in memory instead of the picture.
class PngRows : public RowSource {
 public:
  PngRows(const std::vector<PngChunk>& chunks, const PngHeader& h)
      : header_(h),
        converter_(ConverterFor(chunks, h)),
        inflater_(chunks),
        row_bytes_(h.RowBytes(h.width)),
        block_rows_(std::max<size_t>(1, kBlockBytes / (row_bytes_ + 1))),
        block_((row_bytes_ + 1) * block_rows_),
        current_(row_bytes_ + 1 + kRowSlack, 0),
        prior_(row_bytes_ + 1 + kRowSlack, 0),
        pixels_(h.width) {}

  int32_t Width() const override { return static_cast<int32_t>(header_.width); }
  int32_t Height() const override { return static_cast<int32_t>(header_.height); }

  const Argb32* NextRow(int32_t y) override {
    while (next_ <= y) ReadRow();
    return pixels_.data();
  }

  void Finish() override {
    while (next_ < Height()) ReadRow();
    inflater_.Finish();
  }

 private:
  // zlib inflates at full speed only into room for a few hundred bytes or more: the rows come
  // out of it a block at a time, never beyond the picture's last row.
  static constexpr size_t kBlockBytes = size_t{128} << 10;

  void ReadRow() {
    const size_t bpp = std::max(1, header_.bits_per_pixel / 8);
    std::swap(current_, prior_);
    TakeFromBlock();
    Unfilter(current_[0], current_.data() + 1, prior_.data() + 1, row_bytes_, bpp);
    converter_.Convert(current_.data() + 1, header_.width, pixels_.data(), 1);
    ++next_;
  }

  /// Copies the next row out of the block into current_, inflating a new block when this one
  /// is used up.
  void TakeFromBlock() {
    const size_t stride = row_bytes_ + 1;
    if (block_next_ == block_filled_) {
      const size_t wanted = std::min(block_rows_, static_cast<size_t>(Height() - next_));
      inflater_.Read(block_.data(), stride * wanted);
      block_filled_ = wanted;
      block_next_ = 0;
    }
    std::memcpy(current_.data(), block_.data() + stride * block_next_++, stride);
  }

  const PngHeader header_;
  const RowConverter converter_;
  IdatInflater inflater_;
  const size_t row_bytes_;
  const size_t block_rows_;
  std::vector<uint8_t> block_;
  size_t block_filled_ = 0, block_next_ = 0;  // rows in the block, and the next one to take
  std::vector<uint8_t> current_, prior_;
  std::vector<Argb32> pixels_;
  int32_t next_ = 0;
};

}  // namespace

PngLayout CheckPngChunks(const std::vector<PngChunk>& chunks) {
  const PngHeader h = CheckedHeader(chunks);
  return {static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), h.interlaced,
          ConverterFor(chunks, h).Kind()};
}

std::unique_ptr<RowSource> OpenPngRows(const std::vector<PngChunk>& chunks) {
  const PngHeader h = CheckedHeader(chunks);
  if (h.interlaced) return nullptr;
  return std::make_unique<PngRows>(chunks, h);
}

PngDecoded DecodePngChunks(const std::vector<PngChunk>& chunks) {
  const PngHeader h = CheckedHeader(chunks);
  const RowConverter converter = ConverterFor(chunks, h);

  PngDecoded result;
  result.width = static_cast<int32_t>(h.width);
  result.height = static_cast<int32_t>(h.height);
  result.transparency = converter.Kind();
  if (InflateWhole(chunks, h, converter, result.pixels)) return result;
  const size_t count = static_cast<size_t>(h.width) * h.height;
  TakeSparePixels(result.pixels, count);
  // Cleared a band at a time: the pages of a large picture take a while to come in.
  result.pixels.clear();
  result.pixels.reserve(count);
  for (size_t band = size_t{16} << 20; result.pixels.size() < count;) {
    ThrowIfCancelled();
    result.pixels.insert(result.pixels.end(), std::min(band, count - result.pixels.size()), 0);
  }

  IdatInflater inflater(chunks);
  const size_t bpp = std::max(1, h.bits_per_pixel / 8);
  std::vector<uint8_t> current, prior;
  for (const InterlacePass& pass : PassesOf(h)) {
    const uint32_t pass_width = pass.Columns(h.width);
    const uint32_t pass_height = pass.Rows(h.height);
    if (pass_width == 0 || pass_height == 0) continue;
    const size_t row_bytes = h.RowBytes(pass_width);
    current.assign(row_bytes + 1 + kRowSlack, 0);
    prior.assign(row_bytes + 1 + kRowSlack, 0);
    for (uint32_t r = 0; r < pass_height; ++r) {
      ThrowIfCancelled();
      inflater.Read(current.data(), row_bytes + 1);
      Unfilter(current[0], current.data() + 1, prior.data() + 1, row_bytes, bpp);
      const size_t y = pass.y0 + static_cast<size_t>(r) * pass.dy;
      converter.Convert(current.data() + 1, pass_width,
                        result.pixels.data() + y * h.width + pass.x0, pass.dx);
      std::swap(current, prior);
    }
  }
  inflater.Finish();
  return result;
}

void PngGraphic::LoadFromStream(ByteStream& stream) {
  std::vector<PngChunk> chunks;
  std::vector<uint32_t> idat_lengths;
  {
    // The file's bytes become the image data; the rest of them go before the pixels arrive.
    std::vector<uint8_t> data = stream.ReadAll();
    facts_ = PictureFacts{};
    SetIccFacts(facts_, PngIccProfile(data));
    chunks = ReadChunks(data, idat_lengths);
  }
  if (decode_later_) {
    const PngLayout layout = CheckPngChunks(chunks);
    chunks_ = std::move(chunks);
    idat_lengths_ = std::move(idat_lengths);
    width_ = layout.width;
    height_ = layout.height;
    pixels_.clear();
    transparency_ = layout.transparency;
    decoded_ = false;
    return;
  }
  PngDecoded decoded = DecodePngChunks(chunks);
  chunks_ = std::move(chunks);
  idat_lengths_ = std::move(idat_lengths);
  width_ = decoded.width;
  height_ = decoded.height;
  pixels_ = std::move(decoded.pixels);
  transparency_ = decoded.transparency;
  decoded_ = true;
}

}  // namespace tessane
