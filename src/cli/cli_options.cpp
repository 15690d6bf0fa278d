#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <limits>
#include <map>
#include <sstream>

#include "formats/avif/avif_writer.h"
#include "formats/format_registry.h"
#include "formats/webp/webp_writer.h"
#include "tessane_version.h"

namespace tessane::cli {

namespace {

// The --filter values, in the window's list order.
std::vector<std::string> FilterNames() {
  std::vector<std::string> names;
  for (const FilterInfo& info : OfferedFilters()) names.emplace_back(info.name);
  return names;
}

// The -f and --default-format values: `first`, then the output formats' extensions without
// their dot, then `last` (each left out when empty).
std::vector<std::string> FormatNames(const std::string& first, const std::string& last) {
  std::vector<std::string> names;
  if (!first.empty()) names.push_back(first);
  for (const WriterFormat& writer : CommandLineOutputFormats()) names.emplace_back(writer.ext.substr(1));
  if (!last.empty()) names.push_back(last);
  return names;
}

// The extension a format value names; "" for "source" and "none".
std::string ExtensionOf(const std::string& format) {
  for (const WriterFormat& writer : CommandLineOutputFormats())
    if (writer.ext.substr(1) == format) return std::string(writer.ext);
  return "";
}

std::map<std::string, int> IndexMap(const std::vector<std::string>& names) {
  std::map<std::string, int> map;
  for (size_t i = 0; i < names.size(); ++i) map[names[i]] = static_cast<int>(i);
  return map;
}

}  // namespace

std::optional<uint32_t> ParseColor(const std::string& text) {
  std::string t;
  for (char c : text) t += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (t.size() == 7 && t[0] == '#') {
    uint32_t value = 0;
    for (size_t i = 1; i < 7; ++i) {
      const char c = t[i];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return std::nullopt;
      value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
  }
  static const std::map<std::string, uint32_t> names = {
      {"white", 0xFFFFFF},   {"black", 0x000000},   {"grey", 0x808080},   {"gray", 0x808080},
      {"silver", 0xC0C0C0},  {"red", 0xFF0000},     {"green", 0x008000},  {"lime", 0x00FF00},
      {"blue", 0x0000FF},    {"yellow", 0xFFFF00},  {"cyan", 0x00FFFF},   {"aqua", 0x00FFFF},
      {"magenta", 0xFF00FF}, {"fuchsia", 0xFF00FF}, {"orange", 0xFFA500}, {"purple", 0x800080},
      {"navy", 0x000080},    {"maroon", 0x800000},  {"olive", 0x808000},  {"teal", 0x008080},
  };
  const auto it = names.find(t);
  if (it == names.end()) return std::nullopt;
  return it->second;
}

ParseResult ParseCommandLine(int argc, const char* const* argv) {
  CliOptions o;
  CLI::App app{
      "Resizes and converts image files in batches, like the Tessane window does.\n"
      "PATH may be a file or a folder (scanned for image files).\n"
      "Reads every format the window reads (JPEG, PNG, GIF, BMP, TIFF, JPEG 2000 and more) and "
      "also HEIF/HEIC (.heic .heif .hif), AVIF (.avif), WebP (.webp; animations: the first "
      "frame) and JPEG XL (.jxl)."};
  app.name("tessane-cli");
  app.set_version_flag("--version", std::string("tessane-cli ") + tessane::kVersion);
  app.get_formatter()->column_width(30);

  // Required unless --files-from lists the sources (checked with the batch options).
  app.add_option("PATH", o.paths, "Image files or folders");
  app.add_option("-d,--dest", o.dest_folder, "Destination folder (default: next to each source)");
  std::string format = "source";
  app.add_option("-f,--format", format, "Output format")
      ->check(CLI::IsMember(FormatNames("source", "")))
      ->default_str("source");
  std::string defaultFormat = "jpg";
  app.add_option("--default-format", defaultFormat,
                 "Format for sources that are not jpg/png/gif/emf/bmp/jp2/webp/avif when --format "
                 "is source")
      ->check(CLI::IsMember(FormatNames("", "none")))
      ->default_str("jpg");
  std::string mode = "largest";
  app.add_option("-m,--mode", mode, "Which side gets the size")
      ->check(CLI::IsMember({"largest", "width", "height"}))
      ->default_str("largest");
  std::vector<int32_t> sizes;
  auto* size = app.add_option("-s,--size", sizes,
                              "Size in pixels; several, as 320,1024,2048, in one pass, each "
                              "size's outputs under DEST/SIZE/")
                   ->check(CLI::Range(1, 65535))
                   ->delimiter(',')
                   ->allow_extra_args(false)
                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                   ->default_str("320");
  int percent = 0;
  auto* percentOption = app.add_option("-p,--percent", percent,
                                       "Size as a percentage of the longer side (100: format "
                                       "conversion only)")
                            ->check(CLI::Range(1, 100));
  percentOption->excludes(size);
  std::string filter(InfoOf(kDefaultFilter).name);
  app.add_option("-F,--filter", filter, "Resampling filter")
      ->check(CLI::IsMember(FilterNames()))
      ->default_str(filter);
  app.add_flag("--crop-16x9", o.crop, "Cut landscape pictures to a centred 16:9 band");
  std::string prefix, postfix;
  auto* prefixOption = app.add_option("--prefix", prefix, "Text put in front of each output name");
  auto* postfixOption =
      app.add_option("--postfix", postfix, "Text put before the first dot of each output name");
  prefixOption->excludes(postfixOption);
  app.add_flag("--overwrite", o.overwrite,
               "Replace existing outputs (otherwise new files get name[1].ext, name[2].ext, ...); "
               "never a source file of the run or the report (its own source with --in-place)");
  app.add_flag("--in-place", o.in_place,
               "With --overwrite, an output may replace its own source file (same folder, same "
               "name and format), never another source");
  app.add_flag("--copy", o.copy, "Fast file copy: copy files unchanged into the destination");
  app.add_option("--buffer", o.buffer_kb, "Copy buffer size in KB")
      ->check(CLI::Range(1, 1 << 20))
      ->default_str("64");
  app.add_flag("--copy-times", o.copy_times, "Copies keep the source's modification time");
  app.add_flag("--copy-attrs", o.copy_attrs,
               "Copies keep the source's permission bits (set-user-id and set-group-id only when "
               "the copy keeps the owner, as cp -p)");
  bool noSubfolders = false;
  app.add_flag("--no-subfolders", noSubfolders, "Do not descend into sub-folders");
  app.add_option("-j,--jobs", o.jobs, "Files processed in parallel (default: number of cores)")
      ->check(CLI::Range(1, 256));
  app.add_flag("-n,--dry-run", o.dry_run, "Print each source and destination, write nothing");
  app.add_flag("-q,--quiet", o.quiet, "No progress bar and no summary");
  bool autoOrient = false, noAutoOrient = false;
  auto* autoOrientOption =
      app.add_flag("--auto-orient", autoOrient,
                   "Turn JPEG, TIFF and WebP pictures upright by their orientation tag before "
                   "sizing (the default; HEIF, AVIF and JPEG XL are always upright)");
  app.add_flag("--no-auto-orient", noAutoOrient,
               "Keep JPEG, TIFF and WebP pictures in their stored order, whatever their "
               "orientation tag says")
      ->excludes(autoOrientOption);
  auto* keepMetadataOption =
      app.add_flag("--keep-metadata", o.keep_metadata,
                   "Keep the source's EXIF (orientation 1 where the pixels are turned upright) "
                   "and XMP in JPEG, PNG, WebP and AVIF outputs, beside its ICC profile");
  app.add_flag("--strip", o.strip,
               "Write no ICC profile, EXIF or XMP into outputs (by default a source's ICC "
               "profile goes into JPEG, PNG, WebP, AVIF and JPEG 2000 outputs, pixels unchanged)")
      ->excludes(keepMetadataOption);
  app.add_flag("--shrink-only", o.shrink_only,
               "Never enlarge: pictures within the size keep their own size");
  std::string background;
  auto* backgroundOption =
      app.add_option("--background", background,
                     "Colour behind transparent parts (#rrggbb or a name like white; default "
                     "black)")
          ->check(CLI::Validator(
              [](std::string& text) {
                return ParseColor(text) ? std::string()
                                        : "not a colour (#rrggbb or a name): " + text;
              },
              "COLOR"));
  app.add_flag("--keep-date", o.keep_date, "Outputs get their source's modification time");
  app.add_option("--report", o.report_path,
                 "Write a tab-separated report of every file to this file (not a folder, a "
                 "source or an output of the run)");
  app.footer(
      "Exit status: 0 all written, 1 some file failed or was skipped or a path could not be "
      "read, 2 usage error, 130/143/129 stopped by SIGINT/SIGTERM/SIGHUP (files under way are "
      "removed, the summary and the report are written; a second signal ends at once). A closed "
      "standard output or error (| head) does not stop the batch or change its status.");
  int quality = 0;
  auto* qualityOption =
      app.add_option("--quality", quality,
                     "Quality of JPEG, WebP and AVIF outputs, 1 (smallest) to 100 (best); "
                     "default: JPEG 75, WebP " + std::to_string(kDefaultWebpQuality) +
                         ", AVIF " + std::to_string(kDefaultAvifQuality) +
                         "; other formats ignore it")
          ->check(CLI::Range(1, 100));
  app.add_flag("--lossless", o.lossless,
               "WebP outputs lossless (--quality then sets the effort spent on compression); "
               "other formats ignore it");
  std::string colour;
  auto* colourOption =
      app.add_option("--colour", colour,
                     "srgb: convert pixels from the source's embedded ICC profile to sRGB "
                     "before scaling; outputs carry no profile then")
          ->check(CLI::IsMember({"srgb"}));
  app.add_flag("--strict", o.strict,
               "A picture decoded from damaged data fails (nothing written) instead of being "
               "written with a warning");

  app.add_option("--max-memory", o.max_memory,
                 "Memory the pictures under way may take together, e.g. 512M or 4G; a picture "
                 "that needs more fails without being decoded (default: the smaller of 2G and "
                 "half the physical memory)")
      ->type_name("SIZE")
      ->transform(CLI::Validator(
          [](std::string& text) {
            const std::optional<int64_t> bytes = ParseMemorySize(text);
            if (!bytes) return "not a memory size (a number with K, M or G): " + text;
            text = std::to_string(*bytes);
            return std::string();
          },
          ""));

  BatchOptionParser batch;
  batch.Add(app, o.batch);

  ParseResult result;
  try {
    app.parse(argc, argv);
    if (!sizes.empty()) o.size = sizes.front();
    if (const std::string error = batch.Finish(app, sizes, o.batch); !error.empty())
      throw CLI::ValidationError(error);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    result.exit_status = app.exit(e, out, err);
    if (result.exit_status != 0) result.exit_status = 2;
    result.output = out.str();
    result.error = err.str();
    return result;
  }

  o.output_ext = ExtensionOf(format);
  o.default_format = ExtensionOf(defaultFormat);
  o.size_mode = static_cast<uint8_t>(IndexMap({"largest", "width", "height"}).at(mode));
  if (*percentOption) {
    o.size_mode = 3;
    o.size = percent;
  }
  o.filter = FindFilterByName(filter)->id;
  if (*prefixOption) {
    o.addition = 0;
    o.addition_text = prefix;
  } else if (*postfixOption) {
    o.addition = 1;
    o.addition_text = postfix;
  }
  o.include_subfolders = !noSubfolders;
  if (*backgroundOption) o.background = ParseColor(background);
  if (*qualityOption) o.quality = quality;
  o.colour_srgb = *colourOption && colour == "srgb";
  o.auto_orient = !noAutoOrient;
  result.options = o;
  return result;
}

std::optional<int64_t> ParseMemorySize(const std::string& text) {
  size_t at = 0;
  int64_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    if (value > (std::numeric_limits<int64_t>::max() - 9) / 10) return std::nullopt;
    value = value * 10 + (text[at++] - '0');
  }
  if (at == 0) return std::nullopt;
  std::string unit = text.substr(at);
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const std::pair<const char*, int> kUnits[] = {
      {"", 0},    {"B", 0},    {"K", 10}, {"KB", 10}, {"KIB", 10}, {"M", 20},
      {"MB", 20}, {"MIB", 20}, {"G", 30}, {"GB", 30}, {"GIB", 30}};
  for (const auto& [name, shift] : kUnits) {
    if (unit != name) continue;
    if (value == 0 || value > (std::numeric_limits<int64_t>::max() >> shift)) return std::nullopt;
    return value << shift;
  }
  return std::nullopt;
}

}  // namespace tessane::cli
