// The public samples belong to the repository: every file the MANIFEST names, input and
// reference decode, is there, so that no sample test passes over a file that is missing.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace tessane::test {
namespace {

TEST(Samples, EveryManifestRowHasItsFileAndReference) {
  REQUIRE_SHARED_SAMPLES();
  const std::vector<ManifestRow> rows = ReadManifest();
  EXPECT_GT(rows.size(), 500u);
  size_t references = 0;
  for (const ManifestRow& row : rows) {
    EXPECT_TRUE(std::filesystem::is_regular_file(SharedPath("testimages/" + row.file))) << row.file;
    if (row.reference.starts_with("no-reference")) continue;
    ++references;
    EXPECT_TRUE(std::filesystem::is_regular_file(SharedPath("testimages/" + row.reference)))
        << row.reference;
  }
  EXPECT_GT(references, 300u);
  EXPECT_TRUE(std::filesystem::is_regular_file(SharedPath("testimages/LICENSES.md")));
}

}  // namespace
}  // namespace tessane::test
