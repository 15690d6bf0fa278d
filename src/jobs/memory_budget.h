#pragma once
// The memory budget of a run: the pictures under way together stay within it. A job reserves
// its picture's estimated peak before decoding and gives it back once its output is written;
// a reservation that does not fit beside the others waits for room, and one that does not fit
// even alone fails at once.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace tessane {

class MemoryBudget {
 public:
  /// Holds bytes of the budget until it is destroyed (or moved from).
  class Reservation {
   public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept;
    Reservation& operator=(Reservation&& other) noexcept;
    ~Reservation();
    int64_t Bytes() const { return bytes_; }
    /// Gives back what is held beyond `bytes` (never waits).
    void ShrinkTo(int64_t bytes);

   private:
    friend class MemoryBudget;
    Reservation(MemoryBudget* budget, int64_t bytes) : budget_(budget), bytes_(bytes) {}
    void Release();
    MemoryBudget* budget_ = nullptr;
    int64_t bytes_ = 0;
  };

  explicit MemoryBudget(int64_t bytes);
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  int64_t Bytes() const { return capacity_; }
  /// Bytes reserved now.
  int64_t InUse() const;

  /// Whether a picture of this need can ever be taken.
  bool Fits(int64_t bytes) const { return bytes <= capacity_; }
  /// Waits until `bytes` fit beside the reservations under way, then holds them. Bytes beyond
  /// the whole budget are clamped to it: the caller checked Fits, or takes the budget alone.
  /// A raised `cancel` ends the wait with AbortError "Interrupted".
  Reservation Reserve(int64_t bytes, const std::atomic<bool>* cancel = nullptr);

 private:
  void GiveBack(int64_t bytes);

  const int64_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable room_;
  int64_t in_use_ = 0;
};

/// The default budget: the smaller of 2 GiB and half the physical memory.
int64_t DefaultMemoryBudget();

/// "512 MiB", "1.5 GiB": a byte count for messages.
std::string FormatMemorySize(int64_t bytes);

/// The message of a picture that needs more than the whole budget.
std::string OverBudgetMessage(int64_t width, int64_t height, int64_t need, int64_t budget);

}  // namespace tessane
