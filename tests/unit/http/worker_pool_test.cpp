// The worker pool: every job gets a thread of its own at once, however many
// run (none refused, none queued), and threads that finished a job are used
// again instead of new ones.
#include "http/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "http/byte_range.h"
#include "http/listener.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "support/socket_capture.h"
#include "support/temp_dir.h"

namespace {

struct Gate {
  std::atomic<int> arrived{0};
  std::atomic<int> finished{0};
  std::atomic<bool> open{false};
};

void wait_at_gate(void* p) {
  auto* g = static_cast<Gate*>(p);
  ++g->arrived;
  while (!g->open) platform::sleep_ms(1);
  ++g->finished;
}

template <class F>
bool eventually(F done, int ms = 10000) {
  for (int i = 0; i < ms && !done(); ++i) platform::sleep_ms(1);
  return done();
}

TEST(WorkerPool, ManyJobsAtOnceEachGetAThreadBeyondTheParkingLimit) {
  Gate gate;
  constexpr int kJobs = 100;
  {
    WorkerPool pool(wait_at_gate, kWorkerStackBytes, /*max_parked=*/8, /*idle_ms=*/30000);
    for (int i = 0; i < kJobs; ++i) ASSERT_TRUE(pool.run(&gate));
    // All of them wait at once: only a thread per job lets them all arrive.
    EXPECT_TRUE(eventually([&] { return gate.arrived == kJobs; }));
    EXPECT_EQ(pool.threads_started(), std::size_t(kJobs));
    gate.open = true;
    EXPECT_TRUE(eventually([&] { return gate.finished == kJobs; }));
    // Eight wait for more work; the others ended.
    EXPECT_TRUE(eventually([&] { return pool.parked() == 8; }));
  }  // the destructor sends the parked threads away and waits for them
}

TEST(WorkerPool, AFinishedThreadServesTheNextJob) {
  Gate gate;
  gate.open = true;
  WorkerPool pool(wait_at_gate, kWorkerStackBytes, 4, 30000);
  for (int i = 1; i <= 20; ++i) {
    ASSERT_TRUE(pool.run(&gate));
    ASSERT_TRUE(eventually([&] { return gate.finished == i && pool.parked() == 1; }));
  }
  EXPECT_EQ(pool.threads_started(), 1u);
}

TEST(WorkerPool, AThreadParkedTooLongEnds) {
  Gate gate;
  gate.open = true;
  WorkerPool pool(wait_at_gate, kWorkerStackBytes, 4, /*idle_ms=*/50);
  ASSERT_TRUE(pool.run(&gate));
  ASSERT_TRUE(eventually([&] { return gate.finished == 1; }));
  EXPECT_TRUE(eventually([&] { return pool.parked() == 0; }));
  // The next job needs a new thread.
  ASSERT_TRUE(pool.run(&gate));
  EXPECT_TRUE(eventually([&] { return gate.finished == 2; }));
  EXPECT_EQ(pool.threads_started(), 2u);
}

TEST(WorkerPool, JobsHandedToThreadsThatAreTimingOutAllRun) {
  // Parked threads give up after 1 ms, so hand-overs keep meeting threads on
  // their way out: a job must never be lost between the two, and a thread
  // must not end while a hand-over still wakes it.
  Gate gate;
  gate.open = true;
  constexpr int kJobs = 3000;
  {
    WorkerPool pool(wait_at_gate, kWorkerStackBytes, /*max_parked=*/2, /*idle_ms=*/1);
    for (int i = 0; i < kJobs; ++i) {
      ASSERT_TRUE(pool.run(&gate));
      if (i % 3 == 0) platform::sleep_ms(i % 2);
    }
    EXPECT_TRUE(eventually([&] { return gate.finished == kJobs; }));
    EXPECT_LT(pool.threads_started(), std::size_t(kJobs));  // threads were used again
  }
}

TEST(WorkerPool, DismissedThreadsLeaveAndLaterJobsStillPark) {
  Gate gate;
  gate.open = true;
  WorkerPool pool(wait_at_gate, kWorkerStackBytes, 4, 30000);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pool.run(&gate));
  ASSERT_TRUE(eventually([&] { return gate.finished == 3 && pool.parked() >= 1; }));
  const std::size_t started = pool.threads_started();
  pool.dismiss_parked(5000);
  EXPECT_EQ(pool.parked(), 0u);
  // The pool still works: a new thread serves, then parks.
  ASSERT_TRUE(pool.run(&gate));
  EXPECT_TRUE(eventually([&] { return gate.finished == 4 && pool.parked() == 1; }));
  EXPECT_EQ(pool.threads_started(), started + 1);
}

// A job that ends the work it stands for (the last turn at accepting) tells
// its thread to end rather than park for work that will never come.
WorkerPool* leaving_pool = nullptr;
void leave_after_this(void* p) {
  leaving_pool->leave_after_job();
  ++static_cast<Gate*>(p)->finished;
}

TEST(WorkerPool, AThreadToldToLeaveEndsAfterItsJobInsteadOfParking) {
  Gate gate;
  WorkerPool pool(leave_after_this, kWorkerStackBytes, 4, 30000);
  leaving_pool = &pool;
  ASSERT_TRUE(pool.run(&gate));
  ASSERT_TRUE(eventually([&] { return gate.finished == 1; }));
  EXPECT_TRUE(eventually([&] { return pool.live() == 0; }));
  EXPECT_EQ(pool.parked(), 0u);
}

// The deepest road a request takes: the copying loop's 64 KiB buffer on the
// stack, run on a thread of the size the listener gives its workers.
struct CopyJob {
  platform::File* file;
  SocketCapture* cap;
  std::atomic<int> result{1};
};

void copy_on_worker(void* p) {
  auto* job = static_cast<CopyJob*>(p);
  const int result = send_file_by_copy(job->cap->server.get(), *job->file, 0, 1 << 20);
  job->cap->server.reset();  // before the result is published: the test reads on then
  job->result = result;
}

TEST(WorkerPool, AWorkerStackHoldsTheCopyingLoop) {
  ASSERT_TRUE(platform::net_startup());  // Windows Sockets, before the first socket
  {
    TempDir dir;
    const std::string content(1 << 20, 'v');
    TempDir::write(dir / u"one-mib", content);
    platform::File file = platform::open_for_read(dir / u"one-mib");
    SocketCapture cap;
    cap.start_reading();
    CopyJob job{&file, &cap};
    WorkerPool pool(copy_on_worker, kWorkerStackBytes, 1, 30000);
    ASSERT_TRUE(pool.run(&job));
    ASSERT_TRUE(eventually([&] { return job.result != 1; }));
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(cap.finish(), content);
  }
  platform::net_cleanup();
}

}  // namespace
