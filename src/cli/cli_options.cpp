#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <map>
#include <sstream>

namespace tessane::cli {

const std::vector<std::string>& FilterNames() {
  static const std::vector<std::string> names = {"none",    "box",  "triangle", "hermite",
                                                  "bell",    "bspline", "lanczos3", "mitchell"};
  return names;
}

namespace {

std::map<std::string, std::string> FormatMap(bool withSource, bool withNone) {
  std::map<std::string, std::string> map = {{"jpg", ".jpg"}, {"png", ".png"}, {"gif", ".gif"},
                                            {"emf", ".emf"}, {"bmp", ".bmp"}, {"jp2", ".jp2"}};
  if (withSource) map["source"] = "";
  if (withNone) map["none"] = "";
  return map;
}

std::map<std::string, int> IndexMap(const std::vector<std::string>& names) {
  std::map<std::string, int> map;
  for (size_t i = 0; i < names.size(); ++i) map[names[i]] = static_cast<int>(i);
  return map;
}

}  // namespace

TParseResult ParseCommandLine(int argc, const char* const* argv) {
  TCliOptions o;
  CLI::App app{
      "Resizes and converts image files in batches, like the Tessane window does.\n"
      "PATH may be a file or a folder (scanned for image files)."};
  app.name("tessane-cli");
  app.set_version_flag("--version", std::string("tessane-cli 5.5"));
  app.get_formatter()->column_width(30);

  app.add_option("PATH", o.Paths, "Image files or folders")->required();
  app.add_option("-d,--dest", o.DestFolder, "Destination folder (default: next to each source)");
  std::string format = "source";
  app.add_option("-f,--format", format, "Output format")
      ->check(CLI::IsMember({"source", "jpg", "png", "gif", "emf", "bmp", "jp2"}))
      ->default_str("source");
  std::string defaultFormat = "jpg";
  app.add_option("--default-format", defaultFormat,
                 "Format for sources that are not jpg/png/gif/emf/bmp/jp2 when --format is source")
      ->check(CLI::IsMember({"jpg", "png", "gif", "emf", "bmp", "jp2", "none"}))
      ->default_str("jpg");
  std::string mode = "largest";
  app.add_option("-m,--mode", mode, "Which side gets the size")
      ->check(CLI::IsMember({"largest", "width", "height"}))
      ->default_str("largest");
  auto* size = app.add_option("-s,--size", o.Size, "Size in pixels")
                   ->check(CLI::Range(1, 65535))
                   ->default_str("320");
  int percent = 0;
  auto* percentOption = app.add_option("-p,--percent", percent,
                                       "Size as a percentage of the longer side (100: format "
                                       "conversion only)")
                            ->check(CLI::Range(1, 100));
  percentOption->excludes(size);
  std::string filter = "lanczos3";
  app.add_option("-F,--filter", filter, "Resampling filter")
      ->check(CLI::IsMember(FilterNames()))
      ->default_str("lanczos3");
  app.add_flag("--crop-16x9", o.Crop, "Cut landscape pictures to a centred 16:9 band");
  std::string prefix, postfix;
  auto* prefixOption = app.add_option("--prefix", prefix, "Text put in front of each output name");
  auto* postfixOption =
      app.add_option("--postfix", postfix, "Text put before the first dot of each output name");
  prefixOption->excludes(postfixOption);
  app.add_flag("--overwrite", o.Overwrite,
               "Replace existing outputs (otherwise new files get name[1].ext, name[2].ext, ...)");
  app.add_flag("--copy", o.Copy, "Fast file copy: copy files unchanged into the destination");
  app.add_option("--buffer", o.BufferKb, "Copy buffer size in KB")
      ->check(CLI::Range(1, 1 << 20))
      ->default_str("64");
  app.add_flag("--copy-times", o.CopyTimes, "Copies keep the source's modification time");
  app.add_flag("--copy-attrs", o.CopyAttrs, "Copies keep the source's permission bits");
  bool noSubfolders = false;
  app.add_flag("--no-subfolders", noSubfolders, "Do not descend into sub-folders");
  app.add_option("-j,--jobs", o.Jobs, "Files processed in parallel (default: number of cores)")
      ->check(CLI::Range(1, 256));
  app.add_flag("-n,--dry-run", o.DryRun, "Print each source and destination, write nothing");
  app.add_flag("-q,--quiet", o.Quiet, "No progress bar and no summary");

  TParseResult result;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    result.ExitStatus = app.exit(e, out, err);
    if (result.ExitStatus != 0) result.ExitStatus = 2;
    result.Output = out.str();
    result.Error = err.str();
    return result;
  }

  o.OutputExt = FormatMap(true, false).at(format);
  o.DefaultFormat = FormatMap(false, true).at(defaultFormat);
  o.SizeMode = static_cast<uint8_t>(IndexMap({"largest", "width", "height"}).at(mode));
  if (*percentOption) {
    o.SizeMode = 3;
    o.Size = percent;
  }
  o.Filter = static_cast<uint8_t>(IndexMap(FilterNames()).at(filter));
  if (*prefixOption) {
    o.Addition = 0;
    o.Thing = prefix;
  } else if (*postfixOption) {
    o.Addition = 1;
    o.Thing = postfix;
  }
  o.IncludeSubfolders = !noSubfolders;
  result.Options = o;
  return result;
}

}  // namespace tessane::cli
