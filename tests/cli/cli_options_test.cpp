#include <gtest/gtest.h>

#include <vector>

#include "cli/cli_options.h"

namespace tessane::cli {
namespace {

ParseResult Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tessane-cli");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CliOptions, DefaultsAreTheWindowDefaults) {
  const ParseResult r = Parse({"photos"});
  ASSERT_TRUE(r.options);
  const CliOptions& o = *r.options;
  EXPECT_EQ(o.paths, std::vector<std::string>{"photos"});
  EXPECT_EQ(o.dest_folder, "");
  EXPECT_EQ(o.output_ext, "");
  EXPECT_EQ(o.default_format, ".jpg");
  EXPECT_EQ(o.size_mode, 0);
  EXPECT_EQ(o.size, 320);
  EXPECT_EQ(o.filter, Filter::kLanczos3);
  EXPECT_FALSE(o.crop);
  EXPECT_EQ(o.addition, 2);
  EXPECT_FALSE(o.overwrite);
  EXPECT_FALSE(o.copy);
  EXPECT_EQ(o.buffer_kb, 64);
  EXPECT_TRUE(o.include_subfolders);
}

TEST(CliOptions, FlagsMapOntoTheWindowsOptions) {
  const ParseResult r =
      Parse({"-d", "out", "-f", "png", "--default-format", "none", "-m", "height", "-s", "1024",
             "-F", "mitchell", "--crop-16x9", "--postfix", "_small", "--overwrite", "-j", "3",
             "--no-subfolders", "a.jpg", "b"});
  ASSERT_TRUE(r.options);
  const CliOptions& o = *r.options;
  EXPECT_EQ(o.dest_folder, "out");
  EXPECT_EQ(o.output_ext, ".png");
  EXPECT_EQ(o.default_format, "");
  EXPECT_EQ(o.size_mode, 2);
  EXPECT_EQ(o.size, 1024);
  EXPECT_EQ(o.filter, Filter::kMitchell);
  EXPECT_TRUE(o.crop);
  EXPECT_EQ(o.addition, 1);
  EXPECT_EQ(o.addition_text, "_small");
  EXPECT_TRUE(o.overwrite);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_FALSE(o.include_subfolders);
  EXPECT_EQ(o.paths, (std::vector<std::string>{"a.jpg", "b"}));

  const ParseResult percent = Parse({"-p", "100", "--prefix", "t_", "x"});
  ASSERT_TRUE(percent.options);
  EXPECT_EQ(percent.options->size_mode, 3);
  EXPECT_EQ(percent.options->size, 100);
  EXPECT_EQ(percent.options->addition, 0);
}

// Pictures are turned upright by default; the other extras are off until given.
TEST(CliOptions, ExtrasAreOffByDefaultAndParsedWhenGiven) {
  const ParseResult plain = Parse({"x"});
  ASSERT_TRUE(plain.options);
  EXPECT_TRUE(plain.options->auto_orient);
  EXPECT_FALSE(plain.options->keep_metadata);
  EXPECT_FALSE(plain.options->strip);
  const ParseResult stored = Parse({"--no-auto-orient", "--strip", "x"});
  ASSERT_TRUE(stored.options) << stored.error;
  EXPECT_FALSE(stored.options->auto_orient);
  EXPECT_TRUE(stored.options->strip);
  EXPECT_FALSE(plain.options->shrink_only);
  EXPECT_FALSE(plain.options->background);
  EXPECT_FALSE(plain.options->keep_date);
  EXPECT_EQ(plain.options->report_path, "");

  const ParseResult r = Parse({"--auto-orient", "--keep-metadata", "--shrink-only", "--background",
                                "#FFa500", "--keep-date", "--report", "run.tsv", "x"});
  ASSERT_TRUE(r.options) << r.error;
  EXPECT_TRUE(r.options->auto_orient);
  EXPECT_TRUE(r.options->keep_metadata);
  EXPECT_TRUE(r.options->shrink_only);
  EXPECT_EQ(r.options->background, 0xFFA500u);
  EXPECT_TRUE(r.options->keep_date);
  EXPECT_EQ(r.options->report_path, "run.tsv");

  const std::vector<std::pair<const char*, std::optional<uint32_t>>> colours = {
      {"white", 0xFFFFFF},       {"Black", 0x000000},       {"grey", 0x808080},
      {"GRAY", 0x808080},        {"red", 0xFF0000},         {"green", 0x008000},
      {"blue", 0x0000FF},        {"#0a0B0c", 0x0A0B0C},     {"#fff", std::nullopt},
      {"#12345g", std::nullopt}, {"1234567", std::nullopt}, {"", std::nullopt},
      {"reddish", std::nullopt}};
  for (const auto& [text, value] : colours) EXPECT_EQ(ParseColor(text), value) << text;
  const ParseResult bad = Parse({"--background", "chartreuse-ish", "x"});
  EXPECT_FALSE(bad.options);
  EXPECT_EQ(bad.exit_status, 2);
}

TEST(CliOptions, QualityLosslessColourAndTheNewFormats) {
  const ParseResult none = Parse({"x"});
  ASSERT_TRUE(none.options);
  EXPECT_FALSE(none.options->quality);  // each format's own default
  EXPECT_FALSE(none.options->lossless);
  EXPECT_FALSE(none.options->colour_srgb);
  const ParseResult r = Parse({"-f", "webp", "--default-format", "avif", "--quality", "42",
                                "--lossless", "--colour", "srgb", "x"});
  ASSERT_TRUE(r.options);
  EXPECT_EQ(r.options->output_ext, ".webp");
  EXPECT_EQ(r.options->default_format, ".avif");
  EXPECT_EQ(r.options->quality, 42);
  EXPECT_TRUE(r.options->lossless);
  EXPECT_TRUE(r.options->colour_srgb);
  EXPECT_EQ(Parse({"-f", "avif", "x"}).options->output_ext, ".avif");
}

TEST(CliOptions, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<const char*>> bad = {
      {},                                   // no path
      {"-s", "0", "x"},                     // size out of range
      {"-s", "70000", "x"},
      {"-p", "101", "x"},
      {"-f", "tiff", "x"},                  // not an output format
      {"-F", "gaussian", "x"},
      {"--prefix", "a", "--postfix", "b", "x"},
      {"-p", "50", "-s", "100", "x"},
      {"--bogus", "x"},
      {"--quality", "0", "x"},              // quality out of range
      {"--quality", "101", "x"},
      {"--colour", "adobe", "x"},           // sRGB is the one target
      {"-f", "heic", "x"},                  // read, never written
  };
  for (const auto& args : bad) {
    const ParseResult r = Parse(args);
    EXPECT_FALSE(r.options);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_FALSE(r.error.empty());
  }
  const ParseResult help = Parse({"--help"});
  EXPECT_FALSE(help.options);
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.output.find("--filter"), std::string::npos);
  // The inputs only the command reads are named, with their extensions.
  for (const char* ext : {".heic", ".heif", ".hif", ".avif", ".webp", ".jxl"})
    EXPECT_NE(help.output.find(ext), std::string::npos) << ext;
  const ParseResult version = Parse({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_NE(version.output.find("5.5"), std::string::npos);
}

}  // namespace
}  // namespace tessane::cli
