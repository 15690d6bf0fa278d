#include "formats/decode_need.h"

#include <cmath>

namespace tessane {

int64_t DecodeNeed::WholeAt(int denominator) const {
  const int64_t d = dct_scaled && denominator > 1 ? denominator : 1;
  const double pixels =
      static_cast<double>((width + d - 1) / d) * static_cast<double>((height + d - 1) / d);
  return fixed + static_cast<int64_t>(std::ceil(per_pixel * pixels));
}

std::vector<uint8_t> ReadHead(ByteStream& stream, size_t count) {
  std::vector<uint8_t> head(count);
  size_t got = 0;
  while (got < count) {
    const size_t n = stream.Read(head.data() + got, count - got);
    if (n == 0) break;
    got += n;
  }
  head.resize(got);
  return head;
}

}  // namespace tessane
