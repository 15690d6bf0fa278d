#include "formats/jpeg2000/jpeg2000_graphic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/byte_order.h"
#include "base/limits.h"
#include "formats/jpeg2000/jpeg2000_io.h"

namespace tessane {

namespace {

const uint8_t kJp2Signature[8] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
const uint8_t kCodestreamSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};

[[noreturn]] void DecodingFailed() {
  throw Jpeg2000Error("JPEG 2000 image decoding failed");
}
[[noreturn]] void EncodingFailed() {
  throw Jpeg2000Error("JPEG 2000 image encoding failed");
}

// One component's samples as unsigned values of its precision, looked up by image position.
struct ComponentReader {
  const opj_image_comp_t* comp;
  int64_t offset;  // added to stored samples: makes signed samples unsigned
  int64_t max;     // largest value of the precision
  std::vector<uint32_t> columns;

  ComponentReader(const opj_image_t& image, const opj_image_comp_t& c, int32_t width)
      : comp(&c), offset(c.sgnd ? int64_t{1} << (c.prec - 1) : 0), max((int64_t{1} << c.prec) - 1) {
    columns.resize(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) columns[x] = Index(image.x0 + x, c.dx, c.x0, c.w);
  }
  // Subsampled components are enlarged by repeating their samples.
  static uint32_t Index(int64_t position, uint32_t step, uint32_t origin, uint32_t count) {
    const int64_t i = position / step - origin;
    return static_cast<uint32_t>(std::clamp<int64_t>(i, 0, int64_t{count} - 1));
  }
  const int32_t* Row(const opj_image_t& image, int32_t y) const {
    const uint32_t row = Index(image.y0 + y, comp->dy, comp->y0, comp->h);
    return comp->data + static_cast<size_t>(row) * comp->w;
  }
  int64_t Value(const int32_t* row, int32_t x) const {
    return std::clamp<int64_t>(row[columns[x]] + offset, 0, max);
  }
  static uint8_t To8(int64_t v, int64_t max) {
    return max == 255 ? static_cast<uint8_t>(v) : static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
};

bool LooksLikeYcc(const opj_image_t& image) {
  if (image.numcomps < 3) return false;
  if (image.color_space == OPJ_CLRSPC_SYCC) return true;
  // A codestream without colour information whose chroma is subsampled is YCbCr; RGB never is.
  if (image.color_space != OPJ_CLRSPC_UNKNOWN && image.color_space != OPJ_CLRSPC_UNSPECIFIED)
    return false;
  for (int c = 1; c < 3; ++c)
    if (image.comps[c].dx > 1 || image.comps[c].dy > 1) return true;
  return false;
}

DibImage Render(const opj_image_t& image) {
  const int32_t width = static_cast<int32_t>(image.x1 - image.x0);
  const int32_t height = static_cast<int32_t>(image.y1 - image.y0);
  const int used =
      image.numcomps == 3 || image.numcomps == 4 ? static_cast<int>(image.numcomps) : 1;
  std::vector<ComponentReader> readers;
  for (int c = 0; c < used; ++c) readers.emplace_back(image, image.comps[c], width);

  DibImage out;
  out.SetPixelFormat(used == 4   ? DibFormat::k32Bit
                     : used == 3 ? DibFormat::k24Bit
                                 : DibFormat::k8Bit);
  out.SetSize(width, height);
  if (used == 1) {
    std::vector<PaletteEntry> grey(256);
    for (int i = 0; i < 256; ++i)
      grey[i] =
          PaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
    out.SetPalette(std::move(grey));
  }
  const bool ycc = used >= 3 && LooksLikeYcc(image);
  const int64_t max0 = readers[0].max;
  const int64_t half = int64_t{1} << (image.comps[0].prec - 1);
  std::vector<const int32_t*> rows(used);
  for (int32_t y = 0; y < height; ++y) {
    for (int c = 0; c < used; ++c) rows[c] = readers[c].Row(image, y);
    uint8_t* dst = out.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      if (used == 1) {
        dst[x] = ComponentReader::To8(readers[0].Value(rows[0], x), max0);
        continue;
      }
      int64_t r = readers[0].Value(rows[0], x);
      int64_t g = readers[1].Value(rows[1], x);
      int64_t b = readers[2].Value(rows[2], x);
      int64_t maxG = readers[1].max, maxB = readers[2].max;
      if (ycc) {
        const int64_t luma = r, cb = g - half, cr = b - half;
        const float fcb = static_cast<float>(cb), fcr = static_cast<float>(cr);
        r = std::clamp<int64_t>(luma + static_cast<int64_t>(1.402 * fcr), 0, max0);
        g = std::clamp<int64_t>(luma - static_cast<int64_t>(0.344 * fcb + 0.714 * fcr), 0, max0);
        b = std::clamp<int64_t>(luma + static_cast<int64_t>(1.772 * fcb), 0, max0);
        maxG = maxB = max0;
      }
      uint8_t* px = dst + x * (used == 4 ? 4 : 3);
      px[0] = ComponentReader::To8(b, maxB);
      px[1] = ComponentReader::To8(g, maxG);
      px[2] = ComponentReader::To8(r, max0);
      if (used == 4) px[3] = ComponentReader::To8(readers[3].Value(rows[3], x), readers[3].max);
    }
  }
  return out;
}

// Refuses what would make the decoder allocate beyond the picture limits.
bool HeaderAcceptable(const opj_image_t& image) {
  if (image.numcomps == 0 || image.comps == nullptr) return false;
  if (image.x1 <= image.x0 || image.y1 <= image.y0) return false;
  const int64_t width = int64_t{image.x1} - image.x0, height = int64_t{image.y1} - image.y0;
  if (!PictureSizeAllowed(width, height)) return false;
  int64_t samples = 0;
  for (uint32_t c = 0; c < image.numcomps; ++c) {
    const opj_image_comp_t& comp = image.comps[c];
    if (comp.dx == 0 || comp.dy == 0 || comp.prec == 0 || comp.prec > 31) return false;
    samples += ((width + comp.dx - 1) / comp.dx) * ((height + comp.dy - 1) / comp.dy);
    if (samples > kMaxPicturePixels) return false;
  }
  return true;
}

bool DecodedUsable(const opj_image_t& image) {
  if (!HeaderAcceptable(image)) return false;
  const uint32_t used = image.numcomps == 3 || image.numcomps == 4 ? image.numcomps : 1;
  for (uint32_t c = 0; c < used; ++c) {
    const opj_image_comp_t& comp = image.comps[c];
    if (comp.data == nullptr || comp.w == 0 || comp.h == 0) return false;
  }
  return true;
}

// The decoder keeps per-tile coding settings for every component before it looks at any data:
// a small file declaring one-pixel tiles and hundreds of components would take gigabytes. Such
// headers are refused here, before the library parses them. Whatever cannot be located is left
// to the library's own checks.
constexpr uint64_t kMaxTileComponents = uint64_t{1} << 18;

bool TilingAcceptable(const uint8_t* data, size_t size, OPJ_CODEC_FORMAT format) {
  size_t at = 0;
  if (format == OPJ_CODEC_JP2) {
    // Find the contiguous codestream box.
    bool found = false;
    while (at + 8 <= size) {
      uint64_t length = LoadBe32(data + at);
      size_t header = 8;
      if (length == 1) {
        if (at + 16 > size) return true;
        length = (uint64_t{LoadBe32(data + at + 8)} << 32) | LoadBe32(data + at + 12);
        header = 16;
      } else if (length == 0) {
        length = size - at;
      }
      if (std::memcmp(data + at + 4, "jp2c", 4) == 0) {
        at += header;
        found = true;
        break;
      }
      if (length < header || length > size - at) return true;
      at += static_cast<size_t>(length);
    }
    if (!found) return true;
  }
  // SOC, then SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz.
  if (size < at + 42 || data[at] != 0xFF || data[at + 1] != 0x4F || data[at + 2] != 0xFF ||
      data[at + 3] != 0x51)
    return true;
  const uint8_t* siz = data + at + 4;
  const uint64_t width = LoadBe32(siz + 4), height = LoadBe32(siz + 8);
  const uint64_t tileWidth = LoadBe32(siz + 20), tileHeight = LoadBe32(siz + 24);
  const uint64_t tileX = LoadBe32(siz + 28), tileY = LoadBe32(siz + 32);
  const uint64_t components = LoadBe16(siz + 36);
  if (tileWidth == 0 || tileHeight == 0 || width <= tileX || height <= tileY) return true;
  const uint64_t across = (width - tileX + tileWidth - 1) / tileWidth;
  const uint64_t down = (height - tileY + tileHeight - 1) / tileHeight;
  if (across > kMaxTileComponents || down > kMaxTileComponents) return false;
  return across * down * std::max<uint64_t>(components, 1) <= kMaxTileComponents;
}

DibImage Decode(const uint8_t* data, size_t size, OPJ_CODEC_FORMAT format) {
  if (!TilingAcceptable(data, size, format)) DecodingFailed();
  j2k::MemoryInput input{data, size, 0};
  j2k::Stream stream = j2k::MakeInputStream(input);
  j2k::Codec codec(opj_create_decompress(format));
  if (!stream || !codec) DecodingFailed();
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  if (!opj_setup_decoder(codec.get(), &parameters)) DecodingFailed();
  opj_image_t* raw = nullptr;
  const bool headerRead = opj_read_header(stream.get(), codec.get(), &raw);
  j2k::Image image(raw);
  if (!headerRead || !image || !HeaderAcceptable(*image)) DecodingFailed();
  if (!opj_decode(codec.get(), stream.get(), image.get()) ||
      !opj_end_decompress(codec.get(), stream.get()))
    DecodingFailed();
  if (!DecodedUsable(*image)) DecodingFailed();
  return Render(*image);
}

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v >> 16);
  PutU16(out, v & 0xFFFF);
}

void PutType(std::vector<uint8_t>& out, const char* type) {
  out.insert(out.end(), type, type + 4);
}

// The JP2 boxes around a codestream of `components` 8-bit unsigned components, sRGB or as the
// ICC profile `icc` says.
std::vector<uint8_t> Jp2Header(int32_t width, int32_t height, int components,
                               size_t codestreamSize, const std::vector<uint8_t>& icc) {
  std::vector<uint8_t> out;
  PutU32(out, 12);
  PutType(out, "jP  ");
  PutU32(out, 0x0D0A870A);

  PutU32(out, 20);
  PutType(out, "ftyp");
  PutType(out, "jp2 ");
  PutU32(out, 0);
  PutType(out, "jp2 ");

  // A profile makes the colour box one by profile (method 2) instead of enumerated sRGB.
  const uint32_t ihdr = 8 + 14, cdef = 8 + 2 + 6 * components;
  const uint32_t colr = 8 + 3 + static_cast<uint32_t>(icc.empty() ? 4 : icc.size());
  PutU32(out, 8 + ihdr + colr + cdef);
  PutType(out, "jp2h");

  PutU32(out, ihdr);
  PutType(out, "ihdr");
  PutU32(out, static_cast<uint32_t>(height));
  PutU32(out, static_cast<uint32_t>(width));
  PutU16(out, static_cast<uint32_t>(components));
  out.push_back(7);  // 8 bits per component, unsigned
  out.push_back(7);  // compression type
  out.push_back(0);  // colour space known
  out.push_back(0);  // no intellectual property box

  PutU32(out, colr);
  PutType(out, "colr");
  out.push_back(icc.empty() ? 1 : 2);  // enumerated colour space, or a profile
  out.push_back(0);
  out.push_back(0);
  if (icc.empty())
    PutU32(out, 16);  // sRGB
  else
    out.insert(out.end(), icc.begin(), icc.end());

  PutU32(out, cdef);
  PutType(out, "cdef");
  PutU16(out, static_cast<uint32_t>(components));
  for (int c = 0; c < components; ++c) {
    const bool opacity = c == 3;
    PutU16(out, static_cast<uint32_t>(c));
    PutU16(out, opacity ? 1 : 0);
    PutU16(out, opacity ? 0 : static_cast<uint32_t>(c + 1));
  }

  PutU32(out, static_cast<uint32_t>(8 + codestreamSize));
  PutType(out, "jp2c");
  return out;
}

}  // namespace

Jpeg2000Rate Jpeg2000RateFor(uint8_t quality, int components, int32_t width, int32_t height) {
  // Beyond 100 the formula turns around (and divides by zero at 115).
  const int q = std::min<int>(quality, 100);
  const float samples =
      static_cast<float>(components) * static_cast<float>(width) * static_cast<float>(height);
  const float perSample = 100.0f / static_cast<float>((115 - q) * (115 - q));
  Jpeg2000Rate rate;
  rate.target_bytes = samples * perSample + 550.0f + 142.0f * static_cast<float>(components - 1);
  rate.rate = 1.0f / (rate.target_bytes / samples);
  return rate;
}

void Jpeg2000Graphic::LoadFromStream(ByteStream& stream) {
  const std::vector<uint8_t> bytes = stream.ReadAll();
  OPJ_CODEC_FORMAT format;
  if (bytes.size() >= 8 && std::equal(kJp2Signature, kJp2Signature + 8, bytes.begin()))
    format = OPJ_CODEC_JP2;
  else if (bytes.size() >= 4 &&
           std::equal(kCodestreamSignature, kCodestreamSignature + 4, bytes.begin()))
    format = OPJ_CODEC_J2K;
  else
    throw Jpeg2000Error("Unknown JPEG 2000 file type");
  DibImage decoded = Decode(bytes.data(), bytes.size(), format);
  static_cast<DibImage&>(*this) = std::move(decoded);
}

void Jpeg2000Graphic::SaveToStream(ByteStream& stream) {
  if (Empty()) return;
  const DibImage* source = this;
  DibImage converted;
  if (PixelFormat() != DibFormat::k24Bit && PixelFormat() != DibFormat::k32Bit) {
    converted.Assign(*this);
    converted.SetPixelFormat(DibFormat::k24Bit);
    source = &converted;
  }
  const int components = source->PixelFormat() == DibFormat::k24Bit ? 3 : 4;
  const int32_t width = source->Width(), height = source->Height();

  opj_image_cmptparm_t parameters[4];
  std::memset(parameters, 0, sizeof parameters);
  for (int c = 0; c < components; ++c) {
    parameters[c].dx = parameters[c].dy = 1;
    parameters[c].w = static_cast<uint32_t>(width);
    parameters[c].h = static_cast<uint32_t>(height);
    parameters[c].prec = 8;
    parameters[c].sgnd = 0;
  }
  j2k::Image image(
      opj_image_create(static_cast<uint32_t>(components), parameters, OPJ_CLRSPC_SRGB));
  if (!image) throw Jpeg2000Error("Failed to create JPEG 2000 image struct for saving");
  image->x0 = image->y0 = 0;
  image->x1 = static_cast<uint32_t>(width);
  image->y1 = static_cast<uint32_t>(height);
  if (components == 4) image->comps[3].alpha = 1;

  opj_cparameters_t settings;
  opj_set_default_encoder_parameters(&settings);
  // Six resolutions need sides of at least 32 pixels; smaller pictures get as many as fit
  // instead of failing to encode.
  settings.numresolution = 1;
  while (settings.numresolution < 6 && (std::min(width, height) >> settings.numresolution) > 0)
    ++settings.numresolution;
  settings.tcp_numlayers = 1;
  settings.cp_disto_alloc = 1;
  settings.cp_fixed_alloc = 0;
  settings.cp_fixed_quality = 0;
  settings.tcp_rates[0] =
      lossless_ ? 0.0f : Jpeg2000RateFor(quality_, components, width, height).rate;
  settings.irreversible = 0;
  settings.tcp_mct = 0;
  settings.cblockw_init = settings.cblockh_init = 64;
  settings.mode = 0;
  settings.prog_order = OPJ_LRCP;
  settings.tile_size_on = OPJ_FALSE;
  settings.cp_tdx = settings.cp_tdy = 0;
  settings.csty = 0;
  settings.res_spec = 0;
  settings.roi_compno = -1;
  settings.cp_comment = nullptr;
  settings.tp_on = 0;
  settings.rsiz = OPJ_PROFILE_NONE;

  // Components in pixel byte order: red at 2, green at 1, blue at 0, alpha at 3.
  static const int kByteOffset[4] = {2, 1, 0, 3};
  const int step = components;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = source->ScanLine(y);
    for (int c = 0; c < components; ++c) {
      int32_t* out = image->comps[c].data + static_cast<size_t>(y) * width;
      for (int32_t x = 0; x < width; ++x) out[x] = row[x * step + kByteOffset[c]];
    }
  }

  // The codestream comes from the encoder; the JP2 boxes around it are written here so that the
  // channel definitions are there for three components as well.
  j2k::Codec codec(opj_create_compress(OPJ_CODEC_J2K));
  j2k::MemoryOutput output;
  j2k::Stream out = j2k::MakeOutputStream(output);
  if (!codec || !out) EncodingFailed();
  if (!opj_setup_encoder(codec.get(), &settings, image.get()) ||
      !opj_start_compress(codec.get(), image.get(), out.get()) ||
      !opj_encode(codec.get(), out.get()) || !opj_end_compress(codec.get(), out.get()) ||
      output.failed)
    EncodingFailed();
  out.reset();
  const std::vector<uint8_t> header =
      Jp2Header(width, height, components, output.bytes.size(), icc_profile_);
  std::vector<uint8_t> file;
  file.reserve(header.size() + output.bytes.size());
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), output.bytes.begin(), output.bytes.end());
  stream.WriteBuffer(file.data(), file.size());
}

}  // namespace tessane
