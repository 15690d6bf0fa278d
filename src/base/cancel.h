#pragma once
// The stop flag of the work running on this thread. A job sets it for its thread with a
// CancelScope; long loops below it (file reads, decoders' and resamplers' rows) poll it, so that
// a stop does not wait for a large picture to be read and decoded whole.

#include <atomic>

namespace tessane {

/// Makes `flag` (may be null: none) this thread's stop flag until the scope ends; the one before
/// it comes back then.
class CancelScope {
 public:
  explicit CancelScope(const std::atomic<bool>* flag) noexcept;
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  const std::atomic<bool>* previous_;
};

/// True when this thread's work was asked to stop.
bool Cancelled() noexcept;

/// Throws AbortError "Interrupted" when this thread's work was asked to stop.
void ThrowIfCancelled();

}  // namespace tessane
