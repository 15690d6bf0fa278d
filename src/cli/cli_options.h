#pragma once
// tessane-cli's options: the window's options as flags, with the window's defaults.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_options.h"
#include "raster/filters.h"

namespace tessane::cli {

struct CliOptions {
  std::vector<std::string> paths;
  std::string dest_folder;          // empty: next to each source
  std::string output_ext;           // "" keeps the source format, else ".jpg", ".png", ...
  std::string default_format = ".jpg";  // for sources that are not jpg/png/gif/emf/bmp/jp2
  uint8_t size_mode = 0;            // 0 largest, 1 width, 2 height, 3 percent
  int32_t size = 320;
  Filter filter = kDefaultFilter;
  bool crop = false;
  int addition = 2;                // 0 prefix, 1 postfix, 2 none
  std::string addition_text;
  bool overwrite = false;
  bool copy = false;
  int32_t buffer_kb = 64;
  bool copy_times = false;
  bool copy_attrs = false;
  bool include_subfolders = true;
  int jobs = 0;                    // 0: number of cores
  bool dry_run = false;
  bool quiet = false;
  bool auto_orient = true;         // --no-auto-orient keeps the stored order
  bool keep_metadata = false;
  bool strip = false;              // no profile, EXIF or XMP in outputs
  bool shrink_only = false;
  std::optional<uint32_t> background;  // $RRGGBB
  bool keep_date = false;
  std::string report_path;          // empty: no report
  bool in_place = false;            // with overwrite, an output may replace its own source
  bool strict = false;             // pictures decoded from damaged data fail, nothing written
  std::optional<int> quality;      // JPEG, WebP and AVIF quality; unset: each format's default
  bool lossless = false;           // WebP outputs lossless
  bool colour_srgb = false;        // --colour srgb: pixels converted from their ICC profile
  int64_t max_memory = 0;          // --max-memory in bytes; 0: DefaultMemoryBudget()
  BatchOptions batch;
};

/// Outcome of parsing: options to run with, or an exit status to leave with at once
/// (0 after --help/--version, 2 for a usage error) and the text to print.
struct ParseResult {
  std::optional<CliOptions> options;
  int exit_status = 0;
  std::string output;   // for standard output (help, version)
  std::string error;    // for standard error (usage errors)
};

ParseResult ParseCommandLine(int argc, const char* const* argv);

/// A byte count given as digits with an optional K, M or G (binary multiples, any case, an
/// optional trailing B or iB); nothing for zero, an overflow or any other text.
std::optional<int64_t> ParseMemorySize(const std::string& text);

/// A colour given as "#rrggbb" or a CSS colour name (white, black, grey/gray, red, green, ...),
/// as $RRGGBB; nothing for any other text. Case does not matter.
std::optional<uint32_t> ParseColor(const std::string& text);

}  // namespace tessane::cli
