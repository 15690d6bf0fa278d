#include "raster/kernels.h"

#include <cmath>
#include <numbers>

namespace tessane {

namespace {

// Rounds a value formed in double precision to single precision.
inline float F32(double v) {
  return static_cast<float>(v);
}

}  // namespace

std::unique_ptr<Kernel> BoxKernel::Clone() const {
  return std::make_unique<BoxKernel>();
}

float BoxKernel::Evaluate(float x) const {
  return (x >= -0.5f && x <= 0.5f) ? 1.0f : 0.0f;
}

std::unique_ptr<Kernel> LinearKernel::Clone() const {
  return std::make_unique<LinearKernel>();
}

float LinearKernel::Evaluate(float x) const {
  if (x >= -1.0f && x < 0.0f) return F32(1.0 + x);
  if (x >= 0.0f && x < 1.0f) return F32(1.0 - x);
  return 0.0f;
}

std::unique_ptr<Kernel> CosineKernel::Clone() const {
  return std::make_unique<CosineKernel>();
}

float CosineKernel::Evaluate(float x) const {
  if (std::fabs(x) >= 1.0f) return 0.0f;
  // The cosine's argument stays in double: only the result is single.
  return F32((std::cos(std::numbers::pi * static_cast<double>(x)) + 1.0) / 2.0);
}

std::unique_ptr<Kernel> SplineKernel::Clone() const {
  return std::make_unique<SplineKernel>();
}

float SplineKernel::Evaluate(float x) const {
  const float a = std::fabs(x);
  if (a < 1.0f) {
    const float a2 = F32(double{a} * a);
    const float a3 = F32(double{a2} * a);
    return F32(double{a3} / 2.0 - a2 + 2.0 / 3.0);
  }
  if (a < 2.0f) {
    const double t = 2.0 - a;
    return F32(t * t * t / 6.0);
  }
  return 0.0f;
}

std::unique_ptr<Kernel> MitchellKernel::Clone() const {
  return std::make_unique<MitchellKernel>();
}

float MitchellKernel::Evaluate(float x) const {
  const float a = std::fabs(x);
  if (a >= 2.0f) return 0.0f;
  const float a2 = F32(double{a} * a);
  const float a3 = F32(double{a2} * a);
  if (a < 1.0f) return F32((7.0 * a3 - 12.0 * a2 + 16.0 / 3.0) / 6.0);
  return F32((-(7.0 / 3.0) * a3 + 12.0 * a2 - 20.0 * a + 32.0 / 3.0) / 6.0);
}

float Sinc(float t) {
  if (t == 0.0f) return 1.0f;
  const double pt = F32(std::numbers::pi * static_cast<double>(t));
  return F32(std::sin(pt) / pt);
}

float WindowedSincKernel::Evaluate(float x) const {
  const float a = std::fabs(x);
  if (a >= width_) return 0.0f;
  return F32(double{Sinc(a)} * WindowAt(a));
}

std::unique_ptr<Kernel> LanczosKernel::Clone() const {
  auto k = std::make_unique<LanczosKernel>();
  k->SetWidth(Width());
  return k;
}

float LanczosKernel::WindowAt(float a) const {
  return Sinc(F32(double{a} / Width()));
}

}  // namespace tessane
