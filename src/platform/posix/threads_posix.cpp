// Threads, sleeping and the millisecond tick counter on POSIX.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <new>
#include <utility>

#include "platform/threads.h"

namespace platform {
namespace {

// WaitForSingleObject's INFINITE: wait without a time-out.
constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

struct StartArgs {
  void (*body)(void*);
  void* arg;
};

void* trampoline(void* p) {
  std::unique_ptr<StartArgs> start(static_cast<StartArgs*>(p));
  start->body(start->arg);
  return nullptr;
}

// Starts the thread; `*out` receives its id. The arguments block belongs to
// the new thread once pthread_create succeeds.
bool create(void (*body)(void*), void* arg, std::size_t stack_size, bool detached, pthread_t* out) {
  std::unique_ptr<StartArgs> start(new (std::nothrow) StartArgs{body, arg});
  if (!start) return false;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  bool ok = pthread_attr_setdetachstate(&attr, detached ? PTHREAD_CREATE_DETACHED : PTHREAD_CREATE_JOINABLE) == 0;
  if (ok && stack_size != 0) {
    const std::size_t min = PTHREAD_STACK_MIN;
    ok = pthread_attr_setstacksize(&attr, stack_size < min ? min : stack_size) == 0;
  }
  if (ok) ok = pthread_create(out, &attr, trampoline, start.get()) == 0;
  pthread_attr_destroy(&attr);
  if (ok) start.release();
  return ok;
}

}  // namespace

struct Thread::Impl {
  pthread_t id;
  bool joined = false;
};

bool start_detached_thread(void (*body)(void*), void* arg, std::size_t stack_size) {
  pthread_t id;
  return create(body, arg, stack_size, /*detached=*/true, &id);
}

Thread start_thread(void (*body)(void*), void* arg) {
  Thread t;
  std::unique_ptr<Thread::Impl> impl(new (std::nothrow) Thread::Impl);
  if (impl && create(body, arg, 0, /*detached=*/false, &impl->id)) t.impl_ = impl.release();
  return t;
}

Thread::Thread(Thread&& o) noexcept : impl_(o.impl_) { o.impl_ = nullptr; }

Thread& Thread::operator=(Thread&& o) noexcept {
  if (this != &o) {
    Thread old(std::move(*this));  // detaches the thread held so far
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}

Thread::~Thread() {
  if (!impl_) return;
  if (!impl_->joined) pthread_detach(impl_->id);
  delete impl_;
}

bool Thread::wait(std::uint32_t ms) {
  if (!impl_) return false;
  if (impl_->joined) return true;
  int rc;
  if (ms == kWaitForever) {
    rc = pthread_join(impl_->id, nullptr);
  } else {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    do {
      rc = pthread_timedjoin_np(impl_->id, nullptr, &deadline);
    } while (rc == EINTR);
  }
  if (rc == 0) impl_->joined = true;
  return rc == 0;
}

std::uint32_t tick_ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);  // wraps after 2^32 ms, like GetTickCount
}

void sleep_ms(std::uint32_t ms) {
  timespec left;
  left.tv_sec = static_cast<time_t>(ms / 1000);
  left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
