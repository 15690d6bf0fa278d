#include "base/cancel.h"

#include "base/errors.h"

namespace tessane {

namespace {
thread_local const std::atomic<bool>* t_flag = nullptr;
}  // namespace

CancelScope::CancelScope(const std::atomic<bool>* flag) noexcept : previous_(t_flag) {
  t_flag = flag;
}

CancelScope::~CancelScope() {
  t_flag = previous_;
}

bool Cancelled() noexcept {
  const std::atomic<bool>* flag = t_flag;
  return flag != nullptr && flag->load(std::memory_order_relaxed);
}

void ThrowIfCancelled() {
  if (Cancelled()) throw AbortError("Interrupted");
}

}  // namespace tessane
