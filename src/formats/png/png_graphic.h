#pragma once
// PngGraphic: our own reader and writer of PNG files. Loading reads the whole chunk sequence and
// decodes every colour type and bit depth into 8-bit ARGB pixels; giving it a bitmap builds the
// chunk list that saving writes.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "formats/graphic.h"
#include "pixels/row_source.h"

namespace tessane {

/// One PNG chunk: its four-letter name and data. Length and CRC are made when it is written.
struct PngChunk {
  std::array<char, 4> name{};
  std::vector<uint8_t> data;

  bool Is(const char* tag) const {
    return name[0] == tag[0] && name[1] == tag[1] && name[2] == tag[2] && name[3] == tag[3];
  }
};

/// How a decoded PNG picture covers what it is drawn over.
enum class PngTransparency {
  kNone,    // opaque: pixels are copied
  kBit,     // one transparent colour (tRNS colour, or palette alpha of only 0 and 255)
  kPartial, // alpha channel or palette alpha: every pixel is blended by its alpha
};

class PngGraphic : public Graphic {
 public:
  /// Row filters for SetFilters. The writer picks one per row from the set (see SaveToStream).
  static constexpr uint8_t kPngFilterNone = 0x01;
  static constexpr uint8_t kPngFilterSub = 0x02;
  static constexpr uint8_t kPngFilterUp = 0x04;
  static constexpr uint8_t kPngFilterAverage = 0x08;
  static constexpr uint8_t kPngFilterPaeth = 0x10;

  PngGraphic() = default;

  /// Reads the chunk sequence from the stream's position to its end and decodes it. Every
  /// failure throws InvalidImageError with the PNG messages and leaves this object unchanged.
  /// With SetDecodeLater(true) the chunks and header are checked but the image data are left
  /// for Decode, OpenRows or the first use of the pixels, which throw what decoding meets.
  void LoadFromStream(ByteStream& stream) override;
  void SetDecodeLater(bool later) override { decode_later_ = later; }
  void DecodeNow() override { EnsureDecoded(); }
  /// The rows of a large picture that is not interlaced and not decoded yet, inflated as they
  /// are read and made opaque as ConvertTo makes the whole picture (the graphic must outlive
  /// them); null for any other. Smaller pictures decode faster whole, in one libdeflate call.
  std::unique_ptr<RowSource> OpenRows() override;

  /// Builds the chunk list from the bitmap, with the filter set and compression level in force:
  /// IHDR; PLTE for 1, 4 and 8-bit bitmaps (colour type 3 at that depth), colour type 2 at 8 bits
  /// for every other format (a fourth byte is dropped); tRNS when the bitmap is marked
  /// transparent; the IDAT chunks; IEND. An empty bitmap gives an empty chunk list.
  void Assign(const DibImage& source);
  /// Writes the signature and the chunk list; an empty chunk list writes nothing.
  void SaveToStream(ByteStream& stream) override;

  /// Row filters the writer may choose from (a mask of pf* values, default kPngFilterSub). Per row it
  /// counts, for each filter of the set, the positions whose byte equals one of the two bytes
  /// before it; the highest count wins, ties keep the earlier filter, and a row where no filter
  /// counts anything is written with filter 0.
  void SetFilters(uint8_t mask) { filters_ = mask; }
  uint8_t Filters() const { return filters_; }
  /// zlib compression level, 0 to 9 (default 7); values outside are clamped. The rows are
  /// deflated in one call by libdeflate at this level, at most its level 6; only pictures with
  /// more than 48 MiB of rows stream through zlib at the level itself.
  void SetCompressionLevel(int level);
  int CompressionLevel() const { return compression_level_; }

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  /// No transparency: copies the pixels (alpha 255). One transparent colour: those pixels leave
  /// the destination unchanged. Partial: each channel becomes (s*a + (255-a)*d + 255) >> 8.
  void Draw(const ArgbView& target, const Rect& rect) override;
  /// An opaque picture hands its decoded pixels over to the image (TakePixels), alpha made 255;
  /// any other is drawn (DrawToArgb).
  void ConvertTo(ArgbImage& image) override;
  /// A picture with transparency: its decoded pixels, alpha included. False for an opaque one.
  bool ConvertKeepingAlpha(ArgbImage& image) override;

  /// The chunks that were loaded (IHDR, PLTE, tRNS, IDAT, IEND; the image data of every IDAT
  /// chunk of the file joined in the first) or built by Assign.
  const std::vector<PngChunk>& Chunks() const { return chunks_; }
  /// Kind of transparency of the decoded picture.
  PngTransparency Transparency();
  /// Decoded pixels as $AARRGGBB, rows top-down without gaps (decodes the chunks when needed).
  const std::vector<uint32_t>& Pixels();
  /// Hands the decoded pixels over (decoding first when needed) and forgets them, for a picture
  /// converted once; a later use decodes the chunks again.
  std::vector<uint32_t> TakePixels();

 private:
  void EnsureDecoded();

  std::vector<PngChunk> chunks_;
  // A loaded file's IDAT chunk lengths: chunks_ holds its image data in one IDAT chunk, which
  // saving cuts back into these.
  std::vector<uint32_t> idat_lengths_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint8_t filters_ = kPngFilterSub;
  int compression_level_ = 7;
  bool decoded_ = false;
  bool decode_later_ = false;
  std::vector<uint32_t> pixels_;
  PngTransparency transparency_ = PngTransparency::kNone;
};

/// The result of decoding a PNG chunk list.
struct PngDecoded {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // $AARRGGBB
  PngTransparency transparency = PngTransparency::kNone;
};

/// What a chunk list declares, checked as DecodePngChunks checks it before inflating.
struct PngLayout {
  int32_t width = 0;
  int32_t height = 0;
  bool interlaced = false;
  PngTransparency transparency = PngTransparency::kNone;
};
/// Throws, before anything is inflated, every error DecodePngChunks would throw then.
PngLayout CheckPngChunks(const std::vector<PngChunk>& chunks);
/// The rows of a picture that is not interlaced, inflated as they are read, with the pixels
/// ($AARRGGBB) of DecodePngChunks; null for an interlaced one. `chunks` must outlive it. Damaged
/// data throw, though not always DecodePngChunks's message: a block of rows is inflated at once.
std::unique_ptr<RowSource> OpenPngRows(const std::vector<PngChunk>& chunks);

/// Decodes a chunk list whose structure is already checked (IHDR first, at least one IDAT).
/// Throws InvalidImageError for header values, palettes or image data that cannot be decoded.
PngDecoded DecodePngChunks(const std::vector<PngChunk>& chunks);

/// Hands a decoded pixel buffer that is no longer needed back to the decoder: the next picture
/// decoded on this thread may reuse its memory instead of faulting in a fresh one. Buffers above
/// 16 M pixels are freed.
void RecyclePngPixels(std::vector<uint32_t>&& pixels);
/// An empty buffer with room for `count` pixels when this thread's recycled one has it (else an
/// empty one): lets other decoders of whole 32-bit pictures skip faulting in fresh memory too.
std::vector<uint32_t> TakeRecycledPixels(size_t count);

}  // namespace tessane
