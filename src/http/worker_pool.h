// Threads for the connection workers, reused instead of created anew.
//
// Every job still gets a thread of its own for its whole life, and no job is
// ever refused or queued: `run` hands the job to a parked thread when one is
// waiting, and otherwise starts a new thread, however many already run. What
// changes is only what happens after a job: instead of ending, the thread
// parks and waits for the next one, so a connection costs a wake-up rather
// than creating and tearing down a thread. At most `max_parked` threads wait
// at once; more end as before, and a thread parked for `idle_ms` without
// work ends too, giving its memory back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/threads.h"

class WorkerPool {
 public:
  using Job = void (*)(void*);
  WorkerPool(Job body, std::size_t stack_bytes, std::size_t max_parked, std::uint32_t idle_ms);
  // Waits for every thread of the pool to end: parked ones are told to go,
  // running ones finish their job first.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs body(arg) on a thread of its own. False only when no thread was
  // parked and none could be started; body(arg) then never runs.
  bool run(void* arg);

  // Called from a job: its thread ends once the job returns instead of
  // parking, and `dismiss_parked` waits for it as for a dismissed thread.
  // Does nothing on a thread that is not this pool's.
  void leave_after_job();

  // Sends the threads parked right now away and waits, at most `ms`, until
  // they have left this code. Threads still serving a job park afterwards
  // as usual. For the end of the server: no idle thread outlives it.
  void dismiss_parked(std::uint32_t ms);

  // Threads of the pool that have not ended yet, parked ones included.
  // Once nothing calls `run` any more, this only goes down.
  std::size_t live();

  // For tests and diagnostics.
  std::size_t threads_started();
  std::size_t parked();

 private:
  struct Parked;
  struct Start;
  static void thread_entry(void* start);
  void serve(void* first_arg);
  void unlink(Parked* p);

  // The calling thread's own record while it runs `serve`, else null.
  static thread_local Parked* current_;

  const Job body_;
  const std::size_t stack_bytes_;
  const std::size_t max_parked_;
  const std::uint32_t idle_ms_;

  // Everything below is guarded by `lock_`.
  platform::ParkingLock lock_;
  platform::ParkingSignal all_gone_;
  Parked* parked_top_ = nullptr;  // the most recently parked thread first
  std::size_t parked_count_ = 0;
  std::size_t live_ = 0;
  std::size_t leaving_ = 0;  // dismissed or told to leave, not yet gone
  std::size_t started_ = 0;
  bool closing_ = false;
};
