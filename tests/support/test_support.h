#pragma once
// Helpers shared by the test suites: the public samples, temporary folders, whole-file I/O.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tessane::test {

/// Path of a public sample named as "testimages/<format>/<file>" (the MANIFEST's file and
/// reference columns with that prefix); the samples live in tests/data/samples.
std::string SharedPath(const std::string& relative);
/// True when the public samples and their MANIFEST are in the source tree.
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

/// Fails the test when the public samples are missing: they belong to the repository, so a
/// checkout without them is broken rather than a reason to skip.
#define REQUIRE_SHARED_SAMPLES()                                                        \
  do {                                                                                  \
    if (!::tessane::test::HaveSharedSamples())                                          \
      GTEST_FAIL() << "public samples missing: " << ::tessane::test::SharedPath("testimages/MANIFEST.tsv"); \
  } while (0)
