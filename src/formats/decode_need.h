#pragma once
// What loading a picture will take, read from its header before any pixel is allocated: each
// format's estimate of its own peak (the file's bytes it holds, the library's buffers, the
// graphic's pixels), so that a job can weigh a picture against its memory budget first.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/stream.h"

namespace tessane {

struct DecodeNeed {
  int64_t width = 0;  // the picture as the graphic will hold it
  int64_t height = 0;
  /// Peak bytes of loading the picture and decoding it whole: `fixed` plus `per_pixel` bytes
  /// for each pixel the graphic holds (fewer for a JPEG decoded at a reduced scale).
  int64_t fixed = 0;
  double per_pixel = 0;
  /// Peak of loading the picture and handing out its rows instead (Graphic::OpenRows), the
  /// band of rows excluded; 0 when the format cannot.
  int64_t rows = 0;
  bool dct_scaled = false;  // decoded at the JPEG scale the job picks
  /// The graphic's 32-bit pixels (counted in per_pixel) become the picture the job scales,
  /// without a copy (Graphic::ConvertTo).
  bool hands_over_pixels = false;

  /// `fixed` plus the pixels at a decoding scale of 1/denominator.
  int64_t WholeAt(int denominator = 1) const;
};

/// Reads a format's header from the stream's start; nothing when the header is not one the
/// format's reader would accept (the reader then tells why). `file_size` is the stream's size.
using DecodeNeedProbe = std::optional<DecodeNeed> (*)(ByteStream& stream, int64_t file_size);

/// The per-format probes (each beside its reader).
std::optional<DecodeNeed> PngDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> GifDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> JpegDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> BmpDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> TiffDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> WebpDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> JxlDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> HeifDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> TgaDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> PcxDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> SgiDecodeNeed(ByteStream& stream, int64_t file_size);
std::optional<DecodeNeed> PsdDecodeNeed(ByteStream& stream, int64_t file_size);

/// Reads up to `count` bytes from the stream's position (fewer at its end).
std::vector<uint8_t> ReadHead(ByteStream& stream, size_t count);

}  // namespace tessane
