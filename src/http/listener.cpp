#include "http/listener.h"

#include <cstring>
#include <memory>
#include <new>

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

// One accepted connection on its way to a worker, with the worker's share
// of the context: whatever else has ended, the context lives until the
// worker lets go of it here.
struct Connection {
  std::shared_ptr<ServerContext> context;
  platform::Socket socket;
};

void worker_body(void* arg) {
  const std::unique_ptr<Connection> connection(static_cast<Connection*>(arg));
  handle_connection(*connection->context, std::move(connection->socket));
}

// Never destroyed: workers may still be serving while the process ends.
WorkerPool& workers() {
  static WorkerPool* pool = new WorkerPool(worker_body, kWorkerStackBytes, kMaxParkedWorkers, kParkedWorkerIdleMs);
  return *pool;
}

}  // namespace

void accept_loop(std::shared_ptr<ServerContext> context, platform::NativeHandle listener) {
  WorkerPool& pool = workers();
  // Idle threads end with the server; threads still serving a connection
  // finish it first, as before.
  struct DismissParked {
    WorkerPool& pool;
    ~DismissParked() { pool.dismiss_parked(kDismissParkedWaitMs); }
  } dismiss{pool};
  while (context->lifecycle.running.load()) {
    platform::Error error;
    platform::Socket socket = platform::accept_connection(listener, &error);
    if (!socket) {
      // Out of descriptors for the moment (many connections open at once)
      // must not end the server for good: the waiting connections are taken
      // once some close. Anything else, a closed listener included, ends it.
      if (error.kind != platform::ErrorKind::transient) return;
      platform::sleep_ms(kAcceptRetryDelayMs);
      continue;
    }
    std::unique_ptr<Connection> connection(new (std::nothrow) Connection{context, std::move(socket)});
    // The worker owns the connection from here on.
    if (connection && pool.run(connection.get())) connection.release();
    // Otherwise the socket closes here: the client gets no answer.
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
