#pragma once
// Helpers shared by the test suites: the public samples, temporary folders, whole-file I/O.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tessane::test {

/// Path of a file under ../shared (e.g. "testimages/png/basn0g01.png").
std::string SharedPath(const std::string& relative);
/// True when the public samples are present next to the repository.
bool HaveSharedSamples();
/// Path of a fixture under tests/data.
std::string DataPath(const std::string& relative);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

/// A fresh temporary folder, removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  /// Path() + "/" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

/// One row of testimages/MANIFEST.tsv.
struct ManifestRow {
  std::string file, format;
  int width = 0, height = 0;
  std::string exercises, expected, reference;
};
std::vector<ManifestRow> ReadManifest();

}  // namespace tessane::test

/// Skips the test when ../shared/testimages is not there.
#define REQUIRE_SHARED_SAMPLES()                                              \
  do {                                                                        \
    if (!::tessane::test::HaveSharedSamples()) GTEST_SKIP() << "no shared samples"; \
  } while (0)
