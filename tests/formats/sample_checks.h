#pragma once
// Checks shared by the reader suites: loading bytes into a graphic class, comparing a bitmap
// with a reference decode, walking the public samples of a format and damaging them.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/bmp/dib_image.h"

namespace tessane::test {

/// Loads the bytes into a new graphic of class G (exceptions pass through).
template <class G>
std::unique_ptr<G> LoadBytes(const std::vector<uint8_t>& bytes) {
  auto graphic = std::make_unique<G>();
  ReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  graphic->LoadFromStream(stream);
  return graphic;
}

/// The message of the program error that loading throws; "" when the bytes load.
template <class G>
std::string LoadError(const std::vector<uint8_t>& bytes) {
  try {
    LoadBytes<G>(bytes);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

/// For each case (name, file, message): a graphic of class G that holds `good` is loaded again
/// from the case's bytes, which must fail with the case's message and leave the graphic empty.
template <class G, class Cases>
void ExpectFailedLoadsLeaveNothing(const std::vector<uint8_t>& good, const Cases& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    G graphic;
    ReadOnlyMemoryStream first(good.data(), good.size());
    graphic.LoadFromStream(first);
    ReadOnlyMemoryStream stream(c.file.data(), c.file.size());
    try {
      graphic.LoadFromStream(stream);
      ADD_FAILURE() << "loaded";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_TRUE(graphic.Empty()) << "a failed load leaves no picture behind";
  }
}

/// Pixel (x, y) of the bitmap as $AARRGGBB.
uint32_t PixelAt(const DibImage& bitmap, int32_t x, int32_t y);

/// The bitmap against an RGBA reference PNG: same size, every channel of the premultiplied
/// pixels within `tolerance`.
::testing::AssertionResult MatchesReference(const DibImage& bitmap, const std::string& png_path,
                                            int tolerance);

/// The messages a reader of one format may fail with.
using MessageSet = std::set<std::string>;
/// Loads bytes with one reader class.
using LoadFn = std::function<std::unique_ptr<DibImage>(const std::vector<uint8_t>&)>;

/// Every public sample of `format` in the manifest, loaded with `load`: files marked "loads"
/// load with the listed size and match their reference; "must fail cleanly" fail with one of
/// `messages`; the rest do either, and match their reference when they load. `tolerance` gives
/// the allowed channel difference per file (default 2; negative: the manifest's expectation
/// does not hold for this reader and the caller checks the file itself).
void CheckManifestSamples(const std::string& format, const LoadFn& load, const MessageSet& messages,
                          const std::function<int(const std::string&)>& tolerance = nullptr);

/// Cuts every public sample of `format` that loads at several lengths and flips bytes in it:
/// files cut to half of their picture data or less fail with one of `messages`, and no variant
/// may fail otherwise. `picture_bytes` tells how many leading bytes hold the picture (default:
/// the whole file).
void CheckDamagedSamples(
    const std::string& format, const LoadFn& load, const MessageSet& messages,
    const std::function<size_t(const std::vector<uint8_t>&)>& picture_bytes = nullptr);

/// Every file in tests/data/<folder> that has its decode beside it as <file>.png (files written
/// by other programs) loads and matches that decode within `tolerance`. Returns how many.
int CheckFilesWithDecodes(const std::string& folder, const LoadFn& load, int tolerance);

/// True when a program of this name is on the PATH.
bool HaveTool(const std::string& name);
/// Runs a shell command quietly; true when it exits with 0.
bool RunQuietly(const std::string& command);

}  // namespace tessane::test
