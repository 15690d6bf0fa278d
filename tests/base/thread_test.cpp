#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"

namespace tessane {
namespace {

// Pumps the queue until `done` holds. The deadline only keeps a broken queue from hanging the
// suite; nothing here measures speed.
template <class Predicate>
bool PumpUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    CheckSynchronize();
    std::this_thread::yield();
  }
  return true;
}

template <class Predicate>
bool WaitUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// What the workers report back, shared with the test.
struct Log {
  std::mutex lock;
  std::vector<std::string> entries;
  void Add(const std::string& s) {
    std::lock_guard<std::mutex> hold(lock);
    entries.push_back(s);
  }
  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> hold(lock);
    return entries;
  }
};

// A job like the real ones: hands `work` to the main thread; records on its own thread what
// Synchronize rethrew, and that it was deleted.
class TestJob : public Thread {
 public:
  TestJob(bool suspended, std::function<void()> work, Log& log, std::string name)
      : Thread(suspended), work_(std::move(work)), log_(log), name_(std::move(name)) {
    if (!suspended) Start();
  }
  ~TestJob() override { log_.Add(name_ + " deleted"); }

 protected:
  void Execute() override {
    try {
      Synchronize(work_);
    } catch (const std::exception& e) {
      log_.Add(name_ + " worker saw: " + e.what());
      throw;
    }
  }

 private:
  std::function<void()> work_;
  Log& log_;
  std::string name_;
};

// Counts requests as they join the queue (the wake-up hook runs under the queue lock).
class WakeCounter {
 public:
  WakeCounter() {
    SetWakeMainThread([this] { ++count_; });
  }
  ~WakeCounter() { SetWakeMainThread(nullptr); }
  int Count() const { return count_; }
  bool WaitFor(int n) const {
    return WaitUntil([&] { return count_.load() >= n; });
  }

 private:
  std::atomic<int> count_{0};
};

TEST(WorkQueue, RunsRequestsInQueueOrderOnTheMainThread) {
  WakeCounter wakes;
  Log log;
  std::vector<std::string> ran;
  for (int i = 0; i < 4; ++i) {
    const std::string name = "job" + std::to_string(i);
    NewThread<TestJob>(
        false,
        [&ran, name] {
          EXPECT_TRUE(IsMainThread());
          ran.push_back(name);
        },
        log, name);
    ASSERT_TRUE(wakes.WaitFor(i + 1));
  }
  EXPECT_TRUE(ran.empty());  // nothing runs until the main thread checks
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(ran, (std::vector<std::string>{"job0", "job1", "job2", "job3"}));
  ASSERT_TRUE(WaitUntil([] { return LiveThreadCount() == 0; }));
  EXPECT_EQ(log.Entries().size(), 4u);  // every job deleted itself
  EXPECT_FALSE(CheckSynchronize());
}

TEST(WorkQueue, RequestQueuedDuringACheckWaitsForTheNextOne) {
  WakeCounter wakes;
  Log log;
  std::vector<std::string> ran;
  NewThread<TestJob>(
      false,
      [&] {
        ran.push_back("first");
        NewThread<TestJob>(
            false, [&] { ran.push_back("second"); }, log, "b");
        EXPECT_TRUE(wakes.WaitFor(2));
      },
      log, "a");
  ASSERT_TRUE(wakes.WaitFor(1));
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(ran, std::vector<std::string>{"first"});
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
  ASSERT_TRUE(WaitUntil([] { return LiveThreadCount() == 0; }));
}

TEST(WorkQueue, WorkErrorGoesBackToItsWorkerOnly) {
  Log log;
  NewThread<TestJob>(
      false, [] { throw FileSystemError("Error: Unable to delete file.[/x]"); }, log, "job");
  bool ok = false;
  EXPECT_NO_THROW(ok = PumpUntil([] { return LiveThreadCount() == 0; }));
  ASSERT_TRUE(ok);
  EXPECT_EQ(log.Entries(),
            (std::vector<std::string>{"job worker saw: Error: Unable to delete file.[/x]",
                                      "job deleted"}));
}

TEST(WorkQueue, CheckFromAnotherThreadIsRefused) {
  std::string message;
  std::thread other([&] {
    try {
      CheckSynchronize();
    } catch (const ThreadError& e) {
      message = e.what();
    }
  });
  other.join();
  // "$" and the thread id in hex between the fixed parts.
  const std::string head = "CheckSynchronize called from thread $";
  const std::string tail = ", which is NOT the main thread";
  ASSERT_GT(message.size(), head.size() + tail.size()) << message;
  EXPECT_EQ(message.substr(0, head.size()), head);
  EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
  const std::string id = message.substr(head.size(), message.size() - head.size() - tail.size());
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << message;
}

TEST(WorkQueue, SynchronizeOnTheMainThreadRunsAtOnce) {
  int calls = 0;
  Synchronize([&] { ++calls; });
  EXPECT_EQ(calls, 1);
  EXPECT_THROW(Synchronize([] { throw FileSystemError("x"); }), FileSystemError);
}

TEST(ThreadLife, SuspendedThreadRunsOnlyAfterStartAndMayBeDroppedUnstarted) {
  WakeCounter wakes;
  Log log;
  {
    // Never started: its creator deletes it and the held thread ends without touching it.
    auto dropped = std::make_unique<TestJob>(
        true, [] {}, log, "dropped");
    EXPECT_TRUE(dropped->CreatedSuspended());
  }
  bool ran = false;
  TestJob* job = NewThread<TestJob>(
      true, [&] { ran = true; }, log, "held");
  EXPECT_EQ(LiveThreadCount(), 0);
  job->Start();
  ASSERT_TRUE(wakes.WaitFor(1));
  ASSERT_TRUE(PumpUntil([] { return LiveThreadCount() == 0; }));
  EXPECT_TRUE(ran);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"dropped deleted", "held deleted"}));
}

TEST(ThreadLife, AbandoningReleasesWaitingWorkersWithoutRunningTheirWork) {
  WakeCounter wakes;
  Log log;
  bool ran = false;
  NewThread<TestJob>(
      false, [&] { ran = true; }, log, "late");
  ASSERT_TRUE(wakes.WaitFor(1));
  AbandonQueuedWork();
  EXPECT_FALSE(ran);
  EXPECT_EQ(LiveThreadCount(), 0);
  EXPECT_EQ(log.Entries(),
            (std::vector<std::string>{"late worker saw: Work not run: the program is closing",
                                      "late deleted"}));
  // The queue works again afterwards.
  NewThread<TestJob>(
      false, [&] { ran = true; }, log, "next");
  ASSERT_TRUE(PumpUntil([] { return LiveThreadCount() == 0; }));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tessane
