#pragma once
// tessane-cli's options: the window's options as flags, with the window's defaults.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_options.h"

namespace tessane::cli {

struct CliOptions {
  std::vector<std::string> Paths;
  std::string DestFolder;          // empty: next to each source
  std::string OutputExt;           // "" keeps the source format, else ".jpg", ".png", ...
  std::string DefaultFormat = ".jpg";  // for sources that are not jpg/png/gif/emf/bmp/jp2
  uint8_t SizeMode = 0;            // 0 largest, 1 width, 2 height, 3 percent
  int32_t Size = 320;
  uint8_t Filter = 6;              // list position: 6 = Lanczos3
  bool Crop = false;
  int Addition = 2;                // 0 prefix, 1 postfix, 2 none
  std::string Thing;
  bool Overwrite = false;
  bool Copy = false;
  int32_t BufferKb = 64;
  bool CopyTimes = false;
  bool CopyAttrs = false;
  bool IncludeSubfolders = true;
  int Jobs = 0;                    // 0: number of cores
  bool DryRun = false;
  bool Quiet = false;
  bool AutoOrient = false;
  bool KeepMetadata = false;
  bool ShrinkOnly = false;
  std::optional<uint32_t> Background;  // $RRGGBB
  bool KeepDate = false;
  std::string ReportPath;          // empty: no report
  bool InPlace = false;            // with Overwrite, an output may replace its own source
  bool Strict = false;             // pictures decoded from damaged data fail, nothing written
  std::optional<int> Quality;      // JPEG, WebP and AVIF quality; unset: each format's default
  bool Lossless = false;           // WebP outputs lossless
  bool ColourSrgb = false;         // --colour srgb: pixels converted from their ICC profile
  BatchOptions batch;
};

/// Outcome of parsing: options to run with, or an exit status to leave with at once
/// (0 after --help/--version, 2 for a usage error) and the text to print.
struct ParseResult {
  std::optional<CliOptions> Options;
  int ExitStatus = 0;
  std::string Output;   // for standard output (help, version)
  std::string Error;    // for standard error (usage errors)
};

ParseResult ParseCommandLine(int argc, const char* const* argv);

/// A colour given as "#rrggbb" or a CSS colour name (white, black, grey/gray, red, green, ...),
/// as $RRGGBB; nothing for any other text. Case does not matter.
std::optional<uint32_t> ParseColor(const std::string& text);

/// Filter names in list order, as --filter takes them.
const std::vector<std::string>& FilterNames();

}  // namespace tessane::cli
