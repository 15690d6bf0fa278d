// PNG writing: the chunk list made from a bitmap, the per-row filter choice and the IDAT chunks
// of one zlib stream.

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/errors.h"
#include "formats/png/png_writer.h"

namespace tessane {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kMaxIdatLength = 65535;

void PutBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

PngChunk MakeChunk(const char* name, std::vector<uint8_t> data) {
  PngChunk chunk;
  std::memcpy(chunk.name.data(), name, 4);
  chunk.data = std::move(data);
  return chunk;
}

bool IsPaletted(DibFormat f) {
  return f == DibFormat::k1Bit || f == DibFormat::k4Bit || f == DibFormat::k8Bit;
}

/// Largest palette index the bitmap uses.
uint32_t LargestIndex(const DibImage& bitmap, int depth) {
  uint32_t largest = 0;
  const int32_t w = bitmap.Width();
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      const size_t bit = static_cast<size_t>(x) * depth;
      const uint32_t index = (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
      largest = std::max(largest, index);
    }
  }
  return largest;
}

/// Appends `stream` to `out` as IDAT chunks of kMaxIdatLength bytes and a shorter last one.
void AppendIdatChunks(const uint8_t* stream, size_t size, std::vector<PngChunk>& out) {
  for (size_t pos = 0; pos < size; pos += kMaxIdatLength) {
    const size_t n = std::min(kMaxIdatLength, size - pos);
    out.push_back(MakeChunk("IDAT", std::vector<uint8_t>(stream + pos, stream + pos + n)));
  }
}

// The libdeflate level for a zlib level: the same number. From 7 up libdeflate's level n makes
// files no larger than zlib's n on photographs (30 JPEGs at 320 and 1024 pixels, 5 large PNGs)
// in a third of the time or less; a lower libdeflate level would give up size to win time.
constexpr int OneShotLevel(int zlibLevel) {
  return std::clamp(zlibLevel, 0, 9);
}
// Filtered image data above this size (about 16 megapixels of RGB) are deflated by zlib's stream
// instead: in one call, the rows and the compressed stream each take a whole-picture buffer.
constexpr size_t kMaxOneShotBytes = size_t{48} << 20;
// One-shot buffers up to this size stay with the thread for its next picture.
constexpr size_t kMaxSpareBytes = size_t{16} << 20;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

/// This thread's compressor for `level`, made on first use.
libdeflate_compressor& Compressor(int level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 10> cache;
  auto& slot = cache[static_cast<size_t>(OneShotLevel(level))];
  if (!slot) slot.reset(libdeflate_alloc_compressor(OneShotLevel(level)));
  if (!slot) throw OutOfResourcesError("Out of memory while deflating");
  return *slot;
}

/// This thread's buffers for the filtered rows and their compressed stream: a batch writes
/// picture after picture of about one size, and fresh buffers would fault in their pages anew.
struct SpareBuffers {
  std::vector<uint8_t> rows;
  std::vector<uint8_t> stream;
};

SpareBuffers& ThreadSpareBuffers() {
  thread_local SpareBuffers spare;
  return spare;
}

/// Drops a spare buffer that grew beyond kMaxSpareBytes, so an idle thread keeps little.
void Trim(std::vector<uint8_t>& buffer) {
  if (buffer.capacity() > kMaxSpareBytes) std::vector<uint8_t>().swap(buffer);
}

/// Writes one zlib stream of the filtered rows as IDAT chunks: collected and compressed in one
/// call by libdeflate, or, above kMaxOneShotBytes, streamed through zlib as they come.
class IdatDeflater {
 public:
  IdatDeflater(int level, size_t total, std::vector<PngChunk>& out)
      : level_(level), out_(out), one_shot_(total <= kMaxOneShotBytes) {
    if (one_shot_) {
      rows_.swap(ThreadSpareBuffers().rows);
      rows_.clear();
      rows_.reserve(total);
      return;
    }
    buffer_.resize(kMaxIdatLength);
    if (deflateInit(&zs_, level) != Z_OK) throw OutOfResourcesError("Out of memory while deflating");
    zs_ready_ = true;
    zs_.next_out = buffer_.data();
    zs_.avail_out = static_cast<uInt>(buffer_.size());
  }
  ~IdatDeflater() {
    if (zs_ready_) deflateEnd(&zs_);
    if (!one_shot_) return;
    std::vector<uint8_t>& spare = ThreadSpareBuffers().rows;
    if (rows_.capacity() > spare.capacity()) rows_.swap(spare);
    Trim(spare);
  }
  IdatDeflater(const IdatDeflater&) = delete;
  IdatDeflater& operator=(const IdatDeflater&) = delete;

  void Write(const uint8_t* data, size_t count) {
    if (one_shot_) {
      rows_.insert(rows_.end(), data, data + count);
      return;
    }
    zs_.next_in = const_cast<Bytef*>(data);
    zs_.avail_in = static_cast<uInt>(count);
    while (zs_.avail_in > 0) {
      if (deflate(&zs_, Z_NO_FLUSH) == Z_STREAM_ERROR) throw InvalidImageError("zlib error");
      if (zs_.avail_out == 0) Flush();
    }
  }

  void Finish() {
    if (one_shot_) {
      libdeflate_compressor& compressor = Compressor(level_);
      std::vector<uint8_t>& stream = ThreadSpareBuffers().stream;
      // Every byte the stream takes is written by the compressor; no clearing needed.
      const size_t bound = libdeflate_zlib_compress_bound(&compressor, rows_.size());
      if (stream.size() < bound) stream.resize(bound);
      const size_t size = libdeflate_zlib_compress(&compressor, rows_.data(), rows_.size(),
                                                   stream.data(), bound);
      if (size == 0) throw InvalidImageError("zlib error");
      AppendIdatChunks(stream.data(), size, out_);
      Trim(stream);
      return;
    }
    int ret;
    do {
      ret = deflate(&zs_, Z_FINISH);
      if (ret == Z_STREAM_ERROR) throw InvalidImageError("zlib error");
      if (zs_.avail_out == 0) Flush();
    } while (ret != Z_STREAM_END);
    if (zs_.avail_out < buffer_.size()) Flush();
  }

 private:
  void Flush() {
    AppendIdatChunks(buffer_.data(), buffer_.size() - zs_.avail_out, out_);
    zs_.next_out = buffer_.data();
    zs_.avail_out = static_cast<uInt>(buffer_.size());
  }

  const int level_;
  std::vector<PngChunk>& out_;
  const bool one_shot_;
  std::vector<uint8_t> rows_;
  std::vector<uint8_t> buffer_;
  z_stream zs_{};
  bool zs_ready_ = false;
};

uint8_t PaethPredictor(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

/// Applies filter `type` to `raw` (previous raw row `prior`, zeros for the first row). Sub and
/// Up, the filters a resize job tries on every row, have loops of their own the compiler can
/// vectorise.
void FilterRow(int type, const uint8_t* raw, const uint8_t* prior, size_t length, size_t bpp,
               uint8_t* out) {
  if (type == 1) {
    const size_t head = std::min(bpp, length);
    for (size_t i = 0; i < head; ++i) out[i] = raw[i];
    for (size_t i = head; i < length; ++i) out[i] = static_cast<uint8_t>(raw[i] - raw[i - bpp]);
    return;
  }
  if (type == 2) {
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(raw[i] - prior[i]);
    return;
  }
  for (size_t i = 0; i < length; ++i) {
    const int left = i >= bpp ? raw[i - bpp] : 0;
    const int up = prior[i];
    const int upper_left = i >= bpp ? prior[i - bpp] : 0;
    int predicted = 0;
    switch (type) {
      case 3:
        predicted = (left + up) >> 1;
        break;
      case 4:
        predicted = PaethPredictor(left, up, upper_left);
        break;
      default:
        break;
    }
    out[i] = static_cast<uint8_t>(raw[i] - predicted);
  }
}

/// Positions j >= 2 whose byte equals one of the two bytes before it: the writer's measure of
/// how well a filtered row will compress. Counted without branches, so the loop vectorises.
size_t CountRepeats(const uint8_t* row, size_t length) {
  size_t count = 0;
  for (size_t j = 2; j < length; ++j)
    count += static_cast<size_t>((row[j] == row[j - 1]) | (row[j] == row[j - 2]));
  return count;
}

/// Fills `raw` with row y of the bitmap in PNG sample order.
void RawRow(const DibImage& bitmap, int32_t y, std::vector<uint32_t>& argb, uint8_t* raw,
            size_t length) {
  const uint8_t* src = bitmap.ScanLine(y);
  const int32_t w = bitmap.Width();
  switch (bitmap.PixelFormat()) {
    case DibFormat::k1Bit:
    case DibFormat::k4Bit:
    case DibFormat::k8Bit: {
      std::memcpy(raw, src, length);
      // Bits past the last pixel are padding in the bitmap row; keep them zero in the file.
      const size_t used_bits = static_cast<size_t>(w) * BitsPerPixel(bitmap.PixelFormat());
      if (used_bits % 8 != 0) raw[length - 1] &= static_cast<uint8_t>(0xFF00u >> (used_bits % 8));
      break;
    }
    case DibFormat::k24Bit:
      for (int32_t x = 0; x < w; ++x) {
        raw[3 * x] = src[3 * x + 2];
        raw[3 * x + 1] = src[3 * x + 1];
        raw[3 * x + 2] = src[3 * x];
      }
      break;
    case DibFormat::k32Bit:
      for (int32_t x = 0; x < w; ++x) {
        raw[3 * x] = src[4 * x + 2];
        raw[3 * x + 1] = src[4 * x + 1];
        raw[3 * x + 2] = src[4 * x];
      }
      break;
    case DibFormat::k15Bit:
    case DibFormat::k16Bit:
      bitmap.ToColor32Row(y, argb.data());
      for (int32_t x = 0; x < w; ++x) {
        raw[3 * x] = static_cast<uint8_t>(argb[x] >> 16);
        raw[3 * x + 1] = static_cast<uint8_t>(argb[x] >> 8);
        raw[3 * x + 2] = static_cast<uint8_t>(argb[x]);
      }
      break;
  }
}

}  // namespace

void PngGraphic::Assign(const DibImage& source) {
  std::vector<PngChunk> chunks;
  const int32_t w = source.Width(), h = source.Height();
  if (w > 0 && h > 0) {
    const DibFormat format = source.PixelFormat();
    const bool paletted = IsPaletted(format);
    const int depth = paletted ? BitsPerPixel(format) : 8;

    std::vector<uint8_t> ihdr(13, 0);
    PutBigEndian32(ihdr.data(), static_cast<uint32_t>(w));
    PutBigEndian32(ihdr.data() + 4, static_cast<uint32_t>(h));
    ihdr[8] = static_cast<uint8_t>(depth);
    ihdr[9] = paletted ? 3 : 2;
    chunks.push_back(MakeChunk("IHDR", std::move(ihdr)));

    const uint32_t transparent = source.TransparentColor();
    const uint8_t key[3] = {static_cast<uint8_t>(transparent),
                            static_cast<uint8_t>(transparent >> 8),
                            static_cast<uint8_t>(transparent >> 16)};
    if (paletted) {
      // PLTE must cover every index the pixels use, or the file could not be read back.
      std::vector<PaletteEntry> palette = source.Palette();
      const size_t needed = size_t{LargestIndex(source, depth)} + 1;
      if (palette.size() < needed) palette.resize(needed);
      std::vector<uint8_t> plte;
      std::vector<uint8_t> trns;
      for (size_t i = 0; i < palette.size(); ++i) {
        const PaletteEntry& c = palette[i];
        plte.insert(plte.end(), {c.red, c.green, c.blue});
        if (source.Transparent() && c.red == key[0] && c.green == key[1] && c.blue == key[2]) {
          trns.resize(i + 1, 255);
          trns[i] = 0;
        }
      }
      chunks.push_back(MakeChunk("PLTE", std::move(plte)));
      if (!trns.empty()) chunks.push_back(MakeChunk("tRNS", std::move(trns)));
    } else if (source.Transparent()) {
      chunks.push_back(MakeChunk("tRNS", {0, key[0], 0, key[1], 0, key[2]}));
    }

    const size_t length = paletted ? (static_cast<size_t>(w) * depth + 7) / 8 : size_t{3} * w;
    const size_t bpp = paletted ? 1 : 3;
    std::vector<uint32_t> argb(static_cast<size_t>(w));
    std::vector<uint8_t> raw(length), prior(length, 0);
    std::array<std::vector<uint8_t>, 5> filtered;
    for (auto& f : filtered) f.resize(length + 1);
    IdatDeflater deflater(compression_level_, (length + 1) * static_cast<size_t>(h), chunks);
    for (int32_t y = 0; y < h; ++y) {
      RawRow(source, y, argb, raw.data(), length);
      int best = 0;
      size_t best_count = 0;
      for (int type = 0; type < 5; ++type) {
        if ((filters_ & (1u << type)) == 0) continue;
        filtered[type][0] = static_cast<uint8_t>(type);
        FilterRow(type, raw.data(), prior.data(), length, bpp, filtered[type].data() + 1);
        const size_t count = CountRepeats(filtered[type].data() + 1, length);
        if (count > best_count) {
          best = type;
          best_count = count;
        }
      }
      if (best_count == 0) {
        filtered[0][0] = 0;
        std::memcpy(filtered[0].data() + 1, raw.data(), length);
        best = 0;
      }
      deflater.Write(filtered[best].data(), length + 1);
      std::swap(raw, prior);
    }
    deflater.Finish();
    chunks.push_back(MakeChunk("IEND", {}));
  }
  chunks_ = std::move(chunks);
  idat_lengths_.clear();
  width_ = chunks_.empty() ? 0 : w;
  height_ = chunks_.empty() ? 0 : h;
  pixels_.clear();
  transparency_ = PngTransparency::kNone;
  decoded_ = false;
}

void PngGraphic::SaveToStream(ByteStream& stream) {
  if (chunks_.empty()) return;
  stream.WriteBuffer(kSignature, sizeof kSignature);
  auto write = [&stream](const PngChunk& chunk, const uint8_t* data, size_t size) {
    uint8_t head[8];
    PutBigEndian32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, chunk.name.data(), 4);
    uLong crc = crc32(0, head + 4, 4);
    // crc32 treats a null buffer as a request for its initial value, so skip empty data.
    if (size != 0) crc = crc32_z(crc, data, size);
    uint8_t tail[4];
    PutBigEndian32(tail, static_cast<uint32_t>(crc));
    stream.WriteBuffer(head, sizeof head);
    stream.WriteBuffer(data, size);
    stream.WriteBuffer(tail, sizeof tail);
  };
  for (const PngChunk& chunk : chunks_) {
    if (!chunk.Is("IDAT") || idat_lengths_.empty()) {
      write(chunk, chunk.data.data(), chunk.data.size());
      continue;
    }
    // A loaded file's image data go out in its own IDAT chunks again.
    size_t pos = 0;
    for (const uint32_t length : idat_lengths_) {
      write(chunk, chunk.data.data() + pos, length);
      pos += length;
    }
  }
}

void EncodePng(const DibImage& bitmap, const PngOptions& options, ByteStream& out) {
  PngGraphic png;
  png.SetFilters(options.filters);
  png.SetCompressionLevel(options.compression_level);
  png.Assign(bitmap);
  png.SaveToStream(out);
}

}  // namespace tessane
