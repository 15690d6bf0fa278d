#pragma once
// Separable kernel resampling: one mapping table per axis lists, for every destination column
// (row) of the clip, the source columns (rows) that contribute and their integer weights in
// 1/256 units, which add up to exactly 256. Rows are combined first into per-column sums, then
// the sums along each column cluster; all arithmetic is integer, so results are exact.

#include <cstdint>
#include <memory>
#include <vector>

#include "raster/kernels.h"
#include "raster/resampler.h"

namespace tessane {

/// One contributing source column (row) and its weight in 1/256 units (may be negative).
struct ClusterEntry {
  int32_t source_index = 0;
  int32_t weight = 0;
  bool operator==(const ClusterEntry&) const = default;
};
/// Entries in order of increasing sample position; clamped edge samples repeat an index.
using Cluster = std::vector<ClusterEntry>;
/// One cluster per destination column (row) of the clip, in order.
using MappingTable = std::vector<Cluster>;

/// The mapping of destination range [dstLo, dstHi), clipped to [clipLo, clipHi), onto source
/// range [srcLo, srcHi) with `kernel`. Empty when either range is empty. Every source index lies
/// in [srcLo, srcHi) and every cluster's weights add up to 256.
MappingTable BuildMapping(int32_t dstLo, int32_t dstHi, int32_t clipLo, int32_t clipHi,
                           int32_t srcLo, int32_t srcHi, const Kernel& kernel);

/// Scales srcRect of src onto dstRect of dst with `kernel`, writing exactly dstClip (which lies
/// inside dst and dstRect; srcRect lies inside src). Channels are saturated to 0..255.
void KernelResample(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                    const ArgbImage& src, const Rect& srcRect, const Kernel& kernel);

/// The ways KernelResample can compute the same values: the literal per-entry loops (the
/// reference: rows first, then columns), and portable or AVX2 loops over merged weights with
/// the vertical pass first, as the reference, or the horizontal pass first (each source row
/// read once). kAuto, what KernelResample uses, takes AVX2 when the processor has it and the
/// order that costs less for the two tables.
enum class KernelPath {
  kAuto,
  kReference,
  kPortableVerticalFirst,
  kPortableHorizontalFirst,
  kAvx2VerticalFirst,
  kAvx2HorizontalFirst,
};
/// True when this processor runs the AVX2 paths.
bool KernelResampleUsesAvx2();
/// KernelResample through a chosen path. AVX2 paths run portable on a processor without AVX2;
/// horizontal-first paths run vertical-first where their row buffer would grow too large.
void KernelResampleVia(KernelPath path, ArgbImage& dst, const Rect& dstRect, const Rect& dstClip,
                       const ArgbImage& src, const Rect& srcRect, const Kernel& kernel);

/// The resampler of the kernel filters; starts with a BoxKernel.
class KernelResampler : public Resampler {
 public:
  KernelResampler();
  const char* ClassName() const override { return "TKernelResampler"; }
  void Stretch(ArgbImage& dst, const Rect& dstRect, const Rect& dstClip, const ArgbImage& src,
               const Rect& srcRect) const override;
  /// Works from rows wherever the horizontal pass goes first (the sums fit 32 bits and the ring
  /// of row sums its budget), keeping only the band of source rows a destination row needs.
  bool StretchRows(ArgbImage& dst, RowSource& src) const override;

  const Kernel& kernel() const { return *kernel_; }
  /// Replaces the kernel (nothing for nullptr or the current one).
  void SetKernel(std::unique_ptr<Kernel> kernel);

 private:
  std::unique_ptr<Kernel> kernel_;
};

}  // namespace tessane
