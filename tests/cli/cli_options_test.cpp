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
  ASSERT_TRUE(r.Options);
  const CliOptions& o = *r.Options;
  EXPECT_EQ(o.Paths, std::vector<std::string>{"photos"});
  EXPECT_EQ(o.DestFolder, "");
  EXPECT_EQ(o.OutputExt, "");
  EXPECT_EQ(o.DefaultFormat, ".jpg");
  EXPECT_EQ(o.SizeMode, 0);
  EXPECT_EQ(o.Size, 320);
  EXPECT_EQ(o.Filter, 6);  // Lanczos3
  EXPECT_FALSE(o.Crop);
  EXPECT_EQ(o.Addition, 2);
  EXPECT_FALSE(o.Overwrite);
  EXPECT_FALSE(o.Copy);
  EXPECT_EQ(o.BufferKb, 64);
  EXPECT_TRUE(o.IncludeSubfolders);
}

TEST(CliOptions, FlagsMapOntoTheWindowsOptions) {
  const ParseResult r =
      Parse({"-d", "out", "-f", "png", "--default-format", "none", "-m", "height", "-s", "1024",
             "-F", "mitchell", "--crop-16x9", "--postfix", "_small", "--overwrite", "-j", "3",
             "--no-subfolders", "a.jpg", "b"});
  ASSERT_TRUE(r.Options);
  const CliOptions& o = *r.Options;
  EXPECT_EQ(o.DestFolder, "out");
  EXPECT_EQ(o.OutputExt, ".png");
  EXPECT_EQ(o.DefaultFormat, "");
  EXPECT_EQ(o.SizeMode, 2);
  EXPECT_EQ(o.Size, 1024);
  EXPECT_EQ(o.Filter, 7);
  EXPECT_TRUE(o.Crop);
  EXPECT_EQ(o.Addition, 1);
  EXPECT_EQ(o.Thing, "_small");
  EXPECT_TRUE(o.Overwrite);
  EXPECT_EQ(o.Jobs, 3);
  EXPECT_FALSE(o.IncludeSubfolders);
  EXPECT_EQ(o.Paths, (std::vector<std::string>{"a.jpg", "b"}));

  const ParseResult percent = Parse({"-p", "100", "--prefix", "t_", "x"});
  ASSERT_TRUE(percent.Options);
  EXPECT_EQ(percent.Options->SizeMode, 3);
  EXPECT_EQ(percent.Options->Size, 100);
  EXPECT_EQ(percent.Options->Addition, 0);
}

TEST(CliOptions, ExtrasAreOffByDefaultAndParsedWhenGiven) {
  const ParseResult plain = Parse({"x"});
  ASSERT_TRUE(plain.Options);
  EXPECT_FALSE(plain.Options->AutoOrient);
  EXPECT_FALSE(plain.Options->KeepMetadata);
  EXPECT_FALSE(plain.Options->ShrinkOnly);
  EXPECT_FALSE(plain.Options->Background);
  EXPECT_FALSE(plain.Options->KeepDate);
  EXPECT_EQ(plain.Options->ReportPath, "");

  const ParseResult r = Parse({"--auto-orient", "--keep-metadata", "--shrink-only", "--background",
                                "#FFa500", "--keep-date", "--report", "run.tsv", "x"});
  ASSERT_TRUE(r.Options) << r.Error;
  EXPECT_TRUE(r.Options->AutoOrient);
  EXPECT_TRUE(r.Options->KeepMetadata);
  EXPECT_TRUE(r.Options->ShrinkOnly);
  EXPECT_EQ(r.Options->Background, 0xFFA500u);
  EXPECT_TRUE(r.Options->KeepDate);
  EXPECT_EQ(r.Options->ReportPath, "run.tsv");

  const std::vector<std::pair<const char*, std::optional<uint32_t>>> colours = {
      {"white", 0xFFFFFF},       {"Black", 0x000000},       {"grey", 0x808080},
      {"GRAY", 0x808080},        {"red", 0xFF0000},         {"green", 0x008000},
      {"blue", 0x0000FF},        {"#0a0B0c", 0x0A0B0C},     {"#fff", std::nullopt},
      {"#12345g", std::nullopt}, {"1234567", std::nullopt}, {"", std::nullopt},
      {"reddish", std::nullopt}};
  for (const auto& [text, value] : colours) EXPECT_EQ(ParseColor(text), value) << text;
  const ParseResult bad = Parse({"--background", "chartreuse-ish", "x"});
  EXPECT_FALSE(bad.Options);
  EXPECT_EQ(bad.ExitStatus, 2);
}

TEST(CliOptions, QualityLosslessColourAndTheNewFormats) {
  const ParseResult none = Parse({"x"});
  ASSERT_TRUE(none.Options);
  EXPECT_FALSE(none.Options->Quality);  // each format's own default
  EXPECT_FALSE(none.Options->Lossless);
  EXPECT_FALSE(none.Options->ColourSrgb);
  const ParseResult r = Parse({"-f", "webp", "--default-format", "avif", "--quality", "42",
                                "--lossless", "--colour", "srgb", "x"});
  ASSERT_TRUE(r.Options);
  EXPECT_EQ(r.Options->OutputExt, ".webp");
  EXPECT_EQ(r.Options->DefaultFormat, ".avif");
  EXPECT_EQ(r.Options->Quality, 42);
  EXPECT_TRUE(r.Options->Lossless);
  EXPECT_TRUE(r.Options->ColourSrgb);
  EXPECT_EQ(Parse({"-f", "avif", "x"}).Options->OutputExt, ".avif");
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
    EXPECT_FALSE(r.Options);
    EXPECT_EQ(r.ExitStatus, 2);
    EXPECT_FALSE(r.Error.empty());
  }
  const ParseResult help = Parse({"--help"});
  EXPECT_FALSE(help.Options);
  EXPECT_EQ(help.ExitStatus, 0);
  EXPECT_NE(help.Output.find("--filter"), std::string::npos);
  // The inputs only the command reads are named, with their extensions.
  for (const char* ext : {".heic", ".heif", ".hif", ".avif", ".webp", ".jxl"})
    EXPECT_NE(help.Output.find(ext), std::string::npos) << ext;
  const ParseResult version = Parse({"--version"});
  EXPECT_EQ(version.ExitStatus, 0);
  EXPECT_NE(version.Output.find("5.5"), std::string::npos);
}

}  // namespace
}  // namespace tessane::cli
