#pragma once
// Small helpers for the batch option suites: pictures with known colours, runs, outputs.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_runner.h"
#include "cli/cli_options.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane::cli::batch_test {

namespace fs = std::filesystem;

/// w x h, 24-bit: the left half red, the right half blue; the top row green, the bottom white,
/// so any cut shows which part of the picture it took.
inline DibImage Halves(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t c = y == 0       ? 0x00FF00
                         : y == h - 1 ? 0xFFFFFF
                         : x < w / 2  ? 0xFF0000
                                      : 0x0000FF;
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  return b;
}

inline void WriteJpeg(const std::string& path, int32_t w, int32_t h) {
  JpegGraphic jpeg;
  jpeg.Assign(Halves(w, h));
  jpeg.SaveToFile(path);
}

inline void WritePng(const std::string& path, int32_t w, int32_t h) {
  PngGraphic png;
  png.Assign(Halves(w, h));
  png.SaveToFile(path);
}

inline std::pair<int32_t, int32_t> SizeOf(const std::string& path) {
  Picture p;
  p.LoadPicture(path);
  return {p.Width(), p.Height()};
}

/// $RRGGBB of a pixel of a picture file.
inline uint32_t PixelOf(const std::string& path, int32_t x, int32_t y) {
  Picture p;
  p.LoadPicture(path);
  ArgbImage b;
  PictureToArgb(p, b);
  return static_cast<uint32_t>(b.Bits()[static_cast<size_t>(y) * b.Width() + x]) & 0xFFFFFF;
}

inline ParseResult Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "tessane-cli");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

/// Options parsed from a command line (which must be valid).
inline CliOptions Options(std::vector<std::string> args) {
  const ParseResult r = Parse(std::move(args));
  EXPECT_TRUE(r.options) << r.error;
  CliOptions o = r.options ? *r.options : CliOptions{};
  o.jobs = 2;
  o.quiet = true;
  return o;
}

struct RunOutput {
  int status = 0;
  std::string out, err;
};

inline RunOutput RunBatch(const CliOptions& o) {
  std::ostringstream out, err;
  RunOutput r;
  r.status = BatchRunner(o).Run(out, err, false);
  r.out = out.str();
  r.err = err.str();
  return r;
}

/// Every regular file under `folder`, by its path relative to it, with its bytes.
inline std::map<std::string, std::vector<uint8_t>> Tree(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file())
      files[fs::relative(e.path(), folder).string()] = test::ReadBytes(e.path().string());
  return files;
}

/// The relative paths of Tree(folder).
inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : Tree(folder)) names.push_back(name);
  return names;
}

}  // namespace tessane::cli::batch_test
