// The JPEG rows' floor: every file decoded in this one process at the resize job's DCT scale,
// with the job's decoder settings, into a few reused rows. Nothing is kept or written.
// Usage: jpeg_floor SIZE FILE...

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// The job's choice: the largest 1/8, 1/4 or 1/2 that keeps both sides above the target size.
int ScaleDenominator(unsigned width, unsigned height, int size) {
  const double r = std::min(static_cast<double>(width) / size, static_cast<double>(height) / size);
  return r > 8 ? 8 : r > 4 ? 4 : r > 2 ? 2 : 1;
}

bool Decode(const char* path, int size, std::vector<unsigned char>& rows) {
  std::vector<unsigned char> data;
  if (FILE* f = std::fopen(path, "rb")) {
    unsigned char block[1 << 16];
    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;)
      data.insert(data.end(), block, block + n);
    std::fclose(f);
  }
  if (data.empty()) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);  // exits on a damaged file: the corpus has none
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom =
      static_cast<unsigned>(ScaleDenominator(cinfo.image_width, cinfo.image_height, size));
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  cinfo.out_color_space = cinfo.jpeg_color_space == JCS_YCbCr ||
                                  cinfo.jpeg_color_space == JCS_RGB ||
                                  cinfo.jpeg_color_space == JCS_GRAYSCALE
                              ? JCS_EXT_BGRA
                              : JCS_CMYK;
  jpeg_start_decompress(&cinfo);
  constexpr int kBatch = 16;
  const size_t stride = size_t{cinfo.output_width} * 4;
  rows.resize(stride * kBatch);
  JSAMPROW pointers[kBatch];
  for (int i = 0; i < kBatch; ++i) pointers[i] = rows.data() + i * stride;
  while (cinfo.output_scanline < cinfo.output_height)
    if (jpeg_read_scanlines(&cinfo, pointers, kBatch) == 0) break;
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: jpeg_floor SIZE FILE...\n");
    return 2;
  }
  const int size = std::atoi(argv[1]);
  if (size <= 0) return 2;
  std::vector<unsigned char> rows;
  for (int i = 2; i < argc; ++i) {
    if (!Decode(argv[i], size, rows)) {
      std::fprintf(stderr, "jpeg_floor: cannot read %s\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
