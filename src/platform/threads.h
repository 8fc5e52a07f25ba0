// Threads, the lock and signal that park idle workers, and time.
//
// Every function may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Starts `body(arg)` on a new thread with the given stack size (0: default).
// A detached thread's resources are freed when it ends.
bool start_detached_thread(void (*body)(void*), void* arg, std::size_t stack_size);

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  Thread(Thread&& o) noexcept;
  Thread& operator=(Thread&& o) noexcept;
  ~Thread();  // detaches a thread that was never waited for
  bool valid() const { return impl_ != nullptr; }
  // Waits at most `ms` for the thread to end; true when it ended.
  bool wait(std::uint32_t ms);

 private:
  friend Thread start_thread(void (*)(void*), void*);
  struct Impl;
  Impl* impl_ = nullptr;
};
Thread start_thread(void (*body)(void*), void* arg);

// Parking idle threads: a lock and a wake-up signal, for the pool of worker
// threads that the listener reuses (src/http/worker_pool.h). The server
// shares nothing between connections, so this is its only lock: it guards
// the list of parked threads for the moments it takes to take a thread from
// it or to put one back, never a request.
class ParkingLock {
 public:
  ParkingLock();
  ~ParkingLock();
  ParkingLock(const ParkingLock&) = delete;
  ParkingLock& operator=(const ParkingLock&) = delete;
  void lock();
  void unlock();

 private:
  friend class ParkingSignal;
  alignas(8) unsigned char storage_[64];  // pthread_mutex_t / SRWLOCK
};

class ParkingSignal {
 public:
  ParkingSignal();
  ~ParkingSignal();
  ParkingSignal(const ParkingSignal&) = delete;
  ParkingSignal& operator=(const ParkingSignal&) = delete;
  // Called with `lock` held: releases it, sleeps until `wake` or until `ms`
  // have passed, and takes it again before returning. False when the time
  // ran out. Like every condition wait it may also return early for no
  // reason, so the caller re-checks what it waits for.
  bool wait(ParkingLock& lock, std::uint32_t ms);
  // Wakes the threads waiting on this signal. With or without the lock
  // held; without it, the woken thread need not wait for it.
  void wake();

 private:
  alignas(8) unsigned char storage_[64];  // pthread_cond_t / CONDITION_VARIABLE
};

// Millisecond tick counter that wraps after 2^32 ms, like GetTickCount.
std::uint32_t tick_ms();
void sleep_ms(std::uint32_t ms);

}  // namespace platform
