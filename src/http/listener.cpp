#include "http/listener.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "http/lingering_close.h"
#include "http/request_head.h"
#include "http/router.h"
#include "http/worker_pool.h"
#include "platform/error.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/threads.h"

namespace {

// Every receive and send on a connection that waits this long fails, and
// the worker gives the connection up: a build setting (see src/CMakeLists.txt).
constexpr std::uint32_t kConnectionTimeoutMs = VESKLAR_CONNECTION_TIMEOUT_MS;

// `accept_loop` waits for the end of accepting in slices of this length (a
// wait on the signal needs a bound; the end wakes it at once).
constexpr std::uint32_t kAcceptEndWaitSliceMs = 1000;

// What the thread accepting at the moment (the leader) works with. It lives
// in `accept_loop`, which returns only once the last leader has ended
// accepting; leadership passes from thread to thread through the pool, so
// only one thread at a time uses it.
struct Accepting {
  Accepting(std::shared_ptr<ServerContext> c, platform::NativeHandle l) : context(std::move(c)), listener(l) {}

  const std::shared_ptr<ServerContext> context;
  const platform::NativeHandle listener;
  platform::ParkingLock lock;
  platform::ParkingSignal ended_signal;
  bool ended = false;  // guarded by `lock`

  void end() {
    lock.lock();
    ended = true;
    ended_signal.wake();
    lock.unlock();  // after this, `accept_loop` may return and free all of this
  }
  void wait_until_ended() {
    lock.lock();
    while (!ended) ended_signal.wait(lock, kAcceptEndWaitSliceMs);
    lock.unlock();
  }
};

WorkerPool& workers();

// A worker's turn as leader: accept one connection, hand accepting on to a
// parked thread (or a new one), then serve the connection on this thread.
// The successor takes over before this thread serves, so a slow request
// never holds up the next connection, and the connection is served where it
// was accepted, without waking another thread first.
void lead(void* arg) {
  Accepting& accepting = *static_cast<Accepting*>(arg);
  WorkerPool& pool = workers();
  while (accepting.context->lifecycle.running.load()) {
    platform::Error error;
    platform::Socket socket = platform::accept_connection(accepting.listener, &error);
    if (!socket) {
      // Out of descriptors for the moment (many connections open at once)
      // must not end the server for good: the waiting connections are taken
      // once some close. Anything else, a closed listener included, ends it.
      if (error.kind != platform::ErrorKind::transient) break;
      platform::sleep_ms(kAcceptRetryDelayMs);
      continue;
    }
    // The connection's own share of the context, taken while `accepting` is
    // still this thread's: once the successor runs, it may end accepting.
    std::shared_ptr<ServerContext> context = accepting.context;
    // No thread to take over: this one keeps accepting, and the socket
    // closes here, the client getting no answer.
    if (!pool.run(&accepting)) continue;
    handle_connection(*context, std::move(socket));
    return;
  }
  // Accepting has ended: this thread must not park for connections that
  // will never come, and `accept_loop`'s dismissal waits for it to go.
  pool.leave_after_job();
  accepting.end();
}

// Never destroyed: workers may still be serving while the process ends.
WorkerPool& workers() {
  static WorkerPool* pool = new WorkerPool(lead, kWorkerStackBytes, kMaxParkedWorkers, kParkedWorkerIdleMs);
  return *pool;
}

}  // namespace

void accept_loop(std::shared_ptr<ServerContext> context, platform::NativeHandle listener) {
  WorkerPool& pool = workers();
  Accepting accepting(std::move(context), listener);
  // No thread could start: this one leads until one can take over.
  if (!pool.run(&accepting)) lead(&accepting);
  accepting.wait_until_ended();
  // Idle threads end with the server; threads still serving a connection
  // finish it first, as before. One that finishes while this runs would park
  // for nothing, so those are sent away too, within the same bound.
  const std::uint32_t start = platform::tick_ms();
  for (;;) {
    const std::uint32_t spent = platform::tick_ms() - start;
    if (spent >= kDismissParkedWaitMs) break;
    pool.dismiss_parked(kDismissParkedWaitMs - spent);
    if (pool.live() == 0) break;
    platform::sleep_ms(1);
  }
}

std::size_t worker_threads_started() { return workers().threads_started(); }
std::size_t worker_threads_parked() { return workers().parked(); }
std::size_t worker_threads_live() { return workers().live(); }

void handle_connection(ServerContext& context, platform::Socket socket) {
  const platform::NativeHandle s = socket.get();
  platform::set_timeouts(s, kConnectionTimeoutMs, kConnectionTimeoutMs);

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kHeadBufferBytes]);
  if (!buffer) return;
  constexpr std::int32_t kMaxReceived = std::int32_t(kHeadBufferBytes) - 1;
  std::int32_t received = 0;
  const char* blank_line = nullptr;
  while (!blank_line) {
    if (received >= kMaxReceived) return;
    const int n = platform::recv_some(s, buffer.get() + received, kMaxReceived - received);
    if (n <= 0) return;
    received += n;
    buffer[received] = '\0';
    // A 0 byte in the head hides everything after it from this search.
    blank_line = std::strstr(buffer.get(), "\r\n\r\n");
  }
  const std::int32_t head_length = std::int32_t(blank_line - buffer.get()) + 4;

  RequestHead head;
  if (!parse_request_head(buffer.get(), received, head_length, &head)) return;
  route_request(context, s, head);
  // An answer given before the body was read (a refusal, a full disk) must
  // not be lost to the reset that closing on unread bytes would cause.
  if (client_may_still_send(s, head)) linger_before_close(s);
  // `head`, `buffer` and `socket` are released here, in that order.
}
