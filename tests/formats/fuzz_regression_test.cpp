// Inputs the fuzzers once crashed on (tests/data/fuzz): every one of them, given to every reader
// class of the registry and every reader tessane-cli adds, must either load and draw, or fail
// with the program's own error.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/graphic.h"
#include "formats/heif/heif_graphic.h"
#include "formats/jxl/jxl_graphic.h"
#include "formats/format_registry.h"
#include "formats/webp/webp_graphic.h"
#include "support/test_support.h"

namespace tessane {
namespace {

std::vector<std::string> Fixtures() {
  std::vector<std::string> files;
  const std::filesystem::path dir = test::DataPath("fuzz");
  if (!std::filesystem::is_directory(dir)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// One registration per reader.
std::vector<const FileFormat*> Readers() {
  RegisterStandardFormats();
  std::vector<const FileFormat*> readers;
  for (const FileFormat& f : Formats().Entries())
    if (std::none_of(readers.begin(), readers.end(),
                     [&](const FileFormat* r) { return r->create == f.create; }))
      readers.push_back(&f);
  // The readers only tessane-cli registers.
  static const FileFormat kCommandLineOnly[] = {{"heic", "", MakeGraphic<HeifGraphic>},
                                                {"avif", "", MakeGraphic<AvifGraphic>},
                                                {"webp", "", MakeGraphic<WebpGraphic>},
                                                {"jxl", "", MakeGraphic<JxlGraphic>}};
  for (const FileFormat& f : kCommandLineOnly) readers.push_back(&f);
  return readers;
}

TEST(FuzzRegression, EveryFixtureLoadsOrFailsCleanlyWithEveryReader) {
  const std::vector<std::string> files = Fixtures();
  ASSERT_FALSE(files.empty()) << "tests/data/fuzz holds the fuzzers' findings";
  for (const std::string& file : files) {
    const std::vector<uint8_t> bytes = test::ReadBytes(file);
    for (const FileFormat* reader : Readers()) {
      SCOPED_TRACE(file + " as ." + reader->ext);
      std::unique_ptr<Graphic> graphic = reader->create();
      ReadOnlyMemoryStream stream(bytes.data(), bytes.size());
      try {
        graphic->LoadFromStream(stream);
      } catch (const Exception&) {
        continue;
      }
      const int32_t w = graphic->Width(), h = graphic->Height();
      // Fixtures are small; a picture this large would itself be a finding.
      ASSERT_LE(int64_t{w} * h, int64_t{1} << 22);
      if (w <= 0 || h <= 0) continue;
      // Drawn larger and offset, so clipping and scaling run too.
      std::vector<uint32_t> pixels(static_cast<size_t>(w + 3) * (h + 3), 0);
      const ArgbView surface{pixels.data(), w + 3, h + 3, w + 3};
      try {
        graphic->Draw(surface, Rect{0, 0, w, h});
        graphic->Draw(surface, Rect{-1, 2, w + 5, h + 2});
      } catch (const Exception&) {
      }
    }
  }
}

}  // namespace
}  // namespace tessane
