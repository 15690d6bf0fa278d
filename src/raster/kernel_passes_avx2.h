#pragma once
// The AVX2 forms of the kernel resampler's inner passes. They live in their own file, the only
// one of the resampler built with AVX2 code generation, and exist only on x86-64 builds with the
// vector paths on (TESSANE_X86_SIMD); the resampler calls them only when the processor has AVX2.
// Each gives exactly the integers of its portable loop in kernel_resampler.cpp.
//
// Only raw arrays cross this boundary: an inline function or template instantiated in the AVX2
// file could otherwise be picked by the linker for callers running on processors without AVX2.

#include <cstddef>
#include <cstdint>

namespace tessane::avx2 {

/// Runs of consecutive source indices with their weights (one run per destination index):
/// run i covers count[i] sources from start[i], its weights begin at weights + offset[i].
template <typename Weight>
struct Runs {
  const int32_t* start;
  const int32_t* count;
  const int32_t* offset;
  const Weight* weights;
};

/// True when the processor runs AVX2 code.
bool CpuHasAvx2();

/// Per-column sums of `span` pixels over pairs of source rows: pair p adds rowsA[p] times the
/// low 16 bits of pairWeights[p] and rowsB[p] times its high 16 bits.
void VerticalPairs(const uint8_t* const* rowsA, const uint8_t* const* rowsB,
                   const int32_t* pairWeights, size_t pairs, size_t span, int32_t* sums);

/// Destination pixels first..last-1 from per-column sums starting at source column lo. The
/// weights come in pairs spread over 8 lanes (the first weight 4 times, then the second; an odd
/// run ends with a 0), and an odd run reads one pixel of sums past its end.
void HorizontalPairs(const Runs<int32_t>& runs, const int32_t* sums, int32_t lo, size_t first,
                     size_t last, uint32_t* out);

/// Per-column sums of one source row. `row` holds source columns lo.. followed by at least 3
/// zero pixels; each run's 16-bit weights are padded with zeros to a multiple of 4.
void RowSums(const uint8_t* row, const Runs<int16_t>& runs, int32_t lo, size_t columns,
             int32_t* sums);

/// Destination pixels from n rows of per-column sums and their weights. Does the columns in
/// pairs and returns how many it did (`columns` rounded down to even); the caller does the rest.
size_t Combine(const int32_t* const* rows, const int32_t* w, int32_t n, size_t columns,
               uint32_t* out);

}  // namespace tessane::avx2
