#pragma once
// The one place that talks to libjpeg. Its errors arrive by longjmp, so everything here is plain
// C-style code: no object with a destructor lives between setjmp and a library call, and the
// callbacks into our code must not throw. Failures come back as libjpeg's message codes.

#include <cstddef>
#include <cstdint>

namespace tessane::jpeg {

/// libjpeg's own texts beside its message codes, for the calls that are given a place for them.
struct Diagnostics {
  char error[200] = {};    // the error whose code a call returned, as the library words it
  char warning[200] = {};  // the first warning (damaged data the library worked around)
  int warnings = 0;        // how many warnings there were
};

/// What the header of a JPEG stream says.
struct HeaderInfo {
  int width = 0;
  int height = 0;
  int components = 0;
  bool grayscale = false;
  bool progressive = false;
};

/// Reads the header only. Returns 0 on success, otherwise libjpeg's message code (a picture
/// beyond the size limits gives the code of "Maximum supported image dimension").
int ReadHeader(const uint8_t* data, size_t size, HeaderInfo* info,
               Diagnostics* diagnostics = nullptr) noexcept;

/// Receives decoded pixels.
struct DecodeSink {
  void* context = nullptr;
  /// Called once with the output size before any row; false refuses the picture.
  bool (*begin)(void* context, int width, int height) noexcept = nullptr;
  /// Called for every row, top to bottom, with width x 3 bytes of red, green and blue.
  void (*row)(void* context, int y, const uint8_t* rgb) noexcept = nullptr;
  /// When set, CMYK and YCCK pictures come through this instead of row: width x 4 bytes of
  /// cyan, magenta, yellow and black ink, 0 = no ink (Adobe's inverted storage undone), for a
  /// colour transform by the picture's profile.
  void (*cmyk_row)(void* context, int y, const uint8_t* cmyk) noexcept = nullptr;
};

/// Decodes at 1/scaleDenom of the stored size (1, 2, 4 or 8) with the floating-point inverse
/// DCT, fancy upsampling and block smoothing; grey, CMYK and YCCK pictures arrive as RGB. Returns
/// 0 or libjpeg's message code.
int Decode(const uint8_t* data, size_t size, int scaleDenom, const DecodeSink& sink,
           Diagnostics* diagnostics = nullptr) noexcept;

/// Receives decoded pixels in the 32-bit layout (in memory blue, green, red, 255).
struct BgraSink {
  void* context = nullptr;
  /// Called once with the output size before any row; returns the address of row 0 and sets
  /// `stride` to the bytes from one row to the next (at least width x 4), or returns null to
  /// refuse the picture.
  uint8_t* (*begin)(void* context, int width, int height, ptrdiff_t* stride) noexcept = nullptr;
};

/// Result of DecodeBgra for a picture whose colour space has no direct 32-bit path (CMYK, YCCK
/// and unusual component counts): nothing was written, Decode handles it.
constexpr int kNoDirectPath = -1;

/// Decodes like Decode, but lets the library write the rows straight into the sink's buffer in
/// the 32-bit layout, with the same red, green and blue values. Returns 0, kNoDirectPath or
/// libjpeg's message code (rows written before an error stay as written).
int DecodeBgra(const uint8_t* data, size_t size, int scaleDenom, const BgraSink& sink,
               Diagnostics* diagnostics = nullptr) noexcept;

/// Provides the rows to encode.
struct EncodeSource {
  void* context = nullptr;
  int width = 0;
  int height = 0;
  /// Fills width x 3 bytes of red, green and blue for row y (top row first).
  void (*row)(void* context, int y, uint8_t* rgb) noexcept = nullptr;
  /// Alternative to row: the address of row y in the 32-bit layout (blue, green, red and an
  /// unused byte per pixel), handed to the library as it is.
  const uint8_t* (*row32)(void* context, int y) noexcept = nullptr;
};

/// The encoded bytes; Data is malloc'ed and released by the destructor.
struct EncodedBuffer {
  EncodedBuffer() = default;
  ~EncodedBuffer();
  EncodedBuffer(const EncodedBuffer&) = delete;
  EncodedBuffer& operator=(const EncodedBuffer&) = delete;
  unsigned char* data = nullptr;
  size_t capacity = 0;
  size_t size = 0;
};

/// Encodes a baseline JFIF file: library defaults, the given quality with baseline tables
/// forced, floating-point forward DCT. Returns 0 or libjpeg's message code; `out` then holds the
/// file.
int Encode(const EncodeSource& source, int quality, EncodedBuffer& out,
           Diagnostics* diagnostics = nullptr) noexcept;

}  // namespace tessane::jpeg
