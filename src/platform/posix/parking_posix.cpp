// The lock and wake-up signal that park idle worker threads, on POSIX.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <new>

#include "platform/threads.h"

namespace platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 8);
static_assert(sizeof(pthread_cond_t) <= 64 && alignof(pthread_cond_t) <= 8);

pthread_mutex_t* mutex_in(unsigned char* storage) { return std::launder(reinterpret_cast<pthread_mutex_t*>(storage)); }
pthread_cond_t* cond_in(unsigned char* storage) { return std::launder(reinterpret_cast<pthread_cond_t*>(storage)); }

}  // namespace

// Default attributes cannot fail to initialise on Linux; a mutex that could
// not be made would fail loudly at its first use rather than quietly.
ParkingLock::ParkingLock() { pthread_mutex_init(new (storage_) pthread_mutex_t, nullptr); }
ParkingLock::~ParkingLock() { pthread_mutex_destroy(mutex_in(storage_)); }
void ParkingLock::lock() { pthread_mutex_lock(mutex_in(storage_)); }
void ParkingLock::unlock() { pthread_mutex_unlock(mutex_in(storage_)); }

ParkingSignal::ParkingSignal() {
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  // Time-outs count on the monotonic clock: setting the wall clock must not
  // wake every parked thread or keep them parked for ever.
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(new (storage_) pthread_cond_t, &attr);
  pthread_condattr_destroy(&attr);
}
ParkingSignal::~ParkingSignal() { pthread_cond_destroy(cond_in(storage_)); }

bool ParkingSignal::wait(ParkingLock& lock, std::uint32_t ms) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(ms / 1000);
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return pthread_cond_timedwait(cond_in(storage_), mutex_in(lock.storage_), &deadline) != ETIMEDOUT;
}

void ParkingSignal::wake() { pthread_cond_broadcast(cond_in(storage_)); }

}  // namespace platform
