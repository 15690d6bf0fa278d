#include "base/muldiv.h"

#include <cstdlib>
#include <limits>

#include "base/errors.h"

namespace tessane {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const uint64_t magnitude = static_cast<uint64_t>(std::llabs(product));
  const uint64_t divisor = static_cast<uint64_t>(std::llabs(static_cast<int64_t>(c)));
  const uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0))
    return -1;
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(quotient))
                  : static_cast<int32_t>(quotient);
}

uint16_t MulDivWord(int32_t a, int32_t b, int32_t c) {
  const uint32_t x = static_cast<uint32_t>(a) & 0xFFFFu;
  const uint32_t y = static_cast<uint32_t>(b) & 0xFFFFu;
  const uint32_t z = static_cast<uint32_t>(c) & 0xFFFFu;
  if (z == 0) throw DivisionByZeroError("Division by zero");
  const uint32_t quotient = (x * y) / z;
  if (quotient > 0xFFFFu) throw IntegerOverflowError("Arithmetic overflow");
  return static_cast<uint16_t>(quotient);
}

}  // namespace tessane
