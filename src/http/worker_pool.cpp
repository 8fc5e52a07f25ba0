#include "http/worker_pool.h"
#include "platform/threads.h"

#include <atomic>
#include <memory>
#include <new>

// A parked thread's place in the list. It lives on that thread's own stack,
// which stays put while the thread waits.
struct WorkerPool::Parked {
  platform::ParkingSignal wake;
  void* arg = nullptr;  // set by `run` when it hands this thread a job
  bool has_job = false;
  bool dismissed = false;  // off the list and counted in `leaving_`
  // Calls of `run` that have handed this thread a job and not yet returned
  // from waking it: the thread's stack, where this lives, must outlast them.
  std::atomic<int> wakers{0};
  WorkerPool* pool = nullptr;
  Parked* next = nullptr;
};

thread_local WorkerPool::Parked* WorkerPool::current_ = nullptr;

struct WorkerPool::Start {
  WorkerPool* pool;
  void* arg;
};

WorkerPool::WorkerPool(Job body, std::size_t stack_bytes, std::size_t max_parked, std::uint32_t idle_ms)
    : body_(body), stack_bytes_(stack_bytes), max_parked_(max_parked), idle_ms_(idle_ms) {}

WorkerPool::~WorkerPool() {
  lock_.lock();
  closing_ = true;
  for (Parked* p = parked_top_; p; p = p->next) p->wake.wake();
  while (live_ > 0) all_gone_.wait(lock_, 1000);
  lock_.unlock();
}

bool WorkerPool::run(void* arg) {
  lock_.lock();
  if (Parked* p = parked_top_) {
    parked_top_ = p->next;
    --parked_count_;
    p->arg = arg;
    p->has_job = true;
    p->wakers.fetch_add(1, std::memory_order_relaxed);
    lock_.unlock();
    // Woken once the lock is free, so that the thread does not wake only to
    // wait for the lock that this one still holds.
    p->wake.wake();
    p->wakers.fetch_sub(1, std::memory_order_release);
    return true;
  }
  ++live_;
  ++started_;
  lock_.unlock();

  std::unique_ptr<Start> start(new (std::nothrow) Start{this, arg});
  if (start && platform::start_detached_thread(thread_entry, start.get(), stack_bytes_)) {
    start.release();  // the new thread's now
    return true;
  }
  lock_.lock();
  --live_;
  --started_;
  if (live_ == 0) all_gone_.wake();
  lock_.unlock();
  return false;
}

void WorkerPool::thread_entry(void* p) {
  std::unique_ptr<Start> start(static_cast<Start*>(p));
  WorkerPool* pool = start->pool;
  void* arg = start->arg;
  start.reset();
  pool->serve(arg);
}

void WorkerPool::unlink(Parked* p) {
  for (Parked** link = &parked_top_; *link; link = &(*link)->next) {
    if (*link == p) {
      *link = p->next;
      --parked_count_;
      return;
    }
  }
}

void WorkerPool::leave_after_job() {
  Parked* me = current_;
  if (!me || me->pool != this) return;
  lock_.lock();
  if (!me->dismissed) {
    me->dismissed = true;
    ++leaving_;
  }
  lock_.unlock();
}

void WorkerPool::serve(void* arg) {
  Parked me;
  me.pool = this;
  current_ = &me;
  for (;;) {
    body_(arg);

    lock_.lock();
    if (me.dismissed) {
      // Told to leave by its job; never on the list.
      --leaving_;
      all_gone_.wake();
      break;
    }
    if (closing_ || parked_count_ >= max_parked_) break;
    me.has_job = false;
    me.next = parked_top_;
    parked_top_ = &me;
    ++parked_count_;
    bool timed_out = false;
    while (!me.has_job && !me.dismissed && !closing_ && !timed_out) timed_out = !me.wake.wait(lock_, idle_ms_);
    if (me.dismissed) {
      // Already off the list.
      --leaving_;
      all_gone_.wake();
      break;
    }
    if (!me.has_job) {
      // Idle too long, or the pool closes: leave the list and end.
      unlink(&me);
      break;
    }
    arg = me.arg;
    lock_.unlock();
  }
  // Still holding the lock. After the unlock this thread touches nothing of
  // the pool, which its destructor may free as soon as `live_` reaches 0.
  current_ = nullptr;
  --live_;
  if (live_ == 0) all_gone_.wake();
  lock_.unlock();
  // A `run` that handed this thread an earlier job may still be inside its
  // wake call; `me` must stay until it is out. Rare, and over at once.
  while (me.wakers.load(std::memory_order_acquire) != 0) platform::sleep_ms(0);
}

void WorkerPool::dismiss_parked(std::uint32_t ms) {
  lock_.lock();
  while (Parked* p = parked_top_) {
    parked_top_ = p->next;
    --parked_count_;
    ++leaving_;
    p->dismissed = true;
    p->wake.wake();
  }
  const std::uint32_t start = platform::tick_ms();
  for (;;) {
    const std::uint32_t spent = platform::tick_ms() - start;
    if (leaving_ == 0 || spent >= ms) break;
    all_gone_.wait(lock_, ms - spent);
  }
  lock_.unlock();
}

std::size_t WorkerPool::live() {
  lock_.lock();
  const std::size_t n = live_;
  lock_.unlock();
  return n;
}

std::size_t WorkerPool::threads_started() {
  lock_.lock();
  const std::size_t n = started_;
  lock_.unlock();
  return n;
}

std::size_t WorkerPool::parked() {
  lock_.lock();
  const std::size_t n = parked_count_;
  lock_.unlock();
  return n;
}
