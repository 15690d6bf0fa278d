#include "jobs/memory_budget.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/errors.h"

namespace tessane {

MemoryBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

MemoryBudget::Reservation& MemoryBudget::Reservation::operator=(Reservation&& other) noexcept {
  if (this != &other) {
    Release();
    budget_ = std::exchange(other.budget_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

MemoryBudget::Reservation::~Reservation() {
  Release();
}

void MemoryBudget::Reservation::ShrinkTo(int64_t bytes) {
  if (budget_ == nullptr || bytes >= bytes_) return;
  budget_->GiveBack(bytes_ - std::max<int64_t>(bytes, 0));
  bytes_ = std::max<int64_t>(bytes, 0);
}

void MemoryBudget::Reservation::Release() {
  if (budget_ != nullptr) budget_->GiveBack(bytes_);
  budget_ = nullptr;
  bytes_ = 0;
}

MemoryBudget::MemoryBudget(int64_t bytes) : capacity_(std::max<int64_t>(bytes, 0)) {}

int64_t MemoryBudget::InUse() const {
  std::lock_guard lock(mutex_);
  return in_use_;
}

MemoryBudget::Reservation MemoryBudget::Reserve(int64_t bytes, const std::atomic<bool>* cancel) {
  bytes = std::clamp<int64_t>(bytes, 0, capacity_);
  std::unique_lock lock(mutex_);
  // A stop comes from a signal handler, which cannot notify: the wait looks at it now and then.
  while (in_use_ + bytes > capacity_) {
    if (cancel != nullptr && cancel->load()) throw AbortError("Interrupted");
    room_.wait_for(lock, std::chrono::milliseconds(100));
  }
  in_use_ += bytes;
  return Reservation(this, bytes);
}

void MemoryBudget::GiveBack(int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    in_use_ -= bytes;
  }
  room_.notify_all();
}

int64_t DefaultMemoryBudget() {
  constexpr int64_t kMost = int64_t{2} << 30;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return kMost;
  return std::min(kMost, static_cast<int64_t>(pages) * page_size / 2);
}

std::string FormatMemorySize(int64_t bytes) {
  constexpr const char* kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  if (unit == 0) return Format("%lld bytes", static_cast<long long>(bytes));
  return value < 10 ? Format("%.1f %s", value, kUnits[unit])
                    : Format("%.0f %s", value, kUnits[unit]);
}

std::string OverBudgetMessage(int64_t width, int64_t height, int64_t need, int64_t budget) {
  return Format(
      "A picture of %lld x %lld pixels needs about %s of memory, more than the memory "
      "budget of %s",
      static_cast<long long>(width), static_cast<long long>(height), FormatMemorySize(need).c_str(),
      FormatMemorySize(budget).c_str());
}

}  // namespace tessane
