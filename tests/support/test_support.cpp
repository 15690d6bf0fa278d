#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace tessane::test {

std::string SharedPath(const std::string& relative) {
  constexpr std::string_view kPrefix = "testimages/";
  const std::string_view rest = std::string_view(relative).starts_with(kPrefix)
                                    ? std::string_view(relative).substr(kPrefix.size())
                                    : std::string_view(relative);
  return std::string(TESSANE_SOURCE_DIR) + "/tests/data/samples/" + std::string(rest);
}

bool HaveSharedSamples() {
  return std::filesystem::exists(SharedPath("testimages/MANIFEST.tsv"));
}

std::string DataPath(const std::string& relative) {
  return std::string(TESSANE_SOURCE_DIR) + "/tests/data/" + relative;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessane-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission first so read-only fixtures can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::vector<ManifestRow> ReadManifest() {
  std::vector<ManifestRow> rows;
  const std::string path = SharedPath("testimages/MANIFEST.tsv");
  std::ifstream in(path);
  // A loop over no rows would pass without checking anything.
  if (!in) ADD_FAILURE() << "cannot read " << path;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) cells.push_back(cell);
    if (cells.size() < 7) continue;
    ManifestRow row;
    row.file = cells[0];
    row.format = cells[1];
    row.width = std::atoi(cells[2].c_str());
    row.height = std::atoi(cells[3].c_str());
    row.exercises = cells[4];
    row.expected = cells[5];
    row.reference = cells[6];
    rows.push_back(row);
  }
  if (in.is_open() && rows.empty()) ADD_FAILURE() << path << " lists no samples";
  return rows;
}

}  // namespace tessane::test
