#pragma once
// Integer scaling helpers used by the target-size arithmetic and the metafile writer.

#include <cstdint>

namespace tessane {

/// a * b / c with a 64-bit product, rounded to nearest, halves away from zero.
/// Returns -1 when c is 0 or the result does not fit 32 bits (the Windows convention).
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

/// Low 16 bits of a and b multiplied in 32 bits, divided by the low 16 bits of c, truncating.
/// Throws DivisionByZeroError ("Division by zero") for c = 0 and IntegerOverflowError ("Arithmetic overflow")
/// when the quotient exceeds 65535.
uint16_t MulDivWord(int32_t a, int32_t b, int32_t c);

}  // namespace tessane
