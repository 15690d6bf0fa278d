#include "base/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/errors.h"

namespace tessane {

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id kMainThreadId = std::this_thread::get_id();

struct Request {
  const std::function<void()>* work;
  std::promise<void> done;  // the completion signal; carries the work's error
};

// Everything the threads share, under one lock.
struct Shared {
  std::mutex lock;
  std::deque<Request*> queue;
  std::function<void()> wake;
  bool abandoning = false;
  int liveThreads = 0;
  std::condition_variable threadEnded;
};

Shared& TheShared() {
  static Shared shared;
  return shared;
}

std::exception_ptr NotRunError() {
  return std::make_exception_ptr(ThreadError("Work not run: the program is closing"));
}

}  // namespace

struct Thread::Gate {
  std::mutex lock;
  std::condition_variable changed;
  enum { kHeld, kStarted, kDropped } state = kHeld;
};

Thread::Thread(bool createSuspended)
    : gate_(std::make_shared<Gate>()), createSuspended_(createSuspended) {
  try {
    std::thread(&Thread::ThreadProc, gate_, this).detach();
  } catch (const std::system_error& e) {
    throw ThreadError(Format("Thread creation error: %s", SysErrorMessage(e.code().value()).c_str()));
  }
}

Thread::~Thread() {
  // Deleted by its creator before Start(): let the held thread end without touching us.
  std::lock_guard<std::mutex> hold(gate_->lock);
  if (gate_->state == Gate::kHeld) {
    gate_->state = Gate::kDropped;
    gate_->changed.notify_all();
  }
}

void Thread::Start() {
  std::lock_guard<std::mutex> hold(gate_->lock);
  if (gate_->state != Gate::kHeld) return;
  {
    Shared& shared = TheShared();
    std::lock_guard<std::mutex> count(shared.lock);
    ++shared.liveThreads;
  }
  gate_->state = Gate::kStarted;
  gate_->changed.notify_all();
}

void Thread::ThreadProc(std::shared_ptr<Gate> gate, Thread* self) {
  {
    std::unique_lock<std::mutex> hold(gate->lock);
    gate->changed.wait(hold, [&] { return gate->state != Gate::kHeld; });
    if (gate->state == Gate::kDropped) return;
  }
  try {
    self->Execute();
  } catch (...) {
    self->fatalException_ = std::current_exception();
  }
  self->finished_ = true;
  delete self;  // the object owns itself once started; its fatal error goes with it

  Shared& shared = TheShared();
  std::lock_guard<std::mutex> count(shared.lock);
  --shared.liveThreads;
  shared.threadEnded.notify_all();
}

void Thread::Synchronize(const std::function<void()>& work) {
  tessane::Synchronize(work);
}

void Synchronize(const std::function<void()>& work) {
  if (IsMainThread()) {
    work();
    return;
  }
  Request request{&work, {}};
  std::future<void> done = request.done.get_future();
  {
    Shared& shared = TheShared();
    std::lock_guard<std::mutex> hold(shared.lock);
    if (shared.abandoning) std::rethrow_exception(NotRunError());
    shared.queue.push_back(&request);
    if (shared.wake) shared.wake();
  }
  done.get();  // rethrows the work's error
}

bool CheckSynchronize() {
  if (!IsMainThread())
    throw ThreadError(Format("CheckSynchronize called from thread $%x, which is NOT the main thread",
                         static_cast<unsigned>(::syscall(SYS_gettid))));
  Shared& shared = TheShared();
  std::unique_lock<std::mutex> hold(shared.lock);
  std::deque<Request*> taken;
  taken.swap(shared.queue);
  const bool ran = !taken.empty();
  while (!taken.empty()) {
    Request* request = taken.front();
    taken.pop_front();
    hold.unlock();
    std::exception_ptr error;
    try {
      (*request->work)();
    } catch (...) {
      error = std::current_exception();
    }
    hold.lock();
    // After this the waiting worker may return and free the request.
    if (error)
      request->done.set_exception(error);
    else
      request->done.set_value();
  }
  return ran;
}

void SetWakeMainThread(std::function<void()> wake) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> hold(shared.lock);
  shared.wake = std::move(wake);
}

bool IsMainThread() {
  return std::this_thread::get_id() == kMainThreadId;
}

int LiveThreadCount() {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> hold(shared.lock);
  return shared.liveThreads;
}

void AbandonQueuedWork() {
  Shared& shared = TheShared();
  std::unique_lock<std::mutex> hold(shared.lock);
  shared.abandoning = true;
  for (Request* request : shared.queue) request->done.set_exception(NotRunError());
  shared.queue.clear();
  shared.threadEnded.wait(hold, [&] { return shared.liveThreads == 0; });
  shared.abandoning = false;
}

}  // namespace tessane
