#include "formats/eps/eps_graphic.h"

#include "base/byte_order.h"
#include "base/errors.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "EPS";
constexpr size_t kHeaderSize = 30;

}  // namespace

void EpsGraphic::Decode(ByteStream& stream) {
  const std::vector<uint8_t> file = stream.ReadAll();
  if (file.size() >= 4 &&
      !(file[0] == 0xC5 && file[1] == 0xD0 && file[2] == 0xD3 && file[3] == 0xC6))
    FailInvalid(kLabel);
  if (file.size() < kHeaderSize) throw StreamReadError("Stream read error");
  const uint64_t offset = LoadLe32(file.data() + 20);
  const uint64_t length = LoadLe32(file.data() + 24);
  // No preview, or one that lies outside the file.
  if (offset == 0 || length == 0 || offset + length > file.size()) FailInvalid(kLabel);
  DecodeTiff(file.data() + offset, static_cast<size_t>(length), kLabel);
}

}  // namespace tessane
