#include "formats/sample_checks.h"

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"

namespace tessane::test {

namespace {

uint32_t Premultiplied(uint32_t argb) {
  const uint32_t a = argb >> 24;
  auto channel = [&](int shift) { return (((argb >> shift) & 0xFF) * a + 127) / 255; };
  return (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

int ChannelDifference(uint32_t p, uint32_t q) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8)
    worst = std::max(worst, std::abs(static_cast<int>((p >> shift) & 0xFF) -
                                     static_cast<int>((q >> shift) & 0xFF)));
  return worst;
}

// Loads and reports a program error as its message (other exceptions are test failures).
std::string TryLoad(const LoadFn& load, const std::vector<uint8_t>& bytes,
                    std::unique_ptr<DibImage>* result = nullptr) {
  try {
    auto bitmap = load(bytes);
    if (result) *result = std::move(bitmap);
    return "";
  } catch (const Exception& e) {
    return e.what();
  }
}

}  // namespace

uint32_t PixelAt(const DibImage& bitmap, int32_t x, int32_t y) {
  std::vector<uint32_t> row(static_cast<size_t>(bitmap.Width()));
  bitmap.ToColor32Row(y, row.data());
  return row[static_cast<size_t>(x)];
}

::testing::AssertionResult MatchesReference(const DibImage& bitmap, const std::string& png_path,
                                            int tolerance) {
  const QImage reference =
      QImage(QString::fromStdString(png_path)).convertToFormat(QImage::Format_ARGB32);
  if (reference.isNull()) return ::testing::AssertionFailure() << "cannot read " << png_path;
  if (reference.width() != bitmap.Width() || reference.height() != bitmap.Height())
    return ::testing::AssertionFailure()
           << "size " << bitmap.Width() << "x" << bitmap.Height() << ", reference "
           << reference.width() << "x" << reference.height();
  std::vector<uint32_t> row(static_cast<size_t>(bitmap.Width()));
  int worst = 0, worst_x = 0, worst_y = 0;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    bitmap.ToColor32Row(y, row.data());
    const auto* expected = reinterpret_cast<const uint32_t*>(reference.constScanLine(y));
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      const int d = ChannelDifference(Premultiplied(row[x]), Premultiplied(expected[x]));
      if (d > worst) worst = d, worst_x = x, worst_y = y;
    }
  }
  if (worst > tolerance) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X vs 0x%08X", PixelAt(bitmap, worst_x, worst_y),
                  reinterpret_cast<const uint32_t*>(reference.constScanLine(worst_y))[worst_x]);
    return ::testing::AssertionFailure()
           << "differs by " << worst << " at (" << worst_x << ", " << worst_y << "): " << text;
  }
  return ::testing::AssertionSuccess();
}

void CheckManifestSamples(const std::string& format, const LoadFn& load, const MessageSet& messages,
                          const std::function<int(const std::string&)>& tolerance) {
  int seen = 0;
  for (const ManifestRow& row : ReadManifest()) {
    if (row.format != format) continue;
    ++seen;
    const int allowed = tolerance ? tolerance(row.file) : 2;
    if (allowed < 0) continue;
    SCOPED_TRACE(row.file);
    const std::vector<uint8_t> bytes = ReadBytes(SharedPath("testimages/" + row.file));
    ASSERT_FALSE(bytes.empty());
    std::unique_ptr<DibImage> bitmap;
    const std::string error = TryLoad(load, bytes, &bitmap);
    const bool must_load = row.expected == "loads";
    const bool must_fail = row.expected == "must fail cleanly";
    if (!error.empty()) {
      EXPECT_FALSE(must_load) << "failed: " << error;
      EXPECT_TRUE(messages.count(error)) << "unexpected message: " << error;
      continue;
    }
    EXPECT_FALSE(must_fail) << "loaded although it must fail";
    if (must_load) {
      EXPECT_EQ(bitmap->Width(), row.width);
      EXPECT_EQ(bitmap->Height(), row.height);
    }
    if (row.reference.rfind("reference/", 0) == 0) {
      EXPECT_TRUE(MatchesReference(*bitmap, SharedPath("testimages/" + row.reference), allowed));
    }
  }
  EXPECT_GT(seen, 0) << "no samples of " << format;
}

void CheckDamagedSamples(const std::string& format, const LoadFn& load, const MessageSet& messages,
                         const std::function<size_t(const std::vector<uint8_t>&)>& picture_bytes) {
  for (const ManifestRow& row : ReadManifest()) {
    if (row.format != format || row.expected != "loads") continue;
    SCOPED_TRACE(row.file);
    const std::vector<uint8_t> bytes = ReadBytes(SharedPath("testimages/" + row.file));
    const size_t essential = picture_bytes ? picture_bytes(bytes) : bytes.size();
    for (const size_t cut : {size_t{1}, size_t{17}, essential / 2, bytes.size() - 1}) {
      if (cut >= bytes.size()) continue;  // tiny files
      SCOPED_TRACE("cut to " + std::to_string(cut));
      const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);
      const std::string error = TryLoad(load, part);
      if (cut <= essential / 2) {
        EXPECT_FALSE(error.empty()) << "loaded";
      }
      if (!error.empty()) {
        EXPECT_TRUE(messages.count(error)) << "unexpected message: " << error;
      }
    }
    // Flipped bytes: the header's fields one by one, then spots spread over the rest.
    std::vector<size_t> spots;
    for (size_t i = 0; i < std::min<size_t>(bytes.size(), 32); ++i) spots.push_back(i);
    for (size_t k = 1; k < 16; ++k) spots.push_back(bytes.size() * k / 16);
    for (const size_t at : spots) {
      SCOPED_TRACE("flipped byte " + std::to_string(at));
      std::vector<uint8_t> damaged = bytes;
      damaged[at] ^= 0xFF;
      const std::string error = TryLoad(load, damaged);
      if (!error.empty()) {
        EXPECT_TRUE(messages.count(error)) << "unexpected message: " << error;
      }
    }
  }
}

int CheckFilesWithDecodes(const std::string& folder, const LoadFn& load, int tolerance) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(DataPath(folder))) {
    const std::string path = entry.path().string();
    if (std::filesystem::exists(path + ".png")) files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    std::unique_ptr<DibImage> bitmap;
    const std::string error = TryLoad(load, ReadBytes(path), &bitmap);
    EXPECT_EQ(error, "");
    if (bitmap) {
      EXPECT_TRUE(MatchesReference(*bitmap, path + ".png", tolerance));
    }
  }
  return static_cast<int>(files.size());
}

bool HaveTool(const std::string& name) {
  return RunQuietly("command -v " + name);
}

bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace tessane::test
