#include "formats/jpeg/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "base/cancel.h"
#include "base/limits.h"

namespace tessane::jpeg {

namespace {

// A progressive file may hold any number of scans; real ones have a few dozen at most. The cap
// keeps a hostile file from keeping the decoder busy for minutes.
constexpr int kMaxScans = 1000;

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  Diagnostics* diagnostics;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (err->diagnostics) (*cinfo->err->format_message)(cinfo, err->diagnostics->error);
  std::longjmp(err->jump, 1);
}

// Nothing is printed; warnings (corrupt data that the library works around) are counted and the
// first one kept for the caller, trace messages dropped.
void OutputMessage(j_common_ptr) {}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (Diagnostics* d = err->diagnostics) {
    if (d->warnings == 0) (*cinfo->err->format_message)(cinfo, d->warning);
    ++d->warnings;
  }
  ++cinfo->err->num_warnings;
}

void ProgressMonitor(j_common_ptr cinfo) {
  // A stop of the work ends the decoding here; the caller tells it from a damaged file.
  if (Cancelled()) ERREXIT(cinfo, JERR_UNKNOWN_MARKER);
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    ERREXIT(cinfo, JERR_BAD_PROGRESSION);
}

void InitErrors(ErrorManager& err, Diagnostics* diagnostics) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = OutputMessage;
  err.pub.emit_message = EmitMessage;
  err.diagnostics = diagnostics;
}

// Everything a decoding run needs lives here, in the caller's frame, so nothing the setjmp
// function modifies is one of its own locals.
struct DecodeState {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  jpeg_progress_mgr progress;
  const uint8_t* data;
  size_t size;
};

int RunReadHeader(DecodeState* s, HeaderInfo* info) {
  if (setjmp(s->err.jump)) {
    const int code = s->err.pub.msg_code;
    jpeg_destroy_decompress(&s->cinfo);
    return code != 0 ? code : JERR_UNKNOWN_MARKER;
  }
  jpeg_create_decompress(&s->cinfo);
  jpeg_mem_src(&s->cinfo, s->data, static_cast<unsigned long>(s->size));
  jpeg_read_header(&s->cinfo, TRUE);
  if (!PictureSizeAllowed(s->cinfo.image_width, s->cinfo.image_height))
    ERREXIT1(&s->cinfo, JERR_IMAGE_TOO_BIG, static_cast<unsigned>(kMaxPictureSide));
  info->width = static_cast<int>(s->cinfo.image_width);
  info->height = static_cast<int>(s->cinfo.image_height);
  info->components = s->cinfo.num_components;
  info->grayscale = s->cinfo.jpeg_color_space == JCS_GRAYSCALE;
  info->progressive = s->cinfo.progressive_mode != 0;
  jpeg_destroy_decompress(&s->cinfo);
  return 0;
}

// The common set-up of both decoding runs, up to the choice of output colour space.
void PrepareDecode(DecodeState* s, int scaleDenom) {
  j_decompress_ptr cinfo = &s->cinfo;
  jpeg_create_decompress(cinfo);
  s->progress.progress_monitor = ProgressMonitor;
  cinfo->progress = &s->progress;
  jpeg_mem_src(cinfo, s->data, static_cast<unsigned long>(s->size));
  jpeg_read_header(cinfo, TRUE);
  if (!PictureSizeAllowed(cinfo->image_width, cinfo->image_height))
    ERREXIT1(cinfo, JERR_IMAGE_TOO_BIG, static_cast<unsigned>(kMaxPictureSide));
  cinfo->scale_num = 1;
  cinfo->scale_denom = static_cast<unsigned>(scaleDenom);
  cinfo->dct_method = JDCT_FLOAT;
  cinfo->do_fancy_upsampling = TRUE;
  cinfo->do_block_smoothing = TRUE;
}

uint8_t Mul255(unsigned a, unsigned b) {
  return static_cast<uint8_t>((a * b + 127) / 255);
}

int RunDecode(DecodeState* s, int scaleDenom, const DecodeSink* sink) {
  if (setjmp(s->err.jump)) {
    const int code = s->err.pub.msg_code;
    jpeg_destroy_decompress(&s->cinfo);
    return code != 0 ? code : JERR_UNKNOWN_MARKER;
  }
  PrepareDecode(s, scaleDenom);
  j_decompress_ptr cinfo = &s->cinfo;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      break;
    default:
      cinfo->out_color_space = JCS_RGB;
      break;
  }
  jpeg_start_decompress(cinfo);
  const int width = static_cast<int>(cinfo->output_width);
  const int height = static_cast<int>(cinfo->output_height);
  if (!sink->begin(sink->context, width, height)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  const int channels = cinfo->output_components;
  JSAMPARRAY line = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(width * channels), 1);
  JSAMPARRAY rgb = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               static_cast<JDIMENSION>(width * 3), 1);
  // Adobe writes CMYK inverted (0 = full ink); files without its marker store plain values.
  const bool inverted = cinfo->saw_Adobe_marker != 0;
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = static_cast<int>(cinfo->output_scanline);
    if (jpeg_read_scanlines(cinfo, line, 1) != 1) break;
    const JSAMPLE* in = line[0];
    JSAMPLE* out = rgb[0];
    if (cinfo->out_color_space == JCS_RGB) {
      std::memcpy(out, in, static_cast<size_t>(width) * 3);
    } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
      for (int x = 0; x < width; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
    } else if (sink->cmyk_row != nullptr) {
      JSAMPLE* ink = line[0];
      if (inverted)
        for (int x = 0; x < 4 * width; ++x) ink[x] = static_cast<JSAMPLE>(255 - ink[x]);
      sink->cmyk_row(sink->context, y, ink);
      continue;
    } else {
      for (int x = 0; x < width; ++x) {
        unsigned c = in[4 * x], m = in[4 * x + 1], ye = in[4 * x + 2], k = in[4 * x + 3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          ye = 255 - ye;
          k = 255 - k;
        }
        out[3 * x] = Mul255(c, k);
        out[3 * x + 1] = Mul255(m, k);
        out[3 * x + 2] = Mul255(ye, k);
      }
    }
    sink->row(sink->context, y, out);
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return 0;
}

// Colour spaces whose conversion to extended BGRA gives the same red, green and blue as the
// conversion to RGB (grey is replicated into all three).
bool HasDirectPath(const jpeg_decompress_struct& cinfo) {
  switch (cinfo.jpeg_color_space) {
    case JCS_YCbCr:
    case JCS_RGB:
      return cinfo.num_components == 3;
    case JCS_GRAYSCALE:
      return cinfo.num_components == 1;
    default:
      return false;
  }
}

int RunDecodeBgra(DecodeState* s, int scaleDenom, const BgraSink* sink) {
  if (setjmp(s->err.jump)) {
    const int code = s->err.pub.msg_code;
    jpeg_destroy_decompress(&s->cinfo);
    return code != 0 ? code : JERR_UNKNOWN_MARKER;
  }
  PrepareDecode(s, scaleDenom);
  j_decompress_ptr cinfo = &s->cinfo;
  if (!HasDirectPath(*cinfo)) {
    jpeg_destroy_decompress(cinfo);
    return kNoDirectPath;
  }
  cinfo->out_color_space = JCS_EXT_BGRA;  // the fourth byte comes out as 255
  jpeg_start_decompress(cinfo);
  const int width = static_cast<int>(cinfo->output_width);
  const int height = static_cast<int>(cinfo->output_height);
  ptrdiff_t stride = 0;
  uint8_t* base = sink->begin(sink->context, width, height, &stride);
  if (base == nullptr || stride < ptrdiff_t{width} * 4) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  // Several rows per call: the library hands out up to a row group at once.
  constexpr int kBatch = 16;
  JSAMPROW rows[kBatch];
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = static_cast<int>(cinfo->output_scanline);
    const int n = std::min(kBatch, height - y);
    for (int i = 0; i < n; ++i) rows[i] = base + (y + i) * stride;
    if (jpeg_read_scanlines(cinfo, rows, static_cast<JDIMENSION>(n)) == 0) break;
  }
  // Rows the library did not deliver stay black rather than whatever the buffer held.
  for (int y = static_cast<int>(cinfo->output_scanline); y < height; ++y)
    std::memset(base + y * stride, 0, static_cast<size_t>(width) * 4);
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return 0;
}

// Destination that grows a malloc'ed buffer owned by the caller's EncodedBuffer.
struct GrowingDestination {
  jpeg_destination_mgr pub;
  EncodedBuffer* out;
};

constexpr size_t kInitialOutput = 64 * 1024;

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
  EncodedBuffer* out = dest->out;
  if (out->data == nullptr) {
    out->data = static_cast<unsigned char*>(std::malloc(kInitialOutput));
    if (out->data == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    out->capacity = kInitialOutput;
  }
  dest->pub.next_output_byte = out->data;
  dest->pub.free_in_buffer = out->capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
  EncodedBuffer* out = dest->out;
  const size_t grown = out->capacity * 2;
  auto* bigger = static_cast<unsigned char*>(std::realloc(out->data, grown));
  if (bigger == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  dest->pub.next_output_byte = bigger + out->capacity;
  dest->pub.free_in_buffer = grown - out->capacity;
  out->data = bigger;
  out->capacity = grown;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
  dest->out->size = dest->out->capacity - dest->pub.free_in_buffer;
}

struct EncodeState {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  GrowingDestination dest;
};

int RunEncode(EncodeState* s, const EncodeSource* source, int quality) {
  if (setjmp(s->err.jump)) {
    const int code = s->err.pub.msg_code;
    jpeg_destroy_compress(&s->cinfo);
    return code != 0 ? code : JERR_OUT_OF_MEMORY;
  }
  jpeg_create_compress(&s->cinfo);
  j_compress_ptr cinfo = &s->cinfo;
  s->dest.pub.init_destination = InitDestination;
  s->dest.pub.empty_output_buffer = EmptyOutputBuffer;
  s->dest.pub.term_destination = TermDestination;
  cinfo->dest = &s->dest.pub;
  cinfo->image_width = static_cast<JDIMENSION>(source->width);
  cinfo->image_height = static_cast<JDIMENSION>(source->height);
  // 32-bit rows go to the library as they are; its conversion from BGRX to YCbCr gives the
  // same values as from RGB.
  const bool direct = source->row32 != nullptr;
  cinfo->input_components = direct ? 4 : 3;
  cinfo->in_color_space = direct ? JCS_EXT_BGRX : JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  jpeg_start_compress(cinfo, TRUE);
  if (direct) {
    while (cinfo->next_scanline < cinfo->image_height) {
      // The library only reads the rows it is given.
      JSAMPROW row = const_cast<JSAMPROW>(
          source->row32(source->context, static_cast<int>(cinfo->next_scanline)));
      jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return 0;
  }
  JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               static_cast<JDIMENSION>(source->width * 3), 1);
  while (cinfo->next_scanline < cinfo->image_height) {
    source->row(source->context, static_cast<int>(cinfo->next_scanline), row[0]);
    jpeg_write_scanlines(cinfo, row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return 0;
}

}  // namespace

EncodedBuffer::~EncodedBuffer() {
  std::free(data);
}

int ReadHeader(const uint8_t* data, size_t size, HeaderInfo* info,
               Diagnostics* diagnostics) noexcept {
  DecodeState state{};
  InitErrors(state.err, diagnostics);
  state.cinfo.err = &state.err.pub;
  state.data = data;
  state.size = size;
  return RunReadHeader(&state, info);
}

int DecodeBgra(const uint8_t* data, size_t size, int scaleDenom, const BgraSink& sink,
               Diagnostics* diagnostics) noexcept {
  DecodeState state{};
  InitErrors(state.err, diagnostics);
  state.cinfo.err = &state.err.pub;
  state.data = data;
  state.size = size;
  return RunDecodeBgra(&state, scaleDenom, &sink);
}

int Decode(const uint8_t* data, size_t size, int scaleDenom, const DecodeSink& sink,
           Diagnostics* diagnostics) noexcept {
  DecodeState state{};
  InitErrors(state.err, diagnostics);
  state.cinfo.err = &state.err.pub;
  state.data = data;
  state.size = size;
  return RunDecode(&state, scaleDenom, &sink);
}

int Encode(const EncodeSource& source, int quality, EncodedBuffer& out,
           Diagnostics* diagnostics) noexcept {
  EncodeState state{};
  InitErrors(state.err, diagnostics);
  state.cinfo.err = &state.err.pub;
  state.dest.out = &out;
  out.size = 0;
  return RunEncode(&state, &source, quality);
}

}  // namespace tessane::jpeg
