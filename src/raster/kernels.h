#pragma once
// Resampling kernels: continuous weight functions evaluated while the mapping tables of the
// kernel resampler are built. Every argument and result is a single-precision float, and the
// intermediate values named in each Evaluate are rounded to single precision as they are formed,
// so the integer weights derived from them are reproducible bit for bit.

#include <memory>

namespace tessane {

/// Base of all kernels: Evaluate(x) gives the weight of a sample at distance x, Radius() the
/// half-width of the support, NeedsClamp() whether results can leave 0..1 (negative lobes).
class Kernel {
 public:
  virtual ~Kernel() = default;
  virtual const char* ClassName() const = 0;
  /// A new kernel of the same class with the same settings.
  virtual std::unique_ptr<Kernel> Clone() const = 0;
  virtual float Evaluate(float x) const = 0;
  virtual float Radius() const = 0;
  virtual bool NeedsClamp() const { return false; }
};

/// 1 on [-0.5, 0.5] (both ends included), else 0. Radius 1: the mapping visits twice the
/// support, the extra samples get weight 0.
class BoxKernel : public Kernel {
 public:
  const char* ClassName() const override { return "TBoxKernel"; }
  std::unique_ptr<Kernel> Clone() const override;
  float Evaluate(float x) const override;
  float Radius() const override { return 1.0f; }
};

/// The triangle 1 - |x| on (-1, 1).
class LinearKernel : public Kernel {
 public:
  const char* ClassName() const override { return "TLinearKernel"; }
  std::unique_ptr<Kernel> Clone() const override;
  float Evaluate(float x) const override;
  float Radius() const override { return 1.0f; }
};

/// (cos(pi x) + 1) / 2 on (-1, 1).
class CosineKernel : public Kernel {
 public:
  const char* ClassName() const override { return "TCosineKernel"; }
  std::unique_ptr<Kernel> Clone() const override;
  float Evaluate(float x) const override;
  float Radius() const override { return 1.0f; }
};

/// The cubic B-spline, radius 2.
class SplineKernel : public Kernel {
 public:
  const char* ClassName() const override { return "TSplineKernel"; }
  std::unique_ptr<Kernel> Clone() const override;
  float Evaluate(float x) const override;
  float Radius() const override { return 2.0f; }
  bool NeedsClamp() const override { return true; }
};

/// The Mitchell-Netravali cubic with B = C = 1/3, radius 2.
class MitchellKernel : public Kernel {
 public:
  const char* ClassName() const override { return "TMitchellKernel"; }
  std::unique_ptr<Kernel> Clone() const override;
  float Evaluate(float x) const override;
  float Radius() const override { return 2.0f; }
  bool NeedsClamp() const override { return true; }
};

/// sinc(t) = sin(pi t) / (pi t), 1 at 0; pi t is rounded to single before the sine and the
/// quotient, the quotient (taken in double) is returned as a single.
float Sinc(float t);

/// A sinc windowed over |x| < Width(); Width is 3 when created.
class WindowedSincKernel : public Kernel {
 public:
  float Evaluate(float x) const override;
  float Radius() const override { return width_; }
  bool NeedsClamp() const override { return true; }
  float Width() const { return width_; }
  void SetWidth(float width) { width_ = width; }
  /// The window's value at a (a = |x| < Width()).
  virtual float WindowAt(float a) const = 0;

 private:
  float width_ = 3.0f;
};

/// Lanczos: sinc(a) x sinc(a / Width).
class LanczosKernel : public WindowedSincKernel {
 public:
  const char* ClassName() const override { return "TLanczosKernel"; }
  std::unique_ptr<Kernel> Clone() const override;
  float WindowAt(float a) const override;
};

}  // namespace tessane
