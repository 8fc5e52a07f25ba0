#include "http/listener.h"

#include <cstring>
#include <memory>
#include <new>

#include "http/lingering_close.h"
#include "http/request_head.h"
#include "http/router.h"
#include "http/worker_pool.h"
#include "launcher/app_state.h"
#include "platform/error.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/threads.h"

namespace {

// Every receive and send on a connection that waits this long fails, and
// the worker gives the connection up: a build setting (see src/CMakeLists.txt).
constexpr std::uint32_t kConnectionTimeoutMs = VESKLAR_CONNECTION_TIMEOUT_MS;

void worker_body(void* arg) {
  handle_connection(platform::Socket(reinterpret_cast<platform::NativeHandle>(arg)));
}

// Never destroyed: workers may still be serving while the process ends.
WorkerPool& workers() {
  static WorkerPool* pool = new WorkerPool(worker_body, kWorkerStackBytes, kMaxParkedWorkers, kParkedWorkerIdleMs);
  return *pool;
}

}  // namespace

void accept_loop(platform::NativeHandle listener) {
  WorkerPool& pool = workers();
  // Idle threads end with the server; threads still serving a connection
  // finish it first, as before.
  struct DismissParked {
    WorkerPool& pool;
    ~DismissParked() { pool.dismiss_parked(kDismissParkedWaitMs); }
  } dismiss{pool};
  while (g_app.server_running.load() != 0) {
    platform::Error error;
    platform::Socket connection = platform::accept_connection(listener, &error);
    if (!connection) {
      // Out of descriptors for the moment (many connections open at once)
      // must not end the server for good: the waiting connections are taken
      // once some close. Anything else, a closed listener included, ends it.
      if (error.kind != platform::ErrorKind::transient) return;
      platform::sleep_ms(kAcceptRetryDelayMs);
      continue;
    }
    void* arg = reinterpret_cast<void*>(connection.get());
    // The worker owns the socket from here on.
    if (pool.run(arg)) connection.release();
    // Otherwise `connection` closes here: the client gets no answer.
  }
}

std::size_t worker_threads_started() { return workers().threads_started(); }
std::size_t worker_threads_parked() { return workers().parked(); }
std::size_t worker_threads_live() { return workers().live(); }

void handle_connection(platform::Socket socket) {
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
  route_request(s, head);
  // An answer given before the body was read (a refusal, a full disk) must
  // not be lost to the reset that closing on unread bytes would cause.
  if (client_may_still_send(s, head)) linger_before_close(s);
  // `head`, `buffer` and `socket` are released here, in that order.
}
