#include "cli/batch_options.h"

#include <CLI/CLI.hpp>

namespace tessane::cli {

namespace {

constexpr const char* kGroup = "Batch options";

CLI::Validator BoxValidator() {
  return CLI::Validator(
      [](std::string& text) {
        return ParseBoxSize(text, BoxKind::kFit)
                   ? std::string()
                   : "not a box of WxH pixels, each side from 1 to 65535: " + text;
      },
      "WxH");
}

}  // namespace

void BatchOptionParser::Add(CLI::App& app, BatchOptions& options) {
  auto* fit = app.add_option("--fit", fit_,
                             "Largest picture inside a box of WxH pixels, aspect kept; several "
                             "boxes (repeated or 320x200,1024x768) as several sizes of -s")
                  ->check(BoxValidator())
                  ->delimiter(',')
                  ->allow_extra_args(false)
                  ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                  ->group(kGroup);
  auto* fill = app.add_option("--fill", fill_,
                              "Cover a box of WxH pixels, then cut to exactly WxH (see --gravity); "
                              "several boxes as for --fit")
                   ->check(BoxValidator())
                   ->delimiter(',')
                   ->allow_extra_args(false)
                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                   ->group(kGroup);
  fit->excludes(fill);
  app.add_option("--gravity", gravity_, "Where --fill cuts the covered picture (default centre)")
      ->check(CLI::Validator(
          [](std::string& text) {
            return ParseGravity(text) ? std::string() : "not a gravity: " + text;
          },
          "{centre,center,north,south,east,west,northeast,northwest,southeast,southwest}"))
      ->needs(fill)
      ->group(kGroup);
  app.add_flag("--skip-existing", options.skip_existing,
               "Leave a file alone when its output exists and is not older than the file; an "
               "older output is replaced under its name, anything else there fails")
      ->group(kGroup);
  auto* filesFrom = app.add_option("--files-from", options.files_from,
                                   "Read more PATHs from a file (- for standard input), one a line")
                        ->type_name("FILE")
                        ->group(kGroup);
  app.add_flag("-0,--null", options.null_separated,
               "The --files-from list is separated by NUL bytes instead of line breaks")
      ->needs(filesFrom)
      ->group(kGroup);
  app.add_option("--name", name_,
                 "Output names from a template: {name} {ext} {width} {height} {index} {dir} "
                 "{date} {date:%Y-%m-%d} {size} (see the manual)")
      ->type_name("TEMPLATE")
      ->group(kGroup);
  app.add_flag("--keep-tree", options.keep_tree,
               "Mirror the sub-folders of each folder argument under --dest")
      ->group(kGroup);
  app.add_option("--shard", shard_,
                 "Only share K of N (K from 1) of the sources, chosen by a hash of each "
                 "path relative to its argument: N runs with K = 1..N do the batch once")
      ->check(CLI::Validator(
          [](std::string& text) {
            return ParseShard(text) ? std::string() : "not K/N with 1 <= K <= N: " + text;
          },
          "K/N"))
      ->group(kGroup);
}

std::string BatchOptionParser::Finish(const CLI::App& app, const std::vector<int32_t>& plainSizes,
                                      BatchOptions& options) const {
  if (app.count("PATH") == 0 && options.files_from.empty())
    return "PATH is required (or --files-from)";
  const bool fit = app.count("--fit") > 0, fill = app.count("--fill") > 0;
  if (fit || fill) {
    const char* name = fit ? "--fit" : "--fill";
    for (const char* other : {"--size", "--percent", "--mode", "--crop-16x9", "--copy"})
      if (app.count(other) > 0) return std::string(name) + " excludes " + other;
    const std::vector<std::string>& texts = fit ? fit_ : fill_;
    for (const std::string& text : texts) {
      Box box = *ParseBoxSize(text, fit ? BoxKind::kFit : BoxKind::kFill);
      box.gravity = *ParseGravity(gravity_);
      options.sizes.push_back(
          {0, box, std::to_string(box.width) + "x" + std::to_string(box.height)});
    }
  } else {
    for (const int32_t size : plainSizes) options.sizes.push_back({size, {}, std::to_string(size)});
  }
  if (options.sizes.size() < 2) {
    if (!options.sizes.empty()) options.box = options.sizes.front().box;
    options.sizes.clear();
  } else {
    for (size_t i = 0; i < options.sizes.size(); ++i)
      for (size_t j = 0; j < i; ++j)
        if (options.sizes[i].label == options.sizes[j].label)
          return "the size " + options.sizes[i].label + " is given twice";
    if (app.count("--copy") > 0) return "several sizes exclude --copy";
  }
  if (app.count("--name") > 0) {
    for (const char* other : {"--prefix", "--postfix", "--copy"})
      if (app.count(other) > 0) return std::string("--name excludes ") + other;
    std::string error;
    options.name = NameTemplate::Parse(name_, error);
    if (!options.name) return "--name: " + error;
    if (!options.sizes.empty() && !options.name->Uses("size"))
      return "--name: with several sizes the template needs {size}, or the sizes would share names";
  }
  if (options.keep_tree && app.count("--dest") == 0) return "--keep-tree needs --dest";
  if (app.count("--shard") > 0) options.shard = ParseShard(shard_);
  return {};
}

}  // namespace tessane::cli
