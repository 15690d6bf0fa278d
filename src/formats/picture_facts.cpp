#include "formats/picture_facts.h"

#include <algorithm>
#include <cstring>

#include "formats/metadata/exif_date.h"

namespace tessane {

namespace {
constexpr uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";  // with its NUL: 29 bytes
constexpr char kIccId[] = "ICC_PROFILE";                   // with its NUL: 12 bytes
constexpr size_t kIccChunkBytes = 65519;
}  // namespace

std::vector<std::vector<uint8_t>> IccProfileChunks(const std::vector<uint8_t>& profile) {
  std::vector<std::vector<uint8_t>> chunks;
  const size_t count = (profile.size() + kIccChunkBytes - 1) / kIccChunkBytes;
  if (count == 0 || count > 255) return chunks;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = i * kIccChunkBytes;
    const size_t n = std::min(kIccChunkBytes, profile.size() - at);
    std::vector<uint8_t> chunk(kIccId, kIccId + sizeof kIccId);
    chunk.push_back(static_cast<uint8_t>(i + 1));
    chunk.push_back(static_cast<uint8_t>(count));
    chunk.insert(chunk.end(), profile.begin() + static_cast<ptrdiff_t>(at),
                 profile.begin() + static_cast<ptrdiff_t>(at + n));
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

void SetExifFacts(PictureFacts& facts, const std::vector<uint8_t>& exif) {
  facts.metadata.exif.clear();
  if (exif.empty()) return;
  const bool prefixed =
      exif.size() >= sizeof kExifId && std::memcmp(exif.data(), kExifId, sizeof kExifId) == 0;
  if (!prefixed) facts.metadata.exif.assign(kExifId, kExifId + sizeof kExifId);
  facts.metadata.exif.insert(facts.metadata.exif.end(), exif.begin(), exif.end());
  facts.orientation = ExifOrientation(facts.metadata.exif);
  facts.capture_date = ExifDateTimeOriginal(facts.metadata.exif);
}

void SetXmpFacts(PictureFacts& facts, const std::vector<uint8_t>& packet) {
  facts.metadata.xmp.clear();
  if (packet.empty()) return;
  std::vector<uint8_t> payload(kXmpId, kXmpId + sizeof kXmpId);
  payload.insert(payload.end(), packet.begin(), packet.end());
  facts.metadata.xmp.push_back(std::move(payload));
}

void SetIccFacts(PictureFacts& facts, std::vector<uint8_t> profile) {
  facts.metadata.icc = IccProfileChunks(profile);
  facts.icc = facts.metadata.icc.empty() ? std::vector<uint8_t>{} : std::move(profile);
}

}  // namespace tessane
